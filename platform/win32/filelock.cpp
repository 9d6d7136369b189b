#include "platform/filelock.h"

#include <io.h>

#include "platform/error.h"
#include "platform/win32/win.h"

// Windows byte-range locks are mandatory: a locked range cannot be read by
// anyone else. The lock therefore covers one byte at an offset no services
// file reaches, and the file's contents stay readable while it is held.
static constexpr DWORD LOCK_OFFSET_HIGH = 0x7FFFFFF0;

static HANDLE FileHandle(FILE* file) {
  if (file == nullptr) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

static int Lock(FILE* file, DWORD flags) {
  HANDLE handle = FileHandle(file);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  OVERLAPPED range{};
  range.OffsetHigh = LOCK_OFFSET_HIGH;
  return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | flags, 0, 1, 0, &range) ? 1 : 0;
}

// Without LOCKFILE_FAIL_IMMEDIATELY the call waits for the range.
int PlatformFileLock(FILE* file) { return Lock(file, 0); }

int PlatformFileTryLock(FILE* file) { return Lock(file, LOCKFILE_FAIL_IMMEDIATELY); }

int PlatformFileUnlock(FILE* file) {
  HANDLE handle = FileHandle(file);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  OVERLAPPED range{};
  range.OffsetHigh = LOCK_OFFSET_HIGH;
  return UnlockFileEx(handle, 0, 1, 0, &range) ? 1 : 0;
}
