// The device link's receive paths over a fake serial port: the variable protocol
// parser (MODE_VAR) under a burst of garbage, in pieces of several sizes, and raw
// mode (MODE_RAW) as the main window uses it (ReadRaw on every notification) and
// with many pieces appended before one ReadRaw. Throughput in bytes per second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "benchmarks/bench_check.h"
#include "link/com_driver.h"
#include "link/testing/fake_transports.h"

namespace {

constexpr size_t kBurstBytes = 256 * 1024;

// Random bytes of every value: line ends are rare, tags and digits come and go.
std::string Noise(size_t bytes, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(bytes, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

// Lines of lower-case letters and digits: framed like replies, matching no tag.
std::string GarbageLines(size_t bytes, uint32_t seed) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < bytes) {
    const size_t length = 8 + random() % 40;
    for (size_t i = 0; i < length; ++i) out += kChars[random() % (sizeof(kChars) - 1)];
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> Pieces(const std::string& text, size_t piece) {
  std::vector<std::string> pieces;
  for (size_t at = 0; at < text.size(); at += piece) pieces.push_back(text.substr(at, piece));
  return pieces;
}

// A link with its serial port open in MODE_VAR.
struct TOpenLink {
  TOpenLink() {
    f.link->SetPort("COM1");
    f.link->SetConType(CON_RS232);
  }
  TFakeLink f;
};

// Feeds the burst, then checks the parser kept only its short unterminated tail
// and that a real reply after the burst is still recognised.
void RunVarBurst(benchmark::State& state, const std::string& burst) {
  const std::vector<std::string> pieces = Pieces(burst, static_cast<size_t>(state.range(0)));
  TOpenLink l;
  long reports = 0;
  l.f.link->OnRecString = [&reports](TComDriver*, int32_t) { ++reports; };
  for (auto _ : state) {
    for (const std::string& piece : pieces) l.f.serial->Feed(piece);
  }
  benchmark::DoNotOptimize(reports);
  l.f.serial->Feed("\r\nDEV37\r\n");
  if (l.f.link->DEV() != 37 || !l.f.link->ReceiveBuffer().empty()) {
    FailBenchmark(state, "the parser lost a reply after the burst");
    return;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(burst.size()));
  state.counters["lines_reported"] = static_cast<double>(reports);
}

void BM_VarParseNoise(benchmark::State& state) { RunVarBurst(state, Noise(kBurstBytes, 11)); }
BENCHMARK(BM_VarParseNoise)->Arg(1)->Arg(64)->Arg(4096)->ArgName("piece");

void BM_VarParseGarbageLines(benchmark::State& state) {
  RunVarBurst(state, GarbageLines(kBurstBytes, 12));
}
BENCHMARK(BM_VarParseGarbageLines)->Arg(1)->Arg(64)->Arg(4096)->ArgName("piece");

// Raw mode as the main window uses it: every notification is answered by ReadRaw,
// appended to the window's accumulator, which the engines empty as they consume.
void BM_RawReadEachPiece(benchmark::State& state) {
  const std::string burst = Noise(kBurstBytes, 13);
  const std::vector<std::string> pieces = Pieces(burst, static_cast<size_t>(state.range(0)));
  TOpenLink l;
  l.f.link->SetConMode(MODE_RAW);
  std::string accumulator;
  size_t received = 0;
  l.f.link->OnRecString = [&](TComDriver* link, int32_t) {
    accumulator += link->ReadRaw();
    if (accumulator.size() >= 512) {
      received += accumulator.size();
      accumulator.clear();
    }
  };
  for (auto _ : state) {
    for (const std::string& piece : pieces) l.f.serial->Feed(piece);
  }
  received += accumulator.size();
  if (received != burst.size() * static_cast<size_t>(state.iterations())) {
    FailBenchmark(state, "raw mode lost or duplicated bytes");
    return;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(burst.size()));
}
BENCHMARK(BM_RawReadEachPiece)->Arg(1)->Arg(64)->Arg(4096)->ArgName("piece");

// Many pieces appended with nobody reading, then one ReadRaw takes them all.
void BM_RawAppendThenRead(benchmark::State& state) {
  const std::vector<std::string> pieces = Pieces(Noise(kBurstBytes, 14), 64);
  const size_t per_read = static_cast<size_t>(state.range(0));
  TOpenLink l;
  l.f.link->SetConMode(MODE_RAW);
  size_t fed = 0;
  size_t taken = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < pieces.size(); ++i) {
      l.f.serial->Feed(pieces[i]);
      fed += pieces[i].size();
      if ((i + 1) % per_read == 0) taken += l.f.link->ReadRaw().size();
    }
    taken += l.f.link->ReadRaw().size();
  }
  if (taken != fed) {
    FailBenchmark(state, "ReadRaw did not return every byte appended");
    return;
  }
  state.SetBytesProcessed(static_cast<int64_t>(fed));
}
BENCHMARK(BM_RawAppendThenRead)->Arg(16)->Arg(1024)->ArgName("pieces_per_read");

}  // namespace
