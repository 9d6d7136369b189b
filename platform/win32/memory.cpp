#include "platform/memory_seam.h"
#include "platform/win32/win.h"

void* PlatformGlobalAlloc(size_t bytes) {
  if (PlatformMemorySeamRefuses()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HGLOBAL handle = GlobalAlloc(GMEM_FIXED, bytes);
  if (handle == nullptr) return nullptr;
  void* block = GlobalLock(handle);
  if (block == nullptr) GlobalFree(handle);
  return block;
}

void PlatformGlobalFree(void* block) {
  if (block == nullptr) return;
  HGLOBAL handle = GlobalHandle(block);
  if (handle == nullptr) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
}
