// Files handed to the C library.
//
// Backslashes and slashes both separate path components in this system.
// Windows takes either as it is; the POSIX layer turns every backslash into a
// slash before the path reaches the system.
#pragma once
#include <cstdio>

// fopen of `path` with `mode`; null and errno as fopen gives them.
FILE* PlatformFileOpen(const char* path, const char* mode);
