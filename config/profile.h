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

// Size of the buffer a profile path is composed in, the NUL included.
inline constexpr int32_t PROFILE_PATH_MAX = 260;
// Size of one read from a profile file: at most 253 characters a piece.
inline constexpr int32_t PROFILE_LINE_MAX = 254;

// Opens `fileName` for reading with no translation attached: a name holding a
// backslash as it is, any other name in the Windows directory. Null when the
// file cannot be opened, when the composed path does not fit
// PROFILE_PATH_MAX, and when this thread is already opening the same path
// (a profile file on an aliased server whose alias lookup reads that file).
RemoteFile* ProfileOpen(const char* fileName);

// The three modes on an open file, read from its current position (the
// caller opens the file freshly). Each returns what ProfileGetString returns.
int32_t ProfileListSections(RemoteFile* file, char* out, int32_t outSize);
int32_t ProfileListKeys(RemoteFile* file, const char* section, char* out, int32_t outSize);
int32_t ProfileReadKey(RemoteFile* file, const char* section, const char* key, const char* defaultValue, char* out,
                       int32_t outSize);
