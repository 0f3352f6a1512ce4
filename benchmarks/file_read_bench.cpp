// Reading Effect files: the JTAG engine counts a file's lines when it opens it
// (one whole pass inside one Step, before the first statement) and then reads it
// line by line during the playback. Measured here apart from the device exchange:
// OpenEffectFile on files of 1 and 16 MiB, and a full TLineReader pass. A plain
// reader that takes the file in 64 KiB blocks is measured beside it as the
// reference for what line reading can cost on this machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "benchmarks/bench_check.h"
#include "benchmarks/bench_inputs.h"
#include "engines/file_access.h"
#include "engines/prog_jtag.h"
#include "testing/temp_dir.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

struct TVectorFile {
  std::string path;
  TEffectFileShape shape;
};

// One generated file per size, kept until the binary ends.
const TVectorFile& VectorFile(size_t mib) {
  static TTempDir dir;
  static std::vector<std::unique_ptr<TVectorFile>> files;
  for (const auto& f : files) {
    if (f->shape.Bytes >= mib * kMiB && f->shape.Bytes < (mib + 1) * kMiB) return *f;
  }
  auto f = std::make_unique<TVectorFile>();
  f->path = dir.Dir() + "read_" + std::to_string(mib) + ".svf";
  if (!WriteEffectVectorFile(f->path, mib * kMiB, 0xF11E + mib, f->shape)) f->path.clear();
  files.push_back(std::move(f));
  return *files.back();
}

void BM_OpenEffectFile(benchmark::State& state) {
  const TVectorFile& file = VectorFile(static_cast<size_t>(state.range(0)));
  TProgJtag engine;
  for (auto _ : state) {
    const int32_t count = engine.OpenEffectFile(file.path);
    engine.CloseEffectFile();
    if (count != static_cast<int32_t>(file.shape.Lines)) {
      FailBenchmark(state, "counted " + std::to_string(count) + " lines of " +
                               std::to_string(file.shape.Lines));
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.shape.Bytes));
}
BENCHMARK(BM_OpenEffectFile)->Arg(1)->Arg(16)->ArgName("MiB")->Unit(benchmark::kMillisecond);

void BM_LineReader(benchmark::State& state) {
  const TVectorFile& file = VectorFile(16);
  std::string line;
  for (auto _ : state) {
    TLineReader reader;
    size_t lines = 0;
    if (reader.Open(file.path)) {
      while (reader.ReadLine(line)) ++lines;
    }
    if (lines != file.shape.Lines) {
      FailBenchmark(state, "read " + std::to_string(lines) + " lines");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.shape.Bytes));
}
BENCHMARK(BM_LineReader)->Unit(benchmark::kMillisecond);

// The reference: 64 KiB blocks, line ends found with memchr; CR LF only, which is
// all the generated files hold.
size_t CountLinesInBlocks(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::vector<char> block(64 * 1024);
  std::string line;
  size_t lines = 0;
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) {
    const char* p = block.data();
    const char* end = p + n;
    while (p < end) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!lf) {
        line.append(p, end);
        break;
      }
      line.append(p, lf);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      benchmark::DoNotOptimize(line.data());
      line.clear();
      ++lines;
      p = lf + 1;
    }
  }
  std::fclose(f);
  return lines;
}

void BM_LineReader_BlockReference(benchmark::State& state) {
  const TVectorFile& file = VectorFile(16);
  for (auto _ : state) {
    if (CountLinesInBlocks(file.path) != file.shape.Lines) {
      FailBenchmark(state, "the reference reader miscounted");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.shape.Bytes));
}
BENCHMARK(BM_LineReader_BlockReference)->Unit(benchmark::kMillisecond);

}  // namespace
