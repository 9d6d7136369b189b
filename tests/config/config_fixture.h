// Files for the configuration tests: a temporary directory of the test's
// own, and "vorndex.ini" or other profile files in the Windows directory.
#pragma once
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/filelock.h"
#include "platform/sysinfo.h"

namespace vxtest {

// A directory of its own under the system's temporary directory, removed
// with everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("vx-cfg-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Dir() const { return path_.string(); }
  // The file's path in the form the profile reader uses unchanged: joined
  // with a backslash (the POSIX layer turns it into a slash).
  std::string Path(const std::string& name) const { return Dir() + "\\" + name; }
  // Writes the bytes exactly (binary) and returns Path(name).
  std::string Write(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
    return Path(name);
  }

 private:
  std::filesystem::path path_;
};

inline std::string WindowsDirectory() {
  char buffer[1024];
  uint32_t n = PlatformGetWindowsDirectory(buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// Files in the Windows directory for the life of the object. Where the POSIX
// layer lets VORNDEX_WINDIR relocate that directory, it is moved into a
// temporary directory of this process. Where it cannot be moved (Windows),
// it is the system's own directory, shared by every process: a lock file
// then serialises the tests that write there, and a file that was there
// before is put back afterwards. One object per test at a time.
class WindowsDir {
 public:
  WindowsDir() {
    PlatformSetEnvironment("VORNDEX_WINDIR", temp_.Dir().c_str());
    dir_ = WindowsDirectory();
    if (!Relocated()) {
      std::string lockPath = (std::filesystem::temp_directory_path() / "vx-cfg-windir.lock").string();
      lock_ = std::fopen(lockPath.c_str(), "a");
      if (lock_ != nullptr) PlatformFileLock(lock_);
    }
  }
  ~WindowsDir() {
    std::error_code ignored;
    for (auto it = written_.rbegin(); it != written_.rend(); ++it) {
      if (it->hadBefore)
        std::ofstream(it->path, std::ios::binary) << it->before;
      else
        std::filesystem::remove(it->path, ignored);
    }
    if (lock_ != nullptr) {
      PlatformFileUnlock(lock_);
      std::fclose(lock_);
    }
    PlatformSetEnvironment("VORNDEX_WINDIR", nullptr);
  }
  WindowsDir(const WindowsDir&) = delete;
  WindowsDir& operator=(const WindowsDir&) = delete;

  // Writes the bytes exactly (binary); true when the file could be made.
  bool Write(const std::string& name, const std::string& contents) {
    Written entry{std::filesystem::path(dir_) / name, false, {}};
    std::ifstream before(entry.path, std::ios::binary);
    if (before) {
      entry.hadBefore = true;
      entry.before.assign(std::istreambuf_iterator<char>(before), std::istreambuf_iterator<char>());
    }
    before.close();
    std::ofstream out(entry.path, std::ios::binary);
    out << contents;
    out.close();
    bool ok = static_cast<bool>(out);
    written_.push_back(std::move(entry));
    return ok;
  }
  // The Windows directory as the library sees it.
  const std::string& Dir() const { return dir_; }
  // True when the directory was moved into this process's own directory.
  bool Relocated() const { return dir_ == temp_.Dir(); }

 private:
  struct Written {
    std::filesystem::path path;
    bool hadBefore;
    std::string before;
  };
  TempDir temp_;
  std::string dir_;
  std::vector<Written> written_;
  std::FILE* lock_ = nullptr;
};

}  // namespace vxtest
