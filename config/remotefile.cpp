#include "config/remotefile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "config/server.h"
#include "config/translation.h"
#include "platform/file.h"
#include "runtime/diag.h"
#include "runtime/list.h"
#include "runtime/strings.h"

namespace {

FileRegistry registry{0, nullptr, nullptr};

// The registry's lock, made once before any second thread can reach it (the
// static's initialisation is itself guarded) and never destroyed.
PlatformCriticalSection RegistryLock() {
  static PlatformCriticalSection lock = [] {
    registry.lock = PlatformCriticalSectionCreate();
    return registry.lock;
  }();
  return lock;
}

// Scoped hold of the registry's lock; `held` is false when it could not be
// made.
struct RegistryHold {
  PlatformCriticalSection lock = RegistryLock();
  bool held = lock != nullptr;
  RegistryHold() {
    if (held) PlatformCriticalSectionEnter(lock);
  }
  ~RegistryHold() {
    if (held) PlatformCriticalSectionLeave(lock);
  }
  RegistryHold(const RegistryHold&) = delete;
  RegistryHold& operator=(const RegistryHold&) = delete;
};

// Sets up the service connection of a remote file. The connection layer is
// not part of this build yet, so no connection can be opened, and the open
// fails as a failed set-up does.
SqlReturn RemoteFileConnect(FileRegistry* /*registry*/, const char* /*path*/, RemoteFile* /*record*/) {
  return SQL_ERROR;
}

}  // namespace

bool IsStandardStream(const RemoteFile* handle) {
  const void* stream = handle;
  return handle != nullptr && (stream == stdin || stream == stdout || stream == stderr);
}

FileRegistry* FileRegistryGet() {
  RegistryHold hold;
  if (!hold.held) return nullptr;
  // The environment of remote files is made here once the connection layer
  // is part of the build; local files need only the list.
  if (registry.files == nullptr) registry.files = DiagListCreate(nullptr, nullptr);
  return registry.files != nullptr ? &registry : nullptr;
}

RemoteFile* FileRegistryAdd() {
  auto* record = static_cast<RemoteFile*>(std::calloc(1, sizeof(RemoteFile)));
  if (record == nullptr) return nullptr;
  RegistryHold hold;
  if (!hold.held || FileRegistryGet() == nullptr || DiagListAppend(nullptr, registry.files, record) != 0) {
    std::free(record);
    return nullptr;
  }
  return record;
}

RemoteFile* FileRegistryFind(const RemoteFile* handle) {
  if (handle == nullptr) return nullptr;
  RegistryHold hold;
  if (!hold.held || registry.files == nullptr) return nullptr;
  return static_cast<RemoteFile*>(ListPosition(registry.files, LIST_FIND, handle));
}

void FileRegistryRelease() {
  RegistryHold hold;
  if (!hold.held || registry.files == nullptr || registry.files->first != nullptr) return;
  DiagListDestroy(registry.files);
  registry.files = nullptr;
  registry.environment = 0;
}

void FileRegistryRemove(RemoteFile* record) {
  if (record == nullptr) return;
  {
    RegistryHold hold;
    if (hold.held && registry.files != nullptr && ListPosition(registry.files, LIST_FIND, record) != nullptr)
      ListRemove(registry.files);
  }
  if (record->fileKind == FILE_REMOTE) DiagDestroy(record->diag);
  std::free(record);
  FileRegistryRelease();
}

const FileRegistry* FileRegistryState() { return &registry; }

RemoteFile* RemoteFileOpen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  FileRegistry* files = FileRegistryGet();
  RemoteFile* record = files != nullptr ? FileRegistryAdd() : nullptr;
  if (record == nullptr) {
    // A registry made just now for this open goes again.
    FileRegistryRelease();
    errno = ENOMEM;
    return nullptr;
  }

  if (IsLocalPath(path, SQL_NTS) != 0) {
    record->fileKind = FILE_LOCAL;
    record->stream = PlatformFileOpen(path, mode);
    if (record->stream == nullptr) {
      int error = errno;
      FileRegistryRemove(record);
      errno = error;
      return nullptr;
    }
    return record;
  }

  record->fileKind = FILE_REMOTE;
  record->diag = DiagCreate(nullptr);
  if (record->diag == nullptr) {
    FileRegistryRemove(record);
    errno = ENOMEM;
    return nullptr;
  }
  if (RemoteFileConnect(files, path, record) < 0) {
    FileRegistryRemove(record);
    errno = EINVAL;
    return nullptr;
  }
  return record;
}

char* RemoteFileGets(char* buffer, int32_t size, RemoteFile* handle) {
  // fgets itself gives no defined result for these.
  if (buffer == nullptr || size < 1) {
    errno = EINVAL;
    return nullptr;
  }
  if (IsStandardStream(handle)) return std::fgets(buffer, size, reinterpret_cast<FILE*>(handle));
  RemoteFile* file = FileRegistryFind(handle);
  if (file == nullptr) {
    errno = EBADF;
    return nullptr;
  }
  if (file->fileKind != FILE_LOCAL) {
    // No request can reach a server without a connection.
    errno = EINVAL;
    return nullptr;
  }
  char* line = std::fgets(buffer, size, file->stream);
  if (line != nullptr && file->translation != nullptr) TranslateIn(file->translation, buffer, SQL_NTS, buffer, size);
  return line;
}

int RemoteFileClose(RemoteFile* handle) {
  if (IsStandardStream(handle)) return std::fclose(reinterpret_cast<FILE*>(handle));
  RemoteFile* file = FileRegistryFind(handle);
  if (file == nullptr) {
    errno = EBADF;
    return 1;
  }
  if (file->fileKind != FILE_LOCAL) {
    FileRegistryRemove(file);
    errno = EINVAL;
    return 1;
  }
  int result = std::fclose(file->stream);
  int error = errno;
  FileRegistryRemove(file);
  errno = error;
  return result;
}

int RemoteFileSetTranslation(const char* name, RemoteFile* handle) {
  if (IsStandardStream(handle)) return 1;
  RemoteFile* file = FileRegistryFind(handle);
  if (file == nullptr) {
    errno = EBADF;
    return 1;
  }
  if (file->fileKind != FILE_LOCAL) {
    errno = EINVAL;
    return 1;
  }
  file->translation = TranslationFind(name);
  if (file->translation == nullptr) {
    errno = ENOENT;
    return 1;
  }
  errno = 0;
  return 0;
}
