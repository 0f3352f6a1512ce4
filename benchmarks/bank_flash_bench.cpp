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
#include "engines/testing/test_owner.h"
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

// One Step of an engine that waits while the receive accumulator holds text it does
// not recognise (a device sending garbage): the owner hands the whole accumulator
// to the engine on every PullInput, so a Step costs in proportion to what waits.
void BM_WaitingStepWithPendingInput(benchmark::State& state) {
  TTempDir dir;
  dir.Write("bank1.hex", JoinCrLf(HexImageLines(0x8000, SeededBytes(1, 64))));
  TProgPsd engine;
  TTestOwner owner;
  owner.Attach(engine);
  engine.UpdateAllowed = true;
  engine.CurentDir = dir.Dir();
  engine.Instruction = "P1 bank1.hex";
  engine.Step();  // accepted
  engine.Step();  // file loaded, "P1" sent: now waiting for the erase to start
  owner.RxBuffer.assign(static_cast<size_t>(state.range(0)), 'Z');
  for (auto _ : state) engine.Step();
  if (engine.State() != TProgPsd::TPsdState::PSD_ERASE_ACK ||
      owner.RxBuffer.size() != static_cast<size_t>(state.range(0))) {
    FailBenchmark(state, "the engine did not keep waiting with the text untouched");
    return;
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WaitingStepWithPendingInput)->Arg(16)->Arg(4096)->Arg(1 << 20)->ArgName("pending");

}  // namespace
