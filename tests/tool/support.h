// Helpers of the tool's tests: files as bytes, the host's text line end,
// sandboxes for the services file, and runs of the built programs.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"

// The whole file, or false when it cannot be opened or read.
bool ReadBytes(const std::string& path, std::string* bytes);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// What a "\n" written in text mode becomes on disk on this host, and a text
// with every "\n" turned into that.
const std::string& HostLineEnd();
std::string OnDisk(const std::string& text);

// A fresh, empty directory of its own under the temporary directory; gone
// with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const char* name) const;

 private:
  std::string path_;
};

// The services file that the tool run with Environment() will update. Where
// the host lets VORNDEX_WINDIR move the Windows directory, that is a file
// in a directory of its own; elsewhere it is the system's own services file,
// whose contents are saved first and put back when the sandbox goes (and put
// back by the next sandbox should a run die before that). Such sandboxes are
// taken one at a time by every process on the machine (test runs of other
// build directories share the system's file): a file lock beside the file
// is held for the sandbox's lifetime.
class ServicesSandbox {
 public:
  ServicesSandbox();
  ~ServicesSandbox();
  ServicesSandbox(const ServicesSandbox&) = delete;
  ServicesSandbox& operator=(const ServicesSandbox&) = delete;

  // The path as the tool composes it (for PlatformFileOpen and friends).
  const std::string& Path() const { return path_; }
  // True when the file lies in the sandbox's own directory.
  bool Relocated() const { return relocated_; }
  // The sandbox directory (where VORNDEX_WINDIR points).
  const std::string& Directory() const { return dir_.Path(); }
  // "VORNDEX_WINDIR=<directory>", ended by a null pointer.
  const char* const* Environment() const { return environment_; }

  // Puts `text` (with "\n" line ends, written as the host writes text) into
  // the file; with null, removes the file.
  void Fill(const char* text);
  std::string Bytes() const;

 private:
  TempDir dir_;
  std::string path_;
  std::string variable_;
  const char* environment_[2];
  FILE* turn_ = nullptr;  // holds the lock on the system file's turn
  bool relocated_ = false;
  bool saved_ = false;
  bool hadOriginal_ = false;
  std::string original_;
};

// The services file the system itself uses (the location with no
// relocation variable set).
std::string SystemServicesPath();

// Runs `program` with `arguments` (not counting its own name) and the given
// environment additions (may be null); the result of the run, exit code -1
// when it could not be started.
PlatformProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                 const char* const* environment = nullptr);

// Several runs started together: all are started, then `started` is called
// (may be empty), then they are waited for.
std::vector<PlatformProcessResult> RunTogether(const std::string& program,
                                               const std::vector<std::vector<std::string>>& argumentLists,
                                               const char* const* environment = nullptr,
                                               const std::function<void()>& started = {});

// The columns a services file's lines use most often, worked out here from
// the text (lines split at "\n", each read in pieces of at most 1023
// characters): name, "/" and "#" columns.
struct DominantColumns {
  int32_t name;
  int32_t slash;
  int32_t comment;
};
DominantColumns ColumnsOf(const std::string& text);

// The entry line the tool appends for the given values and columns, "\n"
// included.
std::string EntryLine(const DominantColumns& columns, const std::string& name, int32_t port,
                      const std::string& protocol, const std::string& comment);
