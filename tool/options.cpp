#include "tool/options.h"

#include <cstring>

#include "config/path.h"
#include "platform/sysinfo.h"
#include "runtime/strings.h"

char serviceName[OPTION_VALUE_SIZE];
char servicePort[OPTION_VALUE_SIZE];
char serviceProtocol[OPTION_VALUE_SIZE];
char serviceComment[OPTION_VALUE_SIZE];
char servicesPath[OPTION_PATH_SIZE];
int serviceMode;

void OptionsReset() {
  serviceName[0] = servicePort[0] = serviceProtocol[0] = serviceComment[0] = servicesPath[0] = '\0';
  serviceMode = 0;
}

int ParseOptions(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (argument == nullptr) return 0;
    if (std::strcmp(argument, "-service") == 0) {
      serviceMode = 1;
      continue;
    }
    char* buffer = nullptr;
    bool lower = true;
    if (std::strcmp(argument, "-name") == 0) {
      buffer = serviceName;
    } else if (std::strcmp(argument, "-port") == 0) {
      buffer = servicePort;
    } else if (std::strcmp(argument, "-protocol") == 0) {
      buffer = serviceProtocol;
    } else if (std::strcmp(argument, "-comment") == 0) {
      buffer = serviceComment;
      lower = false;
    } else {
      return 0;
    }
    // An option at the very end has no value to read: the parse fails there,
    // as for a value that begins with "-".
    if (i + 1 >= argc || argv[i + 1] == nullptr) return 0;
    const char* value = argv[++i];
    if (value[0] == '-') return 0;
    CopyOptionValue(buffer, OPTION_VALUE_SIZE, value, SQL_NTS);
    if (lower) LowerCaseValue(buffer, SQL_NTS);
  }
  return 1;
}

void CopyOptionValue(char* destination, int32_t size, const char* value, int32_t valueLength) {
  if (destination == nullptr || size <= 0) return;
  int32_t n = StrLenTrim(value, valueLength);
  if (n <= 0) {
    destination[0] = '\0';
    return;
  }
  if (value[0] == '"') {
    ++value;
    --n;
  }
  if (n > 0 && value[n - 1] == '"') --n;
  StrCopy(nullptr, destination, size, value, n);
}

int32_t LowerCaseValue(char* text, int32_t textLength) {
  int32_t n = StrLenTrim(text, textLength);
  for (int32_t i = 0; i < n; ++i)
    if (text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] + ('a' - 'A'));
  return n;
}

int LocateServicesFile() {
  int32_t platformId = 0;
  if (!PlatformGetVersion(&platformId)) return 0;
  char directory[OPTION_DIRECTORY_SIZE];
  uint32_t length = 0;
  const char* filePart = nullptr;
  switch (platformId) {
    case PLATFORM_ID_NT:
      length = PlatformGetSystemDirectory(directory, sizeof directory);
      filePart = "drivers\\etc\\services";
      break;
    case PLATFORM_ID_WINDOWS:
      length = PlatformGetWindowsDirectory(directory, sizeof directory);
      filePart = "services";
      break;
    default:
      return 0;
  }
  // A directory call that fails (0) or whose answer does not fit (the size
  // it needs) fails the location. An empty directory would make the file
  // part a path relative to the current directory, and an elevated run must
  // not append to whatever file lies there.
  if (length == 0 || length >= sizeof directory) return 0;
  ComposePath(nullptr, directory, SQL_NTS, filePart, SQL_NTS, servicesPath, sizeof servicesPath);
  return 1;
}
