#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "platform/error.h"

extern char** environ;

struct PlatformProcessRec {
  pid_t pid;
  std::string output;
  std::string errors;
  std::thread outputReader;
  std::thread errorReader;
};

static void Drain(int fd, std::string* sink) {
  char chunk[4096];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) {
      sink->append(chunk, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(fd);
}

static size_t NameLength(const char* entry) {
  const char* equals = std::strchr(entry, '=');
  return equals != nullptr ? static_cast<size_t>(equals - entry) : std::strlen(entry);
}

// This process's environment with the given entries added or replacing.
static std::vector<char*> ChildEnvironment(const char* const* additions) {
  std::vector<char*> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    bool replaced = false;
    for (const char* const* add = additions; add != nullptr && *add != nullptr; ++add) {
      size_t length = NameLength(*add);
      if (NameLength(*entry) == length && std::strncmp(*entry, *add, length) == 0) replaced = true;
    }
    if (!replaced) entries.push_back(*entry);
  }
  for (const char* const* add = additions; add != nullptr && *add != nullptr; ++add)
    entries.push_back(const_cast<char*>(*add));
  entries.push_back(nullptr);
  return entries;
}

static uint32_t ErrorFromErrno(int code) {
  switch (code) {
    case ENOENT: case ENOTDIR: return PLATFORM_ERROR_FILE_NOT_FOUND;
    case EACCES: case EPERM: return PLATFORM_ERROR_ACCESS_DENIED;
    case ENOMEM: case EAGAIN: return PLATFORM_ERROR_NOT_ENOUGH_MEMORY;
    default: return 87;  // ERROR_INVALID_PARAMETER
  }
}

PlatformProcess PlatformProcessStart(const char* program, const char* const* arguments,
                                     const char* const* environment) {
  if (program == nullptr || arguments == nullptr || arguments[0] == nullptr) {
    PlatformSetLastError(87);
    return nullptr;
  }
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    PlatformSetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    PlatformSetLastError(ErrorFromErrno(errno));
    close(outPipe[0]);
    close(outPipe[1]);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  std::vector<char*> env = ChildEnvironment(environment);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program, &actions, nullptr, const_cast<char* const*>(arguments), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    PlatformSetLastError(ErrorFromErrno(rc));
    return nullptr;
  }
  auto* process = new (std::nothrow) PlatformProcessRec;
  if (process == nullptr) {
    // The child runs on; it is reaped here so that no zombie stays behind.
    close(outPipe[0]);
    close(errPipe[0]);
    waitpid(pid, nullptr, 0);
    PlatformSetLastError(PLATFORM_ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  process->pid = pid;
  process->outputReader = std::thread(Drain, outPipe[0], &process->output);
  process->errorReader = std::thread(Drain, errPipe[0], &process->errors);
  return process;
}

int PlatformProcessWait(PlatformProcess process, PlatformProcessResult* result) {
  if (process == nullptr) {
    PlatformSetLastError(PLATFORM_ERROR_INVALID_HANDLE);
    return 0;
  }
  int status = 0;
  struct rusage usage {};
  pid_t got;
  do {
    got = wait4(process->pid, &status, 0, &usage);
  } while (got < 0 && errno == EINTR);
  process->outputReader.join();
  process->errorReader.join();
  int ok = got == process->pid ? 1 : 0;
  if (result != nullptr) {
    result->exitCode = !ok ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result->output = std::move(process->output);
    result->errors = std::move(process->errors);
    result->peakMemoryBytes = ok ? static_cast<uint64_t>(usage.ru_maxrss) * 1024u : 0;
  }
  if (!ok) PlatformSetLastError(PLATFORM_ERROR_INVALID_HANDLE);
  delete process;
  return ok;
}
