// register-service: adds one service line to the system's services file,
// unless the entry is there already. Writes nothing to the console and
// always exits with status 0.
#include <cstdint>
#include <cstdlib>

#include "tool/options.h"
#include "tool/services.h"

// strtol's reading of the port text, clamped to the 32-bit range whatever
// the width of long.
static int32_t PortNumber(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int main(int argc, char** argv) {
  if (!ParseOptions(argc, argv)) return 0;
  if (!LocateServicesFile()) return 0;
  if (!serviceMode) return 0;
  AddServiceEntry(servicesPath, serviceName, PortNumber(servicePort), serviceProtocol, serviceComment);
  return 0;
}
