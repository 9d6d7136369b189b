// Path composition: server paths, the server-alias test and the joining of a
// directory and a file name.
//
// A server path is a text whose trimmed length is at least 3 and whose first
// two characters are each a slash or a backslash; the server name runs from
// the third character to the next separator, the rest follows that
// separator. A server with a non-empty "Connect" value in its own section of
// "vorndex.ini" has an alias: its paths are resolved by the server itself.
// All lengths follow the counted-string convention.
#pragma once
#include <cstdint>

#include "runtime/strings.h"

inline constexpr int32_t PATH_SERVER_SIZE = 256;   // server name, NUL included
inline constexpr int32_t PATH_BUFFER_SIZE = 512;   // joined, rest and resolved paths
inline constexpr int32_t PATH_CONNECT_SIZE = 256;  // a server's "Connect" value

// Fills `rest` and `server` (either may be null, or of size 0). For a server
// path: the server name, cut to the buffer, and the rest without trailing
// blanks; otherwise an empty server and the whole path (its given length) as
// the rest. Cuts are silent.
void SplitServerPath(const char* path, int32_t pathLength, char* rest, int32_t restSize, char* server,
                     int32_t serverSize);

// 1 when `server` has a non-empty "Connect" value in "vorndex.ini", else 0 (a
// missing file, section or key included).
int HasServerAlias(const char* server, int32_t serverLength);

// Joins `directory` and `file` into `out`: for an aliased server
// "//server/" and the path the server resolves; otherwise the directory, one
// backslash unless it already ends in a separator, and the file without its
// leading separators (an empty directory takes the file unchanged). Every
// cut posts "01004" into `area` (may be null). Returns the area's return
// code.
SqlReturn ComposePath(DiagArea* area, const char* directory, int32_t directoryLength, const char* file,
                      int32_t fileLength, char* out, int32_t outSize);
