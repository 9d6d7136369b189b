// System information and string collation of the host.
//
// Windows: GetVersionExA, GetSystemDirectoryA, GetWindowsDirectoryA and
// CompareStringA, called unchanged.
// POSIX: the single-directory layout. The platform id is 1
// (VER_PLATFORM_WIN32_WINDOWS); the Windows directory is the value of
// VORNDEX_WINDIR, or /etc when that is unset or empty; the system directory
// is the same directory, since the layout has only one.
#pragma once
#include <cstdint>

inline constexpr int32_t PLATFORM_ID_WINDOWS = 1;  // VER_PLATFORM_WIN32_WINDOWS
inline constexpr int32_t PLATFORM_ID_NT = 2;       // VER_PLATFORM_WIN32_NT

// Fills *platformId with dwPlatformId of GetVersionExA (size field 148).
// Returns 1 on success, 0 when the call failed (*platformId untouched).
int PlatformGetVersion(int32_t* platformId);

// Both follow the Windows contract: on success the length written, NUL
// excluded; when the buffer is too small the size needed, NUL included, and
// nothing useful in the buffer; 0 on failure.
uint32_t PlatformGetSystemDirectory(char* buffer, uint32_t size);
uint32_t PlatformGetWindowsDirectory(char* buffer, uint32_t size);

// Result codes of CompareStringA.
inline constexpr int PLATFORM_CSTR_LESS_THAN = 1;
inline constexpr int PLATFORM_CSTR_EQUAL = 2;
inline constexpr int PLATFORM_CSTR_GREATER_THAN = 3;

// CompareStringA(LOCALE_USER_DEFAULT, SORT_STRINGSORT, ...) of two texts of
// the given exact lengths (no NUL is looked for). Returns one of the three
// codes above, or 0 when the call failed.
// On POSIX the comparison is case-sensitive and in unsigned byte order, a
// shorter text sorting before a longer one with the same beginning; the
// user's locale plays no part.
int PlatformCompareString(const char* text1, int32_t length1, const char* text2, int32_t length2);
