#include "platform/netdb.h"

#include <winsock2.h>

int PlatformGetServicePort(const char* name, const char* protocol, int32_t* port) {
  if (name == nullptr || port == nullptr) return 0;
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return 0;
  struct servent* entry = getservbyname(name, protocol);
  if (entry == nullptr) return 0;
  *port = ntohs(static_cast<u_short>(entry->s_port));
  return 1;
}
