// The system's own services database, as its network library reads it.
//
// Windows: Winsock's getservbyname (Winsock is started on first use and
// stays started). POSIX: the C library's getservbyname.
#pragma once
#include <cstdint>

// Looks `name` up for `protocol`. 1 with *port set (host byte order) when
// the database has the service, 0 otherwise.
int PlatformGetServicePort(const char* name, const char* protocol, int32_t* port);
