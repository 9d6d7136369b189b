// The translation-file loader on arbitrary file contents, then both
// directions of translation over the input itself into buffers of exactly
// their size. The table lives on the heap in a block of exactly its size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/translation.h"
#include "runtime/strings.h"

namespace {

// The input file of this process, removed again when the process ends.
struct FuzzPath {
  std::string path;
  FuzzPath() {
    std::random_device random;
    path = (std::filesystem::temp_directory_path() / ("vx-translation-fuzz-" + std::to_string(random()) + ".tbl")).string();
  }
  ~FuzzPath() { std::remove(path.c_str()); }
};

const std::string& FuzzFile() {
  static const FuzzPath file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 20000) return 0;
  std::FILE* file = std::fopen(FuzzFile().c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  auto table = std::make_unique<TranslationTable>();
  std::memset(table->name, 'n', sizeof table->name);
  if (!TranslationReadFile(FuzzFile().c_str(), table.get())) std::abort();
  for (char c : table->name)
    if (c != 'n') std::abort();
  // Without any slash the incoming map is derived: the highest byte with a
  // given outgoing entry comes back from it.
  if (std::memchr(data, '/', size) == nullptr)
    for (int i = 0; i < 256; ++i)
      if (table->incoming[table->outgoing[i]] < i) std::abort();

  if (size == 0) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  const int32_t length = static_cast<int32_t>(size);
  std::vector<char> out(size);
  if (TranslateOut(table.get(), text, length, out.data(), length) != length) std::abort();
  std::vector<char> back(size + 1);
  int32_t n = TranslateIn(table.get(), out.data(), length, back.data(), length + 1);
  if (n < 0 || n > length) std::abort();
  for (int32_t i = 0; i < n; ++i)
    if (static_cast<uint8_t>(back[static_cast<size_t>(i)]) != TranslateByteIn(table.get(), static_cast<uint8_t>(out[static_cast<size_t>(i)])))
      std::abort();
  return 0;
}
