// Child processes with captured output, for tests and benchmarks that run
// the built programs.
//
// Windows: CreateProcessA with the arguments quoted as the C runtime splits
// them again, anonymous pipes for the standard output and error, and the
// NUL device as standard input.
// POSIX: posix_spawnp (the program is looked for on PATH when its name has
// no slash), pipes, and /dev/null as standard input.
#pragma once
#include <cstdint>
#include <string>

struct PlatformProcessRec;
using PlatformProcess = PlatformProcessRec*;

struct PlatformProcessResult {
  int exitCode;             // the exit status; on POSIX 128 + signal number for a killed child
  std::string output;       // everything the child wrote to its standard output
  std::string errors;       // and to its standard error
  uint64_t peakMemoryBytes; // the child's peak resident (working) set; 0 when unknown
};

// Starts `program` with `arguments` (the whole argument vector, arguments[0]
// being the name the child sees as its own; ended by a null pointer). The
// child's environment is this process's, with each "NAME=VALUE" of
// `environment` (null-terminated list, may be null) added or replacing an
// entry of that name. Both output streams are drained from the start, so a
// child never blocks on a full pipe. Null when the program cannot be started
// (the thread's last error set).
PlatformProcess PlatformProcessStart(const char* program, const char* const* arguments,
                                     const char* const* environment);

// Waits for the child to end, fills `result` and releases the process.
// 1 on success, 0 when the wait failed (the process is released all the
// same).
int PlatformProcessWait(PlatformProcess process, PlatformProcessResult* result);
