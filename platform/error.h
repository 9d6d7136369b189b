// The calling thread's last error code and the system's text for a code.
//
// Codes are Windows error codes on both hosts; the POSIX layer sets the code
// that the corresponding Windows call would set.
#pragma once
#include <cstdint>

inline constexpr uint32_t PLATFORM_ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t PLATFORM_ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t PLATFORM_ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t PLATFORM_ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t PLATFORM_ERROR_BROKEN_PIPE = 109;
inline constexpr uint32_t PLATFORM_ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t PLATFORM_ERROR_PIPE_BUSY = 231;
inline constexpr uint32_t PLATFORM_ERROR_NO_DATA = 232;
inline constexpr uint32_t PLATFORM_ERROR_PIPE_NOT_CONNECTED = 233;
inline constexpr uint32_t PLATFORM_ERROR_NOT_OWNER = 288;

uint32_t PlatformGetLastError();
void PlatformSetLastError(uint32_t code);

// FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
// language 0) of `code` into `buffer`: the text as the system words it, line
// end included. Returns its length, or 0 (buffer holding the empty string
// when size > 0) when the system has no text for the code or it does not fit.
uint32_t PlatformFormatMessage(uint32_t code, char* buffer, uint32_t size);
