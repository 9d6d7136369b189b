#include "platform/filelock.h"

#include <errno.h>
#include <sys/file.h>

#include "platform/error.h"

static int Flock(FILE* file, int operation) {
  if (file == nullptr) {
    PlatformSetLastError(PLATFORM_ERROR_INVALID_HANDLE);
    return 0;
  }
  int fd = fileno(file);
  while (flock(fd, operation) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      PlatformSetLastError(33);  // ERROR_LOCK_VIOLATION
      return 0;
    }
    PlatformSetLastError(errno == EBADF ? PLATFORM_ERROR_INVALID_HANDLE : PLATFORM_ERROR_ACCESS_DENIED);
    return 0;
  }
  return 1;
}

int PlatformFileLock(FILE* file) { return Flock(file, LOCK_EX); }

int PlatformFileTryLock(FILE* file) { return Flock(file, LOCK_EX | LOCK_NB); }

int PlatformFileUnlock(FILE* file) { return Flock(file, LOCK_UN); }
