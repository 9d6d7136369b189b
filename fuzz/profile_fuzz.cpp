// The profile reader on arbitrary file contents. The first byte picks the
// output size; the rest is written to a file of this process, whose sections
// are listed, each section's keys listed and each key read. Every output
// lies in a buffer of exactly its size, so ASan sees any write past it; the
// results are checked against what the reader promises.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "config/profile.h"

namespace {

// The input file of this process, removed again when the process ends.
struct FuzzPath {
  std::string path;
  FuzzPath() {
    std::random_device random;
    path = (std::filesystem::temp_directory_path() / ("vx-profile-fuzz-" + std::to_string(random()) + ".ini")).string();
  }
  ~FuzzPath() { std::remove(path.c_str()); }
};

const std::string& FuzzFile() {
  static const FuzzPath file;
  return file.path;
}

// Names of a list, as the reader wrote them into `out`.
std::vector<std::string> Names(const std::vector<char>& out, int32_t count) {
  std::vector<std::string> names;
  if (count == 0) return names;
  size_t position = 0;
  while (position <= static_cast<size_t>(count)) {
    names.emplace_back(out.data() + position);
    position += names.back().size() + 1;
  }
  return names;
}

void CheckList(const std::vector<char>& out, int32_t count) {
  int32_t size = static_cast<int32_t>(out.size());
  if (count < 0 || count >= size) std::abort();
  // The last name ends at `count`, and a closing NUL follows within the size.
  if (out[static_cast<size_t>(count)] != '\0') std::abort();
  if (count > 0 && (count + 1 >= size || out[static_cast<size_t>(count) + 1] != '\0')) std::abort();
}

void CheckValue(const std::vector<char>& out, int32_t length) {
  const void* nul = std::memchr(out.data(), '\0', out.size());
  if (nul == nullptr) std::abort();
  size_t n = static_cast<size_t>(static_cast<const char*>(nul) - out.data());
  if (length < 0 || static_cast<size_t>(length) != n) std::abort();
  if (n > 0 && std::isspace(static_cast<unsigned char>(out[n - 1]))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 20000) return 0;
  static const int32_t sizes[] = {1, 2, 3, 5, 8, 16, 64, 255, 1024};
  const int32_t outSize = sizes[data[0] % (sizeof sizes / sizeof sizes[0])];
  std::FILE* file = std::fopen(FuzzFile().c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);
  // A backslash makes the reader take the path as it is.
  const std::string name = (std::filesystem::path(FuzzFile()).parent_path().string() + "\\") +
                           std::filesystem::path(FuzzFile()).filename().string();

  std::vector<char> all(8192);
  int32_t sectionCount = ProfileGetString("", "", "", all.data(), static_cast<int32_t>(all.size()), name.c_str());
  CheckList(all, sectionCount);
  std::vector<char> small(static_cast<size_t>(outSize));
  CheckList(small, ProfileGetString("", "", "", small.data(), outSize, name.c_str()));

  int budget = 64;
  for (const std::string& section : Names(all, sectionCount)) {
    // A name of blanks only asks for the section list; it is no section name.
    if (section.find_first_not_of(' ') == std::string::npos || --budget < 0) continue;
    std::vector<char> keys(8192);
    int32_t keyCount = ProfileGetString(section.c_str(), "", "", keys.data(), static_cast<int32_t>(keys.size()),
                                        name.c_str());
    CheckList(keys, keyCount);
    CheckList(small, ProfileGetString(section.c_str(), "", "", small.data(), outSize, name.c_str()));
    for (const std::string& key : Names(keys, keyCount)) {
      if (key.empty() || --budget < 0) continue;
      int32_t length = ProfileGetString(section.c_str(), key.c_str(), "", small.data(), outSize, name.c_str());
      CheckValue(small, length);
      if (length > outSize - 1) std::abort();
    }
  }
  return 0;
}
