// The tool's whole run on a large services file (scan to the end, no match,
// append) beside `wc -l` and `grep -c` on the same file in the same run,
// with the tool's peak memory on a small and on the large file.
//
//   services_bench [LINES]     (default 1000000, about 40 MB)
//
// Each program runs several times; the fastest run counts. Not a test:
// nothing here asserts a time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/process.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 5;

struct Timing {
  double bestMs = 1e300;
  uint64_t peakBytes = 0;
  bool failed = false;
};

Timing Measure(const std::string& program, const std::vector<std::vector<std::string>>& runs,
               const char* const* environment, bool zeroExitOnly) {
  Timing timing;
  for (const auto& arguments : runs) {
    std::vector<const char*> argv{program.c_str()};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    PlatformProcess process = PlatformProcessStart(program.c_str(), argv.data(), environment);
    PlatformProcessResult result{-1, "", "", 0};
    if (process == nullptr || !PlatformProcessWait(process, &result) || (zeroExitOnly && result.exitCode != 0)) {
      std::fprintf(stderr, "%s failed (exit %d): %s\n", program.c_str(), result.exitCode, result.errors.c_str());
      timing.failed = true;
      return timing;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    timing.bestMs = std::min(timing.bestMs, ms);
    timing.peakBytes = std::max(timing.peakBytes, result.peakMemoryBytes);
  }
  return timing;
}

bool Generate(const std::string& path, long lines) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fputs("# generated services file\n#\n", file);
  for (long i = 0; i < lines - 2; ++i)
    std::fprintf(file, "svc%07ld      %5ld/%s  # generated %ld\n", i, 1024 + i % 60000, i % 2 ? "tcp" : "udp",
                 i % 1000);
  return std::fclose(file) == 0;
}

// The tool's runs: each with a name of its own, so that every run scans the
// whole file, finds no match and appends.
std::vector<std::vector<std::string>> ToolRuns(const char* tag) {
  std::vector<std::vector<std::string>> runs;
  for (int i = 0; i < kRounds; ++i)
    runs.push_back({"-service", "-name", std::string("bench-") + tag + std::to_string(i), "-port", "4000", "-protocol",
                    "tcp", "-comment", "benchmark"});
  return runs;
}

}  // namespace

int main(int argc, char** argv) {
  long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  if (lines < 10) lines = 10;
  std::random_device random;
  fs::path dir = fs::temp_directory_path() / ("vx-services-bench-" + std::to_string(random()));
  fs::path smallDir = dir / "small";
  fs::create_directories(smallDir);
  std::string big = (dir / "services").string(), small = (smallDir / "services").string();
  if (!Generate(big, lines) || !Generate(small, 1000)) {
    std::fprintf(stderr, "cannot write the services files in %s\n", dir.string().c_str());
    return 1;
  }
  std::string bigVariable = "VORNDEX_WINDIR=" + dir.string(), smallVariable = "VORNDEX_WINDIR=" + smallDir.string();
  const char* bigEnvironment[] = {bigVariable.c_str(), nullptr};
  const char* smallEnvironment[] = {smallVariable.c_str(), nullptr};

  Timing smallTool = Measure(VX_TOOL_PATH, ToolRuns("small"), smallEnvironment, true);
  Timing tool = Measure(VX_TOOL_PATH, ToolRuns("big"), bigEnvironment, true);
  Timing wc = Measure("wc", std::vector<std::vector<std::string>>(kRounds, {"-l", big}), nullptr, true);
  // No line holds the pattern: grep reads everything and exits 1.
  Timing grep = Measure("grep", std::vector<std::vector<std::string>>(kRounds, {"-c", "bench-nowhere", big}), nullptr,
                        false);
  std::error_code error;
  uintmax_t bytes = fs::file_size(big, error);
  fs::remove_all(dir, error);
  if (smallTool.failed || tool.failed || wc.failed || grep.failed) return 1;

  std::printf("services file: %ld lines, %.1f MB\n", lines, static_cast<double>(bytes) / 1e6);
  std::printf("register-service  %8.1f ms   (scan, no match, append)\n", tool.bestMs);
  std::printf("wc -l             %8.1f ms   tool / wc -l   = %.2f\n", wc.bestMs, tool.bestMs / wc.bestMs);
  std::printf("grep -c           %8.1f ms   tool / grep -c = %.2f\n", grep.bestMs, tool.bestMs / grep.bestMs);
  std::printf("peak memory of the tool: %.1f MB on this file, %.1f MB on 1000 lines\n",
              static_cast<double>(tool.peakBytes) / 1e6, static_cast<double>(smallTool.peakBytes) / 1e6);
  return 0;
}
