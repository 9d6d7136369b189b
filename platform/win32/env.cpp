#include "platform/env.h"

#include <stdlib.h>

#include "platform/win32/win.h"

int PlatformSetEnvironment(const char* name, const char* value) {
  if (name == nullptr) return 0;
  // Both the process block (for child processes) and the C runtime's copy
  // (for getenv) are updated.
  if (!SetEnvironmentVariableA(name, value)) return 0;
  return _putenv_s(name, value != nullptr ? value : "") == 0 ? 1 : 0;
}
