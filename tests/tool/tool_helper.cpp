// The tests' peer program, its role chosen by the first argument:
//   lookup NAME PROTOCOL  asks the system's own services database, as the
//                         system's programs do: prints the port and exits 0,
//                         or exits 3 when the service is not found;
//   args ...              prints each further argument in brackets, one a line;
//   env NAME              prints the variable's value, or exits 3 when unset;
//   exit CODE TEXT        writes TEXT to standard error and exits with CODE.
// Bad usage exits 2.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/netdb.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* role = argv[1];
  if (std::strcmp(role, "lookup") == 0 && argc == 4) {
    int32_t port = 0;
    if (!PlatformGetServicePort(argv[2], argv[3], &port)) return 3;
    std::printf("%d\n", static_cast<int>(port));
    return 0;
  }
  if (std::strcmp(role, "args") == 0) {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
    return 0;
  }
  if (std::strcmp(role, "env") == 0 && argc == 3) {
    const char* value = std::getenv(argv[2]);
    if (value == nullptr) return 3;
    std::printf("%s\n", value);
    return 0;
  }
  if (std::strcmp(role, "exit") == 0 && argc == 4) {
    std::fputs(argv[3], stderr);
    return std::atoi(argv[2]);
  }
  return 2;
}
