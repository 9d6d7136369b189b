#include "platform/error.h"

#include "platform/win32/win.h"

uint32_t PlatformGetLastError() { return GetLastError(); }

void PlatformSetLastError(uint32_t code) { SetLastError(code); }

uint32_t PlatformFormatMessage(uint32_t code, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                size, nullptr);
  if (length == 0) buffer[0] = '\0';
  return length;
}
