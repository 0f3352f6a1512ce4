// A whole "P8" playback of a generated multi-megabyte Effect file: the JTAG engine
// reads the file line by line and plays it into the emulated device's chain 8,
// every raw block and captured-data check included. Reports the time per MiB and
// the peak memory the playback added, which must not grow with the file: the
// engine streams the file and never holds more than the current line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "benchmarks/bench_rig.h"
#include "benchmarks/memory_figures.h"
#include "engines/prog_jtag.h"
#include "testing/temp_dir.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

// Effect files generated once per size, removed when the binary ends.
class TEffectFiles {
 public:
  // The file of at least `mib` MiB; empty name when it could not be written.
  const std::string& Name(size_t mib, TEffectFileShape& shape) {
    auto it = files_.find(mib);
    if (it == files_.end()) {
      TEntry entry;
      entry.name = "vectors_" + std::to_string(mib) + "mib.svf";
      if (!WriteEffectVectorFile(dir_.Dir() + entry.name, mib * kMiB, 0xC0FFEE + mib,
                                 entry.shape)) {
        entry.name.clear();
      }
      it = files_.emplace(mib, entry).first;
    }
    shape = it->second.shape;
    return it->second.name;
  }
  std::string Dir() const { return dir_.Dir(); }

 private:
  struct TEntry {
    std::string name;
    TEffectFileShape shape;
  };
  TTempDir dir_;
  std::map<size_t, TEntry> files_;
};

TEffectFiles& Files() {
  static TEffectFiles files;
  return files;
}

// The register the file leaves behind: every block ends by shifting zeros in.
bool UserRegisterCleared(const TEmulatedDevice& device) {
  const std::vector<bool>& reg = device.Chain(TEmulatedDevice::kMainCardSlot, '8').UserRegister(0);
  return std::none_of(reg.begin(), reg.end(), [](bool bit) { return bit; });
}

// Why the playback did not do what the file asks, or "" when it did.
std::string PlaybackFailure(const TBenchRig<TProgJtag>& rig, bool awake, long run,
                            const TEffectFileShape& shape) {
  if (!awake) return "the device did not enter its boot loader";
  if (run < 0) return "the playback did not end";
  if (!rig.engine.ErrorText.empty()) return "engine error: " + rig.engine.ErrorText;
  if (rig.Progress() != static_cast<long>(shape.Statements)) {
    return "completed " + std::to_string(rig.Progress()) + " statements of " +
           std::to_string(shape.Statements);
  }
  if (!UserRegisterCleared(rig.Device())) {
    return "the user register does not hold the file's last value";
  }
  return "";
}

// Rates per statement and per MiB, steps per statement and the memory figures.
void ReportPlayback(benchmark::State& state, const TEffectFileShape& shape, long steps,
                    long peak_growth_kib, long rss_growth_kib) {
  const double iterations = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(shape.Bytes) * state.iterations());
  state.counters["statements/s"] = benchmark::Counter(
      static_cast<double>(shape.Statements) * iterations, benchmark::Counter::kIsRate);
  state.counters["s_per_MiB"] =
      benchmark::Counter(static_cast<double>(shape.Bytes) / kMiB * iterations,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["file_MiB"] = static_cast<double>(shape.Bytes) / kMiB;
  state.counters["steps_per_stmt"] =
      static_cast<double>(steps) / static_cast<double>(std::max<size_t>(shape.Statements, 1));
  state.counters["peak_growth_KiB"] = static_cast<double>(peak_growth_kib);
  state.counters["rss_growth_KiB"] = static_cast<double>(rss_growth_kib);
}

void BM_JtagPlayback(benchmark::State& state) {
  const size_t mib = static_cast<size_t>(state.range(0));
  TEffectFileShape shape;
  const std::string name = Files().Name(mib, shape);
  if (name.empty()) {
    FailBenchmark(state, "cannot write the Effect file");
    return;
  }
  long steps = 0;
  long peak_growth_kib = 0;
  long rss_growth_kib = 0;
  bool peak_known = true;
  for (auto _ : state) {
    state.PauseTiming();
    auto rig = std::make_unique<TBenchRig<TProgJtag>>();
    rig->engine.CurentDir = Files().Dir();
    const bool awake = rig->EnterUpdater();
    peak_known = ResetPeakMemory() && peak_known;
    const TMemFigures before = ReadMemFigures();
    state.ResumeTiming();

    const long run = rig->Run("P8 " + name, 100 * static_cast<long>(shape.Lines) + 1000);

    state.PauseTiming();
    const TMemFigures after = ReadMemFigures();
    peak_growth_kib = std::max(peak_growth_kib, after.HwmKiB - before.RssKiB);
    rss_growth_kib = std::max(rss_growth_kib, after.RssKiB - before.RssKiB);
    steps = run;
    const std::string failure = PlaybackFailure(*rig, awake, run, shape);
    rig.reset();
    state.ResumeTiming();
    if (!failure.empty()) {
      FailBenchmark(state, failure);
      return;
    }
  }
  ReportPlayback(state, shape, steps, peak_known ? peak_growth_kib : -1, rss_growth_kib);
}
BENCHMARK(BM_JtagPlayback)->Arg(1)->Arg(4)->Arg(16)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
