#include <cstdlib>

#include "platform/error.h"
#include "platform/memory_seam.h"

void* PlatformGlobalAlloc(size_t bytes) {
  if (PlatformMemorySeamRefuses()) {
    PlatformSetLastError(PLATFORM_ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* block = std::malloc(bytes != 0 ? bytes : 1);
  if (block == nullptr) PlatformSetLastError(PLATFORM_ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

void PlatformGlobalFree(void* block) { std::free(block); }
