// Fixed blocks of system memory for heap segments.
//
// Windows: global memory, allocated fixed and locked for its address;
// released by finding the handle from the address, unlocking and freeing.
// POSIX: the C allocator.
#pragma once
#include <cstddef>

// A fixed block of at least `bytes` bytes, or null when the system refuses
// (or the fault seam below says so).
void* PlatformGlobalAlloc(size_t bytes);
// Gives a block from PlatformGlobalAlloc back. Null is ignored.
void PlatformGlobalFree(void* block);

// Test seam for out-of-memory paths: makes the `nth` request from now (1 is
// the very next one) fail, and with `persistent` every request after it too.
// 0 switches the seam off. Requests are counted in every build; with the seam
// off a request costs one relaxed atomic load beside the system call.
void PlatformFailMemoryRequest(int nth, bool persistent = false);
// Number of requests that failed through the seam since it was last set.
int PlatformFailedMemoryRequests();
