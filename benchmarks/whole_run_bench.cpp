// A complete update in-process: the application core pressed "START" against the
// emulated device through the whole-run harness (fake clock, Timer1 ticks, replies
// delivered between steps). Two packages: the harness's standard one (small
// images: the cost of the sequencing itself) and a full-size one (32 KiB bank
// images, 8 KiB boot images, a 256-byte "E" image and two 1 MiB Effect files).
// Reports wall time per update and the Timer1 ticks it took.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/emulated_run.h"
#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"

namespace {

constexpr long kMaxTicks = 10'000'000;

// Replaces the standard package's images and Effect files by full-size ones at
// the same names and addresses.
bool MakeFullSize(TTestPackage& p) {
  p.BridgeBoot = p.WriteImage(p.BridgeBoot.File, 0x4000, SeededBytes(21, 0x2000));
  p.NormalBoot = p.WriteImage(p.NormalBoot.File, 0x4000, SeededBytes(22, 0x2000));
  p.MainBank0 = p.WriteImage(p.MainBank0.File, 0x0000, SeededBytes(23, 0x8000));
  p.KeyboardBank1 = p.WriteImage(p.KeyboardBank1.File, 0x8000, SeededBytes(24, 0x8000));
  p.ScanBank2 = p.WriteImage(p.ScanBank2.File, 0x8000, SeededBytes(25, 0x8000));
  p.HdBank0 = p.WriteImage(p.HdBank0.File, 0x0000, SeededBytes(26, 0x8000));
  p.ExtInE = p.WriteImage(p.ExtInE.File, 0x0000, SeededBytes(27, 0x100));
  TEffectFileShape shape;
  for (const char* file : {"rev1/VI3/opt_in/vi3_8.svf", "rev1/HD/hd_9.svf"}) {
    if (!WriteEffectVectorFile(p.Path(file), 1024 * 1024, 0x5C, shape)) return false;
  }
  return true;
}

bool Holds(const std::vector<uint8_t>& memory, const TPackageImage& image, size_t base) {
  const size_t offset = image.Address - base;
  return offset + image.Data.size() <= memory.size() &&
         std::equal(image.Data.begin(), image.Data.end(),
                    memory.begin() + static_cast<long>(offset));
}

// What a successful update leaves: no error box, the completion logged, and the
// banks and the "E" memory holding the package's images.
std::string CheckRun(TEmulatedRun& run, long ticks) {
  if (ticks < 0) return "the update did not end; last log lines:\n" + run.h.LastLogLines();
  if (!run.h.view.Errors.empty()) return "error box: " + run.h.view.Errors.front();
  const std::vector<std::string>& log = run.h.Log();
  if (std::find(log.begin(), log.end(), "Program operation completed") == log.end()) {
    return "no completion in the log";
  }
  const TTestPackage& p = run.package;
  const TEmulatedDevice& d = run.device;
  if (!Holds(d.BankMemory(TEmulatedDevice::kMainCardSlot, 0), p.MainBank0, 0) ||
      !Holds(d.BankMemory(0, 1), p.KeyboardBank1, 0x8000) ||
      !Holds(d.BankMemory(1, 2), p.ScanBank2, 0x8000) || !Holds(d.BankMemory(3, 0), p.HdBank0, 0) ||
      !Holds(d.EMemory(5), p.ExtInE, 0)) {
    return "a memory does not hold its image";
  }
  return "";
}

// Presses START and ticks until the sequencer is idle again, plus the idle tick
// that closes the run; the package check before the run (a slice per tick for the
// full-size package's Effect files) is part of it. Returns the ticks, or -1 past
// kMaxTicks.
long RunUpdate(TEmulatedRun& run) {
  run.core().StartClick();
  long ticks = 0;
  while (run.core().CheckRunning() || run.core().SeqState() != TSeqState::SEQ_IDLE) {
    if (ticks >= kMaxTicks) return -1;
    run.h.Tick();
    ++ticks;
  }
  run.h.Tick();
  return ticks + 1;
}

void BM_WholeUpdate(benchmark::State& state) {
  const bool full_size = state.range(0) != 0;
  long ticks = 0;
  double simulated_s = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto run = std::make_unique<TEmulatedRun>();
    run->package.WriteStandard("rev1");
    const bool written = !full_size || MakeFullSize(run->package);
    const uint32_t start_ms = run->h.clock.TickCount();
    state.ResumeTiming();

    ticks = written ? RunUpdate(*run) : -1;

    state.PauseTiming();
    simulated_s = (run->h.clock.TickCount() - start_ms) / 1000.0;
    const std::string failure = written ? CheckRun(*run, ticks) : "cannot write the package";
    run.reset();
    state.ResumeTiming();
    if (!failure.empty()) {
      FailBenchmark(state, failure);
      return;
    }
  }
  state.counters["ticks"] = static_cast<double>(ticks);
  state.counters["simulated_s"] = simulated_s;
}
BENCHMARK(BM_WholeUpdate)->Arg(0)->Arg(1)->ArgName("full_size")->Unit(benchmark::kMillisecond);

}  // namespace
