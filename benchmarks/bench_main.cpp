// The benchmark binary's entry: Google Benchmark's usual flags, plus an exit code
// that says whether every benchmark's own success checks held.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "benchmarks/bench_check.h"

namespace {
bool g_failed = false;  // set by FailBenchmark; benchmarks run on the main thread
}  // namespace

void FailBenchmark(benchmark::State& state, const std::string& why) {
  g_failed = true;
  state.SkipWithError(why.c_str());
}

bool AnyBenchmarkFailed() { return g_failed; }

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (AnyBenchmarkFailed()) {
    std::fprintf(stderr, "qelt_benchmarks: at least one benchmark failed its checks\n");
    return 1;
  }
  return 0;
}
