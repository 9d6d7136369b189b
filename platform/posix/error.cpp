#include "platform/error.h"

#include <cstdio>
#include <cstring>

static thread_local uint32_t lastError = 0;

uint32_t PlatformGetLastError() { return lastError; }

void PlatformSetLastError(uint32_t code) { lastError = code; }

// The codes this layer sets, worded as the Windows message table words them,
// line end included.
static const char* MessageFor(uint32_t code) {
  switch (code) {
    case 0: return "The operation completed successfully.\r\n";
    case PLATFORM_ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.\r\n";
    case 3: return "The system cannot find the path specified.\r\n";
    case PLATFORM_ERROR_ACCESS_DENIED: return "Access is denied.\r\n";
    case PLATFORM_ERROR_INVALID_HANDLE: return "The handle is invalid.\r\n";
    case PLATFORM_ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.\r\n";
    case 87: return "The parameter is incorrect.\r\n";
    case PLATFORM_ERROR_BROKEN_PIPE: return "The pipe has been ended.\r\n";
    case PLATFORM_ERROR_INSUFFICIENT_BUFFER: return "The data area passed to a system call is too small.\r\n";
    case PLATFORM_ERROR_PIPE_BUSY: return "All pipe instances are busy.\r\n";
    case PLATFORM_ERROR_NO_DATA: return "The pipe is being closed.\r\n";
    case PLATFORM_ERROR_PIPE_NOT_CONNECTED: return "No process is on the other end of the pipe.\r\n";
    case PLATFORM_ERROR_NOT_OWNER: return "Attempt to release mutex not owned by caller.\r\n";
    case 1460: return "This operation returned because the timeout period expired.\r\n";
    default: return nullptr;
  }
}

uint32_t PlatformFormatMessage(uint32_t code, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  const char* text = MessageFor(code);
  if (text == nullptr) {
    lastError = 317;  // ERROR_MR_MID_NOT_FOUND
    return 0;
  }
  size_t length = std::strlen(text);
  if (length + 1 > size) {
    lastError = PLATFORM_ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(buffer, text, length + 1);
  return static_cast<uint32_t>(length);
}
