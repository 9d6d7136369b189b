#include "tests/tool/support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/env.h"
#include "platform/file.h"
#include "platform/filelock.h"
#include "tool/options.h"

namespace fs = std::filesystem;

static void RemoveFile(std::string path);

bool ReadBytes(const std::string& path, std::string* bytes) {
  FILE* file = PlatformFileOpen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* file = PlatformFileOpen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

bool FileExists(const std::string& path) {
  FILE* file = PlatformFileOpen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

const std::string& HostLineEnd() {
  static const std::string lineEnd = [] {
    TempDir dir;
    std::string probe = dir.File("line-end");
    FILE* file = PlatformFileOpen(probe.c_str(), "w");
    if (file == nullptr) return std::string("\n");
    std::fputs("\n", file);
    std::fclose(file);
    std::string bytes;
    ReadBytes(probe, &bytes);
    return bytes.empty() ? std::string("\n") : bytes;
  }();
  return lineEnd;
}

std::string OnDisk(const std::string& text) {
  if (HostLineEnd() == "\n") return text;
  std::string disk;
  for (char c : text) {
    if (c == '\n')
      disk += HostLineEnd();
    else
      disk += c;
  }
  return disk;
}

TempDir::TempDir() {
  std::random_device random;
  std::error_code error;
  for (;;) {
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, "vx-tool-%08x", static_cast<unsigned>(random()));
    fs::path candidate = fs::temp_directory_path() / leaf;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string TempDir::File(const char* name) const { return (fs::path(path_) / name).string(); }

// The location LocateServicesFile gives with VORNDEX_WINDIR set to
// `directory` (unset for null); the variable is put back as it was.
static std::string LocatedWith(const char* directory) {
  const char* before = std::getenv("VORNDEX_WINDIR");
  std::string saved = before != nullptr ? before : "";
  PlatformSetEnvironment("VORNDEX_WINDIR", directory);
  OptionsReset();
  std::string path = LocateServicesFile() ? servicesPath : "";
  PlatformSetEnvironment("VORNDEX_WINDIR", before != nullptr ? saved.c_str() : nullptr);
  OptionsReset();
  return path;
}

std::string SystemServicesPath() { return LocatedWith(nullptr); }

ServicesSandbox::ServicesSandbox() {
  path_ = LocatedWith(dir_.Path().c_str());
  variable_ = "VORNDEX_WINDIR=" + dir_.Path();
  environment_[0] = variable_.c_str();
  environment_[1] = nullptr;
  relocated_ = path_.compare(0, dir_.Path().size(), dir_.Path()) == 0;
  if (relocated_ || path_.empty()) return;
  turn_ = PlatformFileOpen((path_ + ".vx-test-lock").c_str(), "a");
  if (turn_ != nullptr && !PlatformFileLock(turn_)) {
    std::fclose(turn_);
    turn_ = nullptr;
  }
  // The system's own file: a copy saved by a run that died is put back
  // first, then the contents are saved for the destructor.
  std::string keep = path_ + ".vx-test-saved";
  std::string earlier;
  if (ReadBytes(keep, &earlier)) WriteBytes(path_, earlier);
  hadOriginal_ = ReadBytes(path_, &original_);
  if (hadOriginal_) WriteBytes(keep, original_);
  saved_ = true;
}

ServicesSandbox::~ServicesSandbox() {
  if (!saved_) return;
  if (hadOriginal_)
    WriteBytes(path_, original_);
  else
    RemoveFile(path_);
  RemoveFile(path_ + ".vx-test-saved");
  if (turn_ != nullptr) {
    PlatformFileUnlock(turn_);
    std::fclose(turn_);
  }
}

// A path both hosts' remove() accept: Windows takes slashes as well, and the
// POSIX layer turns backslashes into slashes anyway.
static void RemoveFile(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  std::remove(path.c_str());
}

void ServicesSandbox::Fill(const char* text) {
  if (text == nullptr)
    RemoveFile(path_);
  else
    WriteBytes(path_, OnDisk(text));
}

std::string ServicesSandbox::Bytes() const {
  std::string bytes;
  if (!ReadBytes(path_, &bytes)) return "<no file>";
  return bytes;
}

static PlatformProcess Start(const std::string& program, const std::vector<std::string>& arguments,
                             const char* const* environment) {
  std::vector<const char*> argv;
  argv.push_back(program.c_str());
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  return PlatformProcessStart(program.c_str(), argv.data(), environment);
}

static PlatformProcessResult Finish(PlatformProcess process) {
  PlatformProcessResult result{-1, "", "", 0};
  if (process == nullptr) {
    result.errors = "could not be started";
    return result;
  }
  if (!PlatformProcessWait(process, &result)) result.exitCode = -1;
  return result;
}

PlatformProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                 const char* const* environment) {
  return Finish(Start(program, arguments, environment));
}

std::vector<PlatformProcessResult> RunTogether(const std::string& program,
                                               const std::vector<std::vector<std::string>>& argumentLists,
                                               const char* const* environment,
                                               const std::function<void()>& started) {
  std::vector<PlatformProcess> running;
  for (const auto& arguments : argumentLists) running.push_back(Start(program, arguments, environment));
  if (started) started();
  std::vector<PlatformProcessResult> results;
  for (PlatformProcess process : running) results.push_back(Finish(process));
  return results;
}

namespace {

struct Column {
  std::vector<std::pair<int32_t, int32_t>> slots;  // position, count; the preset first
  explicit Column(int32_t preset) { slots.push_back({preset, 0}); }
  void Count(int32_t position) {
    for (auto& slot : slots)
      if (slot.first == position) {
        ++slot.second;
        return;
      }
    if (slots.size() < 10) slots.push_back({position, 1});
  }
  int32_t Best() const {
    auto best = slots[0];
    for (const auto& slot : slots)
      if (slot.second > best.second) best = slot;
    return best.first;
  }
};

bool Blank(char c) { return std::strchr(" \t\n\v\f\r", c) != nullptr && c != '\0'; }

}  // namespace

DominantColumns ColumnsOf(const std::string& text) {
  Column name(0), slash(21), comment(52);
  size_t at = 0;
  while (at < text.size()) {
    size_t newline = text.find('\n', at);
    size_t end = newline == std::string::npos ? text.size() : newline + 1;
    if (end - at > 1023) end = at + 1023;
    std::string piece = text.substr(at, end - at);
    at = end;
    size_t first = 0;
    while (first < piece.size() && Blank(piece[first])) ++first;
    if (first == piece.size() || piece[first] == '#') continue;
    name.Count(static_cast<int32_t>(first));
    size_t s = piece.find('/', first);
    if (s == std::string::npos) continue;
    slash.Count(static_cast<int32_t>(s));
    size_t h = piece.find('#', s);
    if (h != std::string::npos) comment.Count(static_cast<int32_t>(h));
  }
  return {name.Best(), slash.Best(), comment.Best()};
}

std::string EntryLine(const DominantColumns& columns, const std::string& name, int32_t port,
                      const std::string& protocol, const std::string& comment) {
  std::string line;
  auto pad = [&line](int64_t column) {
    int64_t length = static_cast<int64_t>(line.size());
    if (length < column)
      line.append(static_cast<size_t>(column - length), ' ');
    else if (length > column || length > 0)
      line += ' ';
  };
  pad(columns.name);
  line += name;
  std::string portText = std::to_string(port);
  pad(columns.slash - static_cast<int64_t>(portText.size()));
  line += portText + "/" + protocol;
  if (!comment.empty()) {
    pad(columns.comment);
    line += "#" + comment;
  }
  return line + "\n";
}
