#include "platform/netdb.h"

#include <arpa/inet.h>
#include <netdb.h>

int PlatformGetServicePort(const char* name, const char* protocol, int32_t* port) {
  if (name == nullptr || port == nullptr) return 0;
  struct servent* entry = getservbyname(name, protocol);
  if (entry == nullptr) return 0;
  *port = ntohs(static_cast<uint16_t>(entry->s_port));
  return 1;
}
