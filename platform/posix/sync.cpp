#include "platform/sync.h"

#include <errno.h>
#include <pthread.h>

#include <new>

#include "platform/error.h"
#include "platform/sync_seam.h"

struct PlatformMutexRec {
  pthread_mutex_t mutex;
};

struct PlatformCriticalSectionRec {
  pthread_mutex_t mutex;
};

static bool InitRecursive(pthread_mutex_t* mutex) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  // Error checking comes with the recursive type: an unlock by a thread that
  // does not hold the mutex fails with EPERM, as ReleaseMutex fails.
  bool ok = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 && pthread_mutex_init(mutex, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

PlatformMutex PlatformMutexCreate(bool initiallyOwned) {
  auto* rec = new (std::nothrow) PlatformMutexRec;
  if (rec == nullptr || !InitRecursive(&rec->mutex)) {
    delete rec;
    PlatformSetLastError(PLATFORM_ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (initiallyOwned) pthread_mutex_lock(&rec->mutex);
  return rec;
}

int PlatformMutexWait(PlatformMutex mutex) {
  if (PlatformMutexSeamRefuses() || mutex == nullptr) {
    PlatformSetLastError(PLATFORM_ERROR_INVALID_HANDLE);
    return 0;
  }
  int rc = pthread_mutex_lock(&mutex->mutex);
  if (rc != 0) {
    PlatformSetLastError(rc == EAGAIN ? PLATFORM_ERROR_NOT_ENOUGH_MEMORY : PLATFORM_ERROR_INVALID_HANDLE);
    return 0;
  }
  return 1;
}

int PlatformMutexRelease(PlatformMutex mutex) {
  if (mutex == nullptr) {
    PlatformSetLastError(PLATFORM_ERROR_INVALID_HANDLE);
    return 0;
  }
  int rc = pthread_mutex_unlock(&mutex->mutex);
  if (rc != 0) {
    PlatformSetLastError(rc == EPERM ? PLATFORM_ERROR_NOT_OWNER : PLATFORM_ERROR_INVALID_HANDLE);
    return 0;
  }
  return 1;
}

void PlatformMutexClose(PlatformMutex mutex) {
  if (mutex == nullptr) return;
  // A mutex may be closed by the thread that still holds it (a heap's lock is
  // closed inside DestroyHeap while held); Windows allows that, so release
  // whatever this thread holds before destroying.
  while (pthread_mutex_unlock(&mutex->mutex) == 0) {
  }
  pthread_mutex_destroy(&mutex->mutex);
  delete mutex;
}

PlatformCriticalSection PlatformCriticalSectionCreate() {
  auto* rec = new (std::nothrow) PlatformCriticalSectionRec;
  if (rec == nullptr || !InitRecursive(&rec->mutex)) {
    delete rec;
    return nullptr;
  }
  return rec;
}

void PlatformCriticalSectionEnter(PlatformCriticalSection section) { pthread_mutex_lock(&section->mutex); }

void PlatformCriticalSectionLeave(PlatformCriticalSection section) { pthread_mutex_unlock(&section->mutex); }

void PlatformCriticalSectionDelete(PlatformCriticalSection section) {
  if (section == nullptr) return;
  pthread_mutex_destroy(&section->mutex);
  delete section;
}
