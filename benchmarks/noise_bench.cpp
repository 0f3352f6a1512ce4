// What a device that sends what nobody awaits costs the engines: one Step over a
// run of dots before the boot loader's identification reply, and a long stream of
// bytes into engines that wait for replies (each operation offered again as soon
// as it ends). Time per Step or per MiB, the longest buffers seen after a Step
// that pulled input, and the peak memory the stream added.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "benchmarks/memory_figures.h"
#include "engines/prog_boot.h"
#include "engines/prog_psd.h"
#include "engines/testing/test_owner.h"
#include "testing/temp_dir.h"

namespace {

constexpr size_t kMiB = 1 << 20;
constexpr size_t kStreamBytes = 64 * kMiB;
const char kReply[] = "6A5C01A7.";

// A boot-loader engine waiting for its identification reply.
struct TBootAtIdentification {
  TBootAtIdentification() {
    owner.Attach(engine);
    engine.Instruction = "SYN";
    engine.Step();
    engine.Step();  // "%"
    owner.Reply(".");
    engine.Step();  // "37"
    owner.Reply(".");
    engine.Step();  // type accepted
  }
  TProgBoot engine;
  TTestOwner owner;
};

// One Step over N dots and the reply, all received at once. Up to the noise limit
// the reply is read in that Step; beyond it the Step ends the operation with the
// noise-limit message (the text beyond the input cap is dropped unread).
void BM_BootIdentificationAfterDots(benchmark::State& state) {
  const size_t dots = static_cast<size_t>(state.range(0));
  const std::string received = std::string(dots, '.') + kReply;
  for (auto _ : state) {
    state.PauseTiming();
    auto boot = std::make_unique<TBootAtIdentification>();
    boot->owner.RxBuffer = received;
    state.ResumeTiming();

    boot->engine.Step();

    state.PauseTiming();
    const bool read = boot->engine.DeviceID == 0x01A7;
    const bool refused = boot->engine.ErrorText.rfind("The device sent ", 0) == 0;
    const bool expected = dots <= TGestionnaire::kNoiseLimit ? read : refused;
    boot.reset();
    state.ResumeTiming();
    if (!expected) {
      FailBenchmark(state, "the Step did not end as the noise limit says");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(received.size()));
}
BENCHMARK(BM_BootIdentificationAfterDots)->Arg(4000)->Arg(200000)->ArgName("dots");

// Bytes of every value, or only bytes that can never begin a reply (what a
// disturbed line adds: punctuation and 8-bit bytes), so that each operation waits
// in one state until the noise limit ends it.
std::string StreamBytes(size_t bytes, bool noise_only, uint32_t seed) {
  static constexpr char kNoise[] = "!\"&'()*+,-/;<=>?@[]^_`{|}~\xA5\xB0\xC3\xD7\xE9\xF1";
  std::mt19937 random(seed);
  std::string out(bytes, '\0');
  for (char& c : out) {
    c = noise_only ? kNoise[random() % (sizeof(kNoise) - 1)] : static_cast<char>(random());
  }
  return out;
}

// The bank flash engine's waiting states under a 64 MiB stream in pieces of
// range(0) bytes; range(1) 1 for noise only. The stream is generated once per run
// in 1 MiB and fed 64 times.
void BM_EngineUnderAByteStream(benchmark::State& state) {
  const size_t piece = static_cast<size_t>(state.range(0));
  const std::string mib = StreamBytes(kMiB, state.range(1) == 1, 0x5EED);
  TTempDir dir;
  dir.Write("bank.hex", ":0100000011EE\r\n:00000001FF\r\n");
  const std::vector<std::string> lines = {"P3 bank.hex", "D2", "PE bank.hex", "F1"};
  size_t longest = 0;
  long steps = 0;
  long operations = 0;
  long peak_growth_kib = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto engine = std::make_unique<TProgPsd>();
    auto owner = std::make_unique<TTestOwner>();
    owner->Attach(*engine);
    bool pulled = false;
    engine->OnReceive = [&](TGestionnaire* s) {
      pulled = true;
      s->BufIn = owner->RxBuffer;
    };
    engine->CurentDir = dir.Dir();
    const bool peak_known = ResetPeakMemory();
    const TMemFigures before = ReadMemFigures();
    state.ResumeTiming();

    for (size_t round = 0; round < kStreamBytes / kMiB; ++round) {
      for (size_t at = 0; at < kMiB; at += piece) {
        if (!engine->Busy) {
          engine->ResetEngine();
          engine->UpdateAllowed = true;
          engine->Instruction = lines[static_cast<size_t>(operations++) % lines.size()];
        }
        owner->RxBuffer.append(mib, at, piece);
        pulled = false;
        engine->Step();
        ++steps;
        if (pulled) longest = std::max(longest, owner->RxBuffer.size());
        if (owner->Events.size() > 4096) owner->ClearLogs();
      }
    }

    state.PauseTiming();
    const TMemFigures after = ReadMemFigures();
    if (peak_known) peak_growth_kib = std::max(peak_growth_kib, after.HwmKiB - before.RssKiB);
    engine.reset();
    owner.reset();
    state.ResumeTiming();
  }
  if (longest > TGestionnaire::kInputCap) {
    FailBenchmark(state, "the owner's buffer outgrew the input cap after a pull");
    return;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kStreamBytes));
  state.counters["steps"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
  state.counters["s_per_step"] = benchmark::Counter(
      static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["operations"] =
      static_cast<double>(operations) / static_cast<double>(state.iterations());
  state.counters["longest_rx"] = static_cast<double>(longest);
  state.counters["peak_growth_KiB"] = static_cast<double>(peak_growth_kib);
}
BENCHMARK(BM_EngineUnderAByteStream)
    ->Args({64, 0})
    ->Args({4096, 0})
    ->Args({64, 1})
    ->Args({4096, 1})
    ->ArgNames({"piece", "noise_only"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
