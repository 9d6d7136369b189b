#include "platform/file.h"

FILE* PlatformFileOpen(const char* path, const char* mode) { return std::fopen(path, mode); }
