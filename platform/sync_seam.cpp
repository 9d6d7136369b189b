// The failing-wait seam shared by both hosts' PlatformMutexWait.
#include "platform/sync_seam.h"

#include <atomic>

// Waits left up to and including the failing one; 0: off.
static std::atomic<int> countdown{0};

void PlatformFailMutexWait(int nth) { countdown.store(nth > 0 ? nth : 0, std::memory_order_relaxed); }

bool PlatformMutexSeamRefuses() {
  int left = countdown.load(std::memory_order_relaxed);
  while (left > 0) {
    if (countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return left == 1;
  }
  return false;
}
