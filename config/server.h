// Server lookups for remote files: whether a path is opened by the operating
// system or by an aliased server, and that server's settings from
// "vorndex.ini".
#pragma once
#include <cstdint>

struct TranslationTable;

inline constexpr const char* SERVER_PROFILE = "vorndex.ini";
inline constexpr const char* SERVER_KEY_CONNECT = "Connect";
inline constexpr const char* SERVER_KEY_TRANSLATION = "CodeTranslation";
// Buffers of the lookups, NUL included: a longer server name is cut to 99
// characters and that shortened name is the section looked up.
inline constexpr int32_t SERVER_NAME_MAX = 100;
inline constexpr int32_t SERVER_REST_MAX = 256;
inline constexpr int32_t SERVER_VALUE_MAX = 512;

// The counted path without an opening double quote or apostrophe and the same
// quote closing it; a path not opening with a quote comes back as given.
void UnquotePath(const char* path, int32_t length, const char** start, int32_t* startLength);
// 1 when the path is opened by the operating system, 0 when it lies on a
// server with a non-empty "Connect" value. A server path without a rest is
// always local.
int IsLocalPath(const char* path, int32_t length);
// The part of the path after its server name and separator, or the whole
// unquoted path when it names no server, into `out` (cut to fit). Returns 1.
int RemotePathPart(const char* path, int32_t length, char* out, int32_t outSize);
// 1 and the "Connect" value of the path's server in `out` (cut to fit), or 0
// when the path names no server or the value is empty.
int ServerConnectString(const char* path, int32_t length, char* out, int32_t outSize);
// The table named by the path's server's "CodeTranslation" key, or null.
TranslationTable* ServerTranslation(const char* path, int32_t length);
