// Effect statement parsing: the JTAG engine parses every line of an Effect file
// (and again on each retransmission). Throughput in lines per second over a
// generated mix of SIR, SDR (long, checked and fill form), RUNTEST, STATE and
// comment lines, and over the heaviest lines alone (512-bit SDR with all fields).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "engines/effect_language.h"

namespace {

// Parses every line; returns how many produced a record, or -1 at the first line
// that did not parse.
long ParseAll(const std::vector<std::string>& lines, TEffectStatement& st, std::string& result) {
  long records = 0;
  for (const std::string& line : lines) {
    result.clear();
    ParseStatement(line, result, st);
    if (result == kEffectErrorResult) return -1;
    if (!result.empty()) ++records;
  }
  return records;
}

size_t TotalBytes(const std::vector<std::string>& lines) {
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + 2;
  return bytes;
}

void RunParse(benchmark::State& state, const std::vector<std::string>& lines, long expected) {
  TEffectStatement st;
  std::string result;
  for (auto _ : state) {
    const long records = ParseAll(lines, st, result);
    benchmark::DoNotOptimize(records);
    if (records != expected) {
      FailBenchmark(state, "parsed " + std::to_string(records) + " records, expected " +
                               std::to_string(expected));
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TotalBytes(lines)));
}

void BM_ParseStatement_Mix(benchmark::State& state) {
  TEffectFileShape shape;
  const std::vector<std::string> lines =
      EffectVectorLines(static_cast<size_t>(state.range(0)), 0xEFFEC7, shape);
  RunParse(state, lines, static_cast<long>(shape.Statements));
}
BENCHMARK(BM_ParseStatement_Mix)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ParseStatement_LongSdr(benchmark::State& state) {
  const std::vector<std::string> lines = LongSdrLines(static_cast<size_t>(state.range(0)), 0x5D4);
  RunParse(state, lines, static_cast<long>(lines.size()));
}
BENCHMARK(BM_ParseStatement_LongSdr)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
