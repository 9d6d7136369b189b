#include "config/path.h"

#include <cstring>

#include "config/profile.h"
#include "runtime/diag.h"

static void Clear(char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) std::memset(buffer, 0, static_cast<size_t>(size));
}

void SplitServerPath(const char* path, int32_t pathLength, char* rest, int32_t restSize, char* server,
                     int32_t serverSize) {
  Clear(rest, restSize);
  Clear(server, serverSize);
  int32_t n = StrLenTrim(path, pathLength);
  if (n <= 0) return;
  if (n <= 2 || !IsSlash(static_cast<unsigned char>(path[0])) || !IsSlash(static_cast<unsigned char>(path[1]))) {
    if (rest != nullptr && restSize > 0) StrCopy(nullptr, rest, restSize, path, pathLength);
    return;
  }
  int32_t position = 2;
  int32_t stored = 0;
  for (; position < n && !IsSlash(static_cast<unsigned char>(path[position])); ++position) {
    if (server != nullptr && stored < serverSize - 1) server[stored++] = path[position];
  }
  if (position < n) ++position;  // the separator after the name
  if (position < n && rest != nullptr && restSize > 0) StrCopy(nullptr, rest, restSize, path + position, n - position);
}

int HasServerAlias(const char* server, int32_t serverLength) {
  int32_t n = StrLenTrim(server, serverLength);
  if (n <= 0) return 0;
  // The section name is the server name up to its trimmed length; a longer
  // name than a server buffer holds is cut like any server name.
  char section[PATH_SERVER_SIZE];
  StrCopy(nullptr, section, sizeof section, server, n);
  char connect[PATH_CONNECT_SIZE];
  return ProfileGetString(section, "Connect", "", connect, PATH_CONNECT_SIZE - 1, "vorndex.ini") > 0 ? 1 : 0;
}

SqlReturn ComposePath(DiagArea* area, const char* directory, int32_t directoryLength, const char* file,
                      int32_t fileLength, char* out, int32_t outSize) {
  Clear(out, outSize);
  char rest[PATH_BUFFER_SIZE];
  char server[PATH_SERVER_SIZE];
  SplitServerPath(directory, directoryLength, rest, sizeof rest, server, sizeof server);

  char joined[PATH_BUFFER_SIZE];
  if (HasServerAlias(server, SQL_NTS)) {
    // The path on an aliased server is the server's own answer for this
    // directory and file; the request layer fills it in (ResolveRemotePath),
    // and until it does the answer is empty, as when no answer came.
    char resolved[PATH_BUFFER_SIZE] = "";
    StrCopy(area, joined, sizeof joined, "//", SQL_NTS);
    StrAppend(area, joined, sizeof joined, SQL_NTS, server, SQL_NTS);
    StrAppend(area, joined, sizeof joined, SQL_NTS, "/", SQL_NTS);
    StrAppend(area, joined, sizeof joined, SQL_NTS, resolved, SQL_NTS);
  } else {
    StrCopy(area, joined, sizeof joined, directory, directoryLength);
    if (StrLenTrim(file, fileLength) > 0) {
      int32_t kept = StrLenTrim(joined, SQL_NTS);
      if (kept > 0) {
        if (!IsSlash(static_cast<unsigned char>(joined[kept - 1])))
          StrAppend(area, joined, sizeof joined, SQL_NTS, "\\", SQL_NTS);
        int32_t length = StrLen(file, fileLength);
        const char* name = file;
        while (length > 0 && IsSlash(static_cast<unsigned char>(*name))) {
          ++name;
          --length;
        }
        if (length > 0) StrAppend(area, joined, sizeof joined, SQL_NTS, name, length);
      } else {
        StrAppend(area, joined, sizeof joined, SQL_NTS, file, fileLength);
      }
    }
  }
  if (out != nullptr && outSize > 0) StrCopy(area, out, outSize, joined, SQL_NTS);
  return DiagReturnCode(area);
}
