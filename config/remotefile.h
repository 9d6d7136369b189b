// Remote file access: fopen/fgets/fclose-style operations that work alike on
// local files and on files of an aliased server, over one process-wide
// registry of open files. Failures are reported through errno and a null or
// nonzero result.
//
// The three standard streams are accepted as handles as well (see
// RemoteFileStream) and are passed straight to the standard library.
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/sync.h"

struct DiagArea;
struct NodeList;
struct TranslationTable;

inline constexpr int32_t FILE_LOCAL = 0;
inline constexpr int32_t FILE_REMOTE = 1;

// Request codes of the "StdIO" service.
inline constexpr uint8_t FILE_OPEN = 1;
inline constexpr uint8_t FILE_CLOSE = 2;
inline constexpr uint8_t FILE_GETS = 5;
inline constexpr uint8_t FILE_SET_TRANSLATION = 7;

inline constexpr int32_t FILE_SERVER_HANDLE_MAX = 50;  // NUL included

struct RemoteFile {
  int32_t fileKind;                // FILE_LOCAL or FILE_REMOTE
  FILE* stream;                    // local files: the open file
  TranslationTable* translation;   // local: attached table; remote: the server's wire table
  DiagArea* diag;                  // remote files: the area of all their requests
  int32_t connection;              // remote files: the connection manager's handle
  char serverHandle[FILE_SERVER_HANDLE_MAX];  // remote files: names the file on the server
};

struct FileRegistry {
  int32_t environment;  // connection environment of all remote files; 0 when none
  NodeList* files;      // open RemoteFile records in opening order; null when none
  PlatformCriticalSection lock;  // created once, never destroyed
};

// A standard stream as a handle for these operations.
inline RemoteFile* RemoteFileStream(FILE* stream) { return reinterpret_cast<RemoteFile*>(stream); }
// True for the handles of the standard input, output and error streams.
bool IsStandardStream(const RemoteFile* handle);

// Opens `path` with the fopen `mode`: a local path through the operating
// system, a path on an aliased server through its "StdIO" service. Null with
// errno: fopen's for a local file; 12 when the registry or the record cannot
// be had; 22 when the service connection cannot be set up (the connection
// layer is not part of this build yet, so every aliased path gives 22) or
// when `path` or `mode` is null.
RemoteFile* RemoteFileOpen(const char* path, const char* mode);
// Reads a line like fgets (at most size - 1 characters, the newline kept),
// through the attached translation, which drops the line's trailing blanks
// when no newline ends it. Null at the end of the file or on failure; errno
// 9 for a handle that is not registered, 22 for a null buffer or a size
// below 1.
char* RemoteFileGets(char* buffer, int32_t size, RemoteFile* handle);
// Closes the file and invalidates the handle. fclose's result for a local
// file or a standard stream; 1 with errno 9 for a handle not registered.
int RemoteFileClose(RemoteFile* handle);
// Attaches the translation table `name` to a local file, replacing any
// earlier one: 0 with errno 0 when found, else 1 with errno 2 and the file
// reads untranslated. 1 for a standard stream (errno untouched); 1 with errno
// 9 for a handle not registered.
int RemoteFileSetTranslation(const char* name, RemoteFile* handle);

// The registry, made on first use: null when its list cannot be made.
FileRegistry* FileRegistryGet();
// A new zeroed record appended to the registry (made here when needed, so a
// release by another thread in between cannot take it away); null on failure.
RemoteFile* FileRegistryAdd();
// The registered record of `handle`, or null.
RemoteFile* FileRegistryFind(const RemoteFile* handle);
// Unregisters and frees the record, then releases the registry if it was the
// last one.
void FileRegistryRemove(RemoteFile* record);
// Frees the registry's list and environment when no file is open.
void FileRegistryRelease();
// The registry as it stands, made or not; for tests and checks.
const FileRegistry* FileRegistryState();
