// The package check before a run: the whole sample package, and the sample package
// with one Effect file replaced by a generated one of 50 MiB. The check runs in
// slices of TPackageCheck::kSliceLines lines, one per timer tick of the window;
// besides the total time, the longest slice tells how long the window's thread is
// held at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "app/package_check.h"
#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "testing/temp_dir.h"
#include "tools/sample_package.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

// The sample package in a temporary folder; with `effect_mib` > 0 the HD card's
// first Effect file of revision 1 is replaced by generated vectors of that size.
class TBenchPackage {
 public:
  explicit TBenchPackage(size_t effect_mib) {
    for (const TPackageFile& file : BuildSamplePackage()) dir_.Write(file.Path, file.Bytes);
    if (effect_mib > 0) {
      TEffectFileShape shape;
      ok_ = WriteEffectVectorFile(dir_.Dir() + "rev1/HD/HD_PROM1.svf", effect_mib * kMiB, 0xC4EC,
                                  shape);
      lines_ = shape.Lines;
    }
  }
  std::string Script() const { return dir_.Dir() + "script.ini"; }
  bool Ok() const { return ok_; }
  size_t EffectLines() const { return lines_; }

 private:
  TTempDir dir_;
  bool ok_ = true;
  size_t lines_ = 0;
};

void RunCheck(benchmark::State& state, const TBenchPackage& package) {
  if (!package.Ok()) return FailBenchmark(state, "cannot write the package");
  double longest_ms = 0;
  int64_t slices = 0;
  uint64_t bytes = 0;
  for (auto _ : state) {
    TPackageCheck check(package.Script());
    bool done = false;
    while (!done) {
      const auto start = std::chrono::steady_clock::now();
      done = check.Advance(TPackageCheck::kSliceLines);
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - start;
      longest_ms = std::max(longest_ms, took.count());
      ++slices;
    }
    if (!check.CanRun()) {
      return FailBenchmark(
          state, "the package did not pass: " + (check.Findings().empty()
                                                     ? std::string("?")
                                                     : FormatFinding(check.Findings().front())));
    }
    bytes = check.WorkTotal();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
  state.counters["slices"] = static_cast<double>(slices) / static_cast<double>(state.iterations());
  state.counters["longest_slice_ms"] = longest_ms;
}

void BM_PackageCheck_Sample(benchmark::State& state) {
  static const TBenchPackage package(0);
  RunCheck(state, package);
}
BENCHMARK(BM_PackageCheck_Sample)->Unit(benchmark::kMillisecond);

void BM_PackageCheck_LargeEffect(benchmark::State& state) {
  static const TBenchPackage package(50);
  RunCheck(state, package);
  state.counters["effect_lines"] = static_cast<double>(package.EffectLines());
}
BENCHMARK(BM_PackageCheck_LargeEffect)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
