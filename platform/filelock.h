// An exclusive lock among the processes that update one file.
//
// The lock is held by the open file and keeps other takers of the same lock
// waiting; it never keeps anyone from reading or writing the file itself, so
// the system's own readers of the file go on unhindered.
// Windows: LockFileEx on one byte far beyond any end the file can reach.
// POSIX: flock.
#pragma once
#include <cstdio>

// Waits without a time limit until this file holds the lock. 1 when held,
// 0 on failure (the thread's last error set).
int PlatformFileLock(FILE* file);
// Takes the lock only when no other open file holds it: 1 when held now,
// 0 when it is held elsewhere or the call failed.
int PlatformFileTryLock(FILE* file);
// Gives the lock back. 1 on success, 0 on failure.
int PlatformFileUnlock(FILE* file);
