// Mutexes and critical sections.
//
// Both are re-entrant: the thread that holds one may take it again and must
// release it as often.
// Windows: unnamed mutexes (CreateMutexA, WaitForSingleObject, ReleaseMutex,
// CloseHandle) and CRITICAL_SECTIONs.
// POSIX: recursive pthread mutexes. Failures set the thread's last error to
// the code Windows would give (ERROR_NOT_OWNER for a release by a thread that
// does not hold the mutex).
#pragma once

struct PlatformMutexRec;
using PlatformMutex = PlatformMutexRec*;

// An unnamed mutex with default security, held by the calling thread from the
// start when `initiallyOwned`. Null on failure.
PlatformMutex PlatformMutexCreate(bool initiallyOwned);
// Waits without a time limit. 1 when acquired (an abandoned mutex counts as
// acquired), 0 when the wait failed (WAIT_FAILED).
int PlatformMutexWait(PlatformMutex mutex);
// 1 when released, 0 when the calling thread does not own the mutex or the
// handle is bad.
int PlatformMutexRelease(PlatformMutex mutex);
// Closes the handle. Null is ignored.
void PlatformMutexClose(PlatformMutex mutex);

// Test seam for failing waits: makes the `nth` PlatformMutexWait from now (1
// is the very next one, on any thread) fail as WAIT_FAILED does, with the last
// error ERROR_INVALID_HANDLE, leaving the mutex untouched. 0 switches it off.
void PlatformFailMutexWait(int nth);

struct PlatformCriticalSectionRec;
using PlatformCriticalSection = PlatformCriticalSectionRec*;

// A new critical section, or null when memory is refused.
PlatformCriticalSection PlatformCriticalSectionCreate();
void PlatformCriticalSectionEnter(PlatformCriticalSection section);
void PlatformCriticalSectionLeave(PlatformCriticalSection section);
// Deletes it. Null is ignored.
void PlatformCriticalSectionDelete(PlatformCriticalSection section);
