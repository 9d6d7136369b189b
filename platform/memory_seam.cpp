// The out-of-memory seam shared by both hosts' memory calls. Meant for tests
// that drive one thread at a time through the failing request.
#include "platform/memory_seam.h"

#include <atomic>

// > 0: requests left up to and including the failing one; 0: off;
// -1: every request fails (persistent mode, past the first failure).
static std::atomic<int> countdown{0};
static std::atomic<bool> persistentMode{false};
static std::atomic<int> failedRequests{0};

void PlatformFailMemoryRequest(int nth, bool persistent) {
  persistentMode.store(persistent, std::memory_order_relaxed);
  failedRequests.store(0, std::memory_order_relaxed);
  countdown.store(nth > 0 ? nth : 0, std::memory_order_relaxed);
}

int PlatformFailedMemoryRequests() { return failedRequests.load(std::memory_order_relaxed); }

bool PlatformMemorySeamRefuses() {
  int left = countdown.load(std::memory_order_relaxed);
  if (left == 0) return false;
  if (left > 1) {
    countdown.store(left - 1, std::memory_order_relaxed);
    return false;
  }
  if (left == 1) countdown.store(persistentMode.load(std::memory_order_relaxed) ? -1 : 0, std::memory_order_relaxed);
  failedRequests.fetch_add(1, std::memory_order_relaxed);
  return true;
}
