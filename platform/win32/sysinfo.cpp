#include "platform/sysinfo.h"

#include "platform/win32/win.h"

int PlatformGetVersion(int32_t* platformId) {
  if (platformId == nullptr) return 0;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148
  static_assert(sizeof(OSVERSIONINFOA) == 148);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
  *platformId = static_cast<int32_t>(info.dwPlatformId);
  return 1;
}

uint32_t PlatformGetSystemDirectory(char* buffer, uint32_t size) { return GetSystemDirectoryA(buffer, size); }

uint32_t PlatformGetWindowsDirectory(char* buffer, uint32_t size) { return GetWindowsDirectoryA(buffer, size); }

int PlatformCompareString(const char* text1, int32_t length1, const char* text2, int32_t length2) {
  return CompareStringA(LOCALE_USER_DEFAULT, SORT_STRINGSORT, text1, length1, text2, length2);
}
