// AllocHeap/FreeHeap against malloc/free doing the same work, in one run.
// Without arguments each benchmark runs briefly; any Google Benchmark flag
// (e.g. --benchmark_min_time=1s) replaces that default. At the end the ratio
// ours/malloc of every pair is printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "runtime/heap.h"

namespace {

constexpr int kPieces = 50;
// Small pieces as the runtime takes them: records, nodes, short texts.
constexpr uint32_t kPieceSizes[] = {8, 12, 16, 24, 32, 40, 20, 28};

void HeapPair(benchmark::State& state) {
  const auto size = static_cast<uint32_t>(state.range(0));
  Heap heap = CreateHeap(1024);
  for (auto _ : state) {
    void* element = AllocHeap(heap, size);
    benchmark::DoNotOptimize(element);
    FreeHeap(element);
  }
  DestroyHeap(heap);
}

void MallocPair(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* element = std::malloc(size);
    benchmark::DoNotOptimize(element);
    std::free(element);
  }
}

void HeapCreateTakeDestroy(benchmark::State& state) {
  for (auto _ : state) {
    Heap heap = CreateHeap(1024);
    for (int i = 0; i < kPieces; ++i) benchmark::DoNotOptimize(AllocHeap(heap, kPieceSizes[i % 8]));
    DestroyHeap(heap);
  }
}

void MallocTakeFree(benchmark::State& state) {
  void* pieces[kPieces];
  for (auto _ : state) {
    for (int i = 0; i < kPieces; ++i) {
      pieces[i] = std::malloc(kPieceSizes[i % 8]);
      benchmark::DoNotOptimize(pieces[i]);
    }
    for (void* piece : pieces) std::free(piece);
  }
}

BENCHMARK(HeapPair)->RangeMultiplier(2)->Range(16, 256);
BENCHMARK(MallocPair)->RangeMultiplier(2)->Range(16, 256);
BENCHMARK(HeapCreateTakeDestroy);
BENCHMARK(MallocTakeFree);

// Keeps the console output and remembers each run's time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

void PrintRatio(const std::map<std::string, double>& times, const std::string& ours, const std::string& theirs) {
  auto a = times.find(ours);
  auto b = times.find(theirs);
  if (a == times.end() || b == times.end() || b->second <= 0) return;
  std::printf("  %-28s %-24s %6.2f\n", ours.c_str(), theirs.c_str(), a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  std::string brief = "--benchmark_min_time=0.1";
  if (argc == 1) args.push_back(brief.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nRatios of CPU time, ours/malloc (below 1: ours is faster)\n");
  for (int size = 16; size <= 256; size *= 2)
    PrintRatio(reporter.times, "HeapPair/" + std::to_string(size), "MallocPair/" + std::to_string(size));
  PrintRatio(reporter.times, "HeapCreateTakeDestroy", "MallocTakeFree");
  return 0;
}
