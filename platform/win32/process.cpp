#include "platform/process.h"

#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/win32/win.h"
// Memory counters from kernel32 itself (K32GetProcessMemoryInfo), no psapi.dll.
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

struct PlatformProcessRec {
  HANDLE process;
  std::string output;
  std::string errors;
  std::thread outputReader;
  std::thread errorReader;
};

// Handles that a child inherits are taken from this process while it starts
// the child; starting one child at a time keeps the pipe ends of one child
// out of another, whose lifetime would otherwise keep the first one's pipes
// open.
static std::mutex startLock;

static void Drain(HANDLE pipe, std::string* sink) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) sink->append(chunk, got);
  CloseHandle(pipe);
}

// One argument as the C runtime's command-line splitting gives it back:
// quoted when empty or holding blanks or quotes, with the backslashes in
// front of a quote (and at the end, before the closing quote) doubled.
static void AppendArgument(std::string* line, const char* argument) {
  if (!line->empty()) line->push_back(' ');
  if (argument[0] != '\0' && std::strpbrk(argument, " \t\n\v\"") == nullptr) {
    line->append(argument);
    return;
  }
  line->push_back('"');
  size_t backslashes = 0;
  for (const char* p = argument;; ++p) {
    if (*p == '\\') {
      ++backslashes;
      continue;
    }
    if (*p == '\0') {
      line->append(backslashes * 2, '\\');
      break;
    }
    if (*p == '"') {
      line->append(backslashes * 2 + 1, '\\');
    } else {
      line->append(backslashes, '\\');
    }
    backslashes = 0;
    line->push_back(*p);
  }
  line->push_back('"');
}

static size_t NameLength(const char* entry) {
  // A leading "=" belongs to the name (the per-drive directories "=C:").
  const char* equals = std::strchr(entry + (entry[0] == '=' ? 1 : 0), '=');
  return equals != nullptr ? static_cast<size_t>(equals - entry) : std::strlen(entry);
}

// This process's environment block with the given entries added or
// replacing; names compare without regard to case, as Windows compares them.
static std::vector<char> ChildEnvironment(const char* const* additions) {
  std::vector<char> block;
  char* current = GetEnvironmentStringsA();
  for (const char* entry = current; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
    bool replaced = false;
    for (const char* const* add = additions; *add != nullptr; ++add) {
      size_t length = NameLength(*add);
      if (NameLength(entry) == length && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry, (int)length, *add,
                                                        (int)length) == CSTR_EQUAL)
        replaced = true;
    }
    if (!replaced) block.insert(block.end(), entry, entry + std::strlen(entry) + 1);
  }
  if (current != nullptr) FreeEnvironmentStringsA(current);
  for (const char* const* add = additions; *add != nullptr; ++add)
    block.insert(block.end(), *add, *add + std::strlen(*add) + 1);
  block.push_back('\0');
  if (block.size() == 1) block.push_back('\0');
  return block;
}

PlatformProcess PlatformProcessStart(const char* program, const char* const* arguments,
                                     const char* const* environment) {
  if (program == nullptr || arguments == nullptr || arguments[0] == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string commandLine;
  for (const char* const* argument = arguments; *argument != nullptr; ++argument)
    AppendArgument(&commandLine, *argument);
  std::vector<char> env;
  if (environment != nullptr) env = ChildEnvironment(environment);

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  std::lock_guard<std::mutex> guard(startLock);
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return nullptr;
  if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return nullptr;
  }
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION info{};
  BOOL started = CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                env.empty() ? nullptr : env.data(), nullptr, &startup, &info);
  DWORD error = GetLastError();
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (!started) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    SetLastError(error);
    return nullptr;
  }
  CloseHandle(info.hThread);
  auto* process = new (std::nothrow) PlatformProcessRec;
  if (process == nullptr) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(outRead);
    CloseHandle(errRead);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  process->process = info.hProcess;
  process->outputReader = std::thread(Drain, outRead, &process->output);
  process->errorReader = std::thread(Drain, errRead, &process->errors);
  return process;
}

int PlatformProcessWait(PlatformProcess process, PlatformProcessResult* result) {
  if (process == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  DWORD code = 0;
  int ok = WaitForSingleObject(process->process, INFINITE) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process->process, &code);
  DWORD error = GetLastError();
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  bool haveMemory = GetProcessMemoryInfo(process->process, &counters, sizeof counters);
  process->outputReader.join();
  process->errorReader.join();
  if (result != nullptr) {
    result->exitCode = ok ? static_cast<int>(code) : -1;
    result->output = std::move(process->output);
    result->errors = std::move(process->errors);
    result->peakMemoryBytes = haveMemory ? counters.PeakWorkingSetSize : 0;
  }
  CloseHandle(process->process);
  delete process;
  if (!ok) SetLastError(error);
  return ok;
}
