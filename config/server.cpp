#include "config/server.h"

#include "config/path.h"
#include "config/profile.h"
#include "config/translation.h"
#include "runtime/strings.h"

namespace {

// The server part of the (unquoted) path into `server`, empty when the path
// names none.
void PathServer(const char* path, int32_t length, char* server, int32_t serverSize) {
  const char* start;
  int32_t startLength;
  UnquotePath(path, length, &start, &startLength);
  SplitServerPath(start, startLength, nullptr, 0, server, serverSize);
}

}  // namespace

void UnquotePath(const char* path, int32_t length, const char** start, int32_t* startLength) {
  *start = path;
  *startLength = length;
  int32_t n = StrLenTrim(path, length);
  if (n <= 0 || (path[0] != '"' && path[0] != '\'')) return;
  *start = path + 1;
  *startLength = n - 1;
  if (n > 1 && path[n - 1] == path[0]) --*startLength;
}

int IsLocalPath(const char* path, int32_t length) {
  const char* start;
  int32_t startLength;
  UnquotePath(path, length, &start, &startLength);
  char rest[SERVER_REST_MAX];
  char server[SERVER_NAME_MAX];
  SplitServerPath(start, startLength, rest, sizeof rest, server, sizeof server);
  if (rest[0] == '\0' || server[0] == '\0') return 1;
  char connect[SERVER_VALUE_MAX];
  return ProfileGetString(server, SERVER_KEY_CONNECT, "", connect, sizeof connect, SERVER_PROFILE) > 0 ? 0 : 1;
}

int RemotePathPart(const char* path, int32_t length, char* out, int32_t outSize) {
  const char* start;
  int32_t startLength;
  UnquotePath(path, length, &start, &startLength);
  SplitServerPath(start, startLength, out, outSize, nullptr, 0);
  return 1;
}

int ServerConnectString(const char* path, int32_t length, char* out, int32_t outSize) {
  char server[SERVER_NAME_MAX];
  PathServer(path, length, server, sizeof server);
  if (server[0] == '\0') return 0;
  char value[SERVER_VALUE_MAX];
  if (ProfileGetString(server, SERVER_KEY_CONNECT, "", value, sizeof value, SERVER_PROFILE) <= 0) return 0;
  StrCopy(nullptr, out, outSize, value, SQL_NTS);
  return 1;
}

TranslationTable* ServerTranslation(const char* path, int32_t length) {
  char server[SERVER_NAME_MAX];
  PathServer(path, length, server, sizeof server);
  if (server[0] == '\0') return nullptr;
  char value[SERVER_VALUE_MAX];
  if (ProfileGetString(server, SERVER_KEY_TRANSLATION, "", value, sizeof value, SERVER_PROFILE) <= 0) return nullptr;
  return TranslationFind(value);
}
