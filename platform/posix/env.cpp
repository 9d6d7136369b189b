#include "platform/env.h"

#include <stdlib.h>

int PlatformSetEnvironment(const char* name, const char* value) {
  if (name == nullptr) return 0;
  return (value != nullptr ? setenv(name, value, 1) : unsetenv(name)) == 0 ? 1 : 0;
}
