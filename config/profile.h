// Profile files: bracketed sections of key = value lines.
#pragma once
#include <cstdint>

struct RemoteFile;

// Reads `file name`'s profile: with an empty `section` the list of section
// names, with an empty `key` the list of keys of `section`, otherwise the
// value of `key` in `section` or `defaultValue` (null means empty). Lists are
// NUL-terminated names followed by one more NUL. Returns the length of the
// value (less trailing blanks) or the list count; 0 when `out` is null or
// `outSize` is 0 or less. A name without a backslash is looked for in the
// Windows directory.
int32_t ProfileGetString(const char* section, const char* key, const char* defaultValue, char* out, int32_t outSize,
                         const char* fileName);
