// A bank flash operation ("P1" + file) of a 32 KiB image through the bank flash
// engine and the emulated device: erase, 2048 record lines each acknowledged, then
// the verify record with the bank checksum. Reports the time per operation and the
// engine steps it took; the bank must afterwards hold the image.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "benchmarks/bench_rig.h"
#include "engines/prog_psd.h"
#include "testing/temp_dir.h"

namespace {

constexpr size_t kBankBytes = 0x8000;

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

void BM_BankFlash(benchmark::State& state) {
  const std::vector<uint8_t> image = SeededBytes(0xB4A1, kBankBytes);
  const std::vector<std::string> lines = HexImageLines(0x8000, image);
  TTempDir dir;
  dir.Write("bank1.hex", JoinCrLf(lines));
  long steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto rig = std::make_unique<TBenchRig<TProgPsd>>();
    rig->engine.CurentDir = dir.Dir();
    const bool awake = rig->EnterUpdater();
    state.ResumeTiming();

    steps = rig->Run("P1 bank1.hex", 20 * static_cast<long>(lines.size()));

    state.PauseTiming();
    std::string failure;
    if (!awake)
      failure = "the device did not enter its boot loader";
    else if (steps < 0)
      failure = "the operation did not end";
    else if (!rig->engine.ErrorText.empty())
      failure = "engine error: " + rig->engine.ErrorText;
    else if (rig->Device().BankMemory(TEmulatedDevice::kMainCardSlot, 1) != image) {
      failure = "bank 1 does not hold the image";
    }
    rig.reset();
    state.ResumeTiming();
    if (!failure.empty()) {
      FailBenchmark(state, failure);
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBankBytes));
  state.counters["steps"] = static_cast<double>(steps);
  state.counters["records"] = static_cast<double>(lines.size());
}
BENCHMARK(BM_BankFlash)->Unit(benchmark::kMillisecond);

}  // namespace
