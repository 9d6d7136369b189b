#include "platform/sysinfo.h"

#include <cstdlib>
#include <cstring>

int PlatformGetVersion(int32_t* platformId) {
  if (platformId == nullptr) return 0;
  *platformId = PLATFORM_ID_WINDOWS;
  return 1;
}

// The single directory of this layout: VORNDEX_WINDIR, or /etc.
static const char* WindowsDirectory() {
  const char* dir = std::getenv("VORNDEX_WINDIR");
  return (dir != nullptr && dir[0] != '\0') ? dir : "/etc";
}

static uint32_t CopyDirectory(char* buffer, uint32_t size) {
  const char* dir = WindowsDirectory();
  size_t length = std::strlen(dir);
  if (length >= 0xFFFFFFFFu) return 0;
  if (buffer == nullptr || length + 1 > size) return static_cast<uint32_t>(length + 1);
  std::memcpy(buffer, dir, length + 1);
  return static_cast<uint32_t>(length);
}

uint32_t PlatformGetSystemDirectory(char* buffer, uint32_t size) { return CopyDirectory(buffer, size); }

uint32_t PlatformGetWindowsDirectory(char* buffer, uint32_t size) { return CopyDirectory(buffer, size); }

int PlatformCompareString(const char* text1, int32_t length1, const char* text2, int32_t length2) {
  if (length1 < 0 || length2 < 0 || (text1 == nullptr && length1 > 0) || (text2 == nullptr && length2 > 0))
    return 0;
  size_t common = static_cast<size_t>(length1 < length2 ? length1 : length2);
  int order = common > 0 ? std::memcmp(text1, text2, common) : 0;
  if (order == 0) order = (length1 > length2) - (length1 < length2);
  return order < 0 ? PLATFORM_CSTR_LESS_THAN : order > 0 ? PLATFORM_CSTR_GREATER_THAN : PLATFORM_CSTR_EQUAL;
}
