#include "platform/sync.h"

#include <new>

#include "platform/sync_seam.h"
#include "platform/win32/win.h"

// A PlatformMutex is the mutex HANDLE itself.
PlatformMutex PlatformMutexCreate(bool initiallyOwned) {
  return reinterpret_cast<PlatformMutex>(CreateMutexA(nullptr, initiallyOwned ? TRUE : FALSE, nullptr));
}

int PlatformMutexWait(PlatformMutex mutex) {
  if (PlatformMutexSeamRefuses()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), INFINITE) == WAIT_FAILED ? 0 : 1;
}

int PlatformMutexRelease(PlatformMutex mutex) { return ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) ? 1 : 0; }

void PlatformMutexClose(PlatformMutex mutex) {
  if (mutex != nullptr) CloseHandle(reinterpret_cast<HANDLE>(mutex));
}

struct PlatformCriticalSectionRec {
  CRITICAL_SECTION section;
};

PlatformCriticalSection PlatformCriticalSectionCreate() {
  auto* rec = new (std::nothrow) PlatformCriticalSectionRec;
  if (rec != nullptr) InitializeCriticalSection(&rec->section);
  return rec;
}

void PlatformCriticalSectionEnter(PlatformCriticalSection section) { EnterCriticalSection(&section->section); }

void PlatformCriticalSectionLeave(PlatformCriticalSection section) { LeaveCriticalSection(&section->section); }

void PlatformCriticalSectionDelete(PlatformCriticalSection section) {
  if (section == nullptr) return;
  DeleteCriticalSection(&section->section);
  delete section;
}
