#include "platform/file.h"

#include <errno.h>

#include <string>

FILE* PlatformFileOpen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  std::string hostPath(path);
  for (char& c : hostPath)
    if (c == '\\') c = '/';
  return std::fopen(hostPath.c_str(), mode);
}
