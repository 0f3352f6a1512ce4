// The bank checksum: HexImageSum over a 32 KiB bank image of 2048 records of 16
// bytes, the sum the bank flash engine computes at each verify step. Also the
// record reader alone, to split the cost between parsing and the 64 KiB image.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "engines/intel_hex.h"

namespace {

constexpr size_t kBankBytes = 0x8000;

// The expected sum, computed from the bytes themselves: the image fills the
// whole bank, so no erased byte takes part.
uint16_t ByteSum(const std::vector<uint8_t>& data) {
  uint16_t sum = 0;
  for (uint8_t b : data) sum = static_cast<uint16_t>(sum + b);
  return sum;
}

void BM_HexImageSum_Bank(benchmark::State& state) {
  const bool upper = state.range(0) != 0;  // bank 1..7 (upper half) or bank 0
  const uint16_t base = upper ? 0x8000 : 0x0000;
  const std::vector<uint8_t> data = SeededBytes(0x5EED, kBankBytes);
  const std::vector<std::string> lines = HexImageLines(base, data);
  const uint16_t expected = ByteSum(data);
  for (auto _ : state) {
    const uint16_t sum = HexImageSum(lines, base, static_cast<uint16_t>(base + kBankBytes - 1));
    benchmark::DoNotOptimize(sum);
    if (sum != expected) {
      FailBenchmark(state, "HexImageSum gave a sum other than the image's byte sum");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBankBytes));
  state.counters["records"] = static_cast<double>(lines.size());
}
BENCHMARK(BM_HexImageSum_Bank)->Arg(0)->Arg(1)->ArgName("upper")->Unit(benchmark::kMicrosecond);

void BM_ParseHexRecord(benchmark::State& state) {
  const std::vector<std::string> lines = HexImageLines(0x8000, SeededBytes(7, kBankBytes));
  size_t i = 0;
  for (auto _ : state) {
    THexRecord r = ParseHexRecord(lines[i]);
    benchmark::DoNotOptimize(r);
    if (++i == lines.size() - 1) i = 0;  // data records only
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseHexRecord);

}  // namespace
