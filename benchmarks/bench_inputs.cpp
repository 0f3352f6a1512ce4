#include "benchmarks/bench_inputs.h"

#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr char kUpper[] = "0123456789ABCDEF";
constexpr char kLower[] = "0123456789abcdef";

void AppendByte(std::string& out, unsigned value, const char* digits = kUpper) {
  out += digits[(value >> 4) & 0xF];
  out += digits[value & 0xF];
}

// `count` random hex digits, upper or lower case.
std::string RandomHex(std::mt19937& random, size_t count, const char* digits = kUpper) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) out += digits[random() & 0xF];
  return out;
}

// Eight digits whose first two differ, so the value never travels in fill form.
std::string RandomWord(std::mt19937& random) {
  std::string word = RandomHex(random, 8);
  if (word[0] == word[1]) word[1] = word[0] == '0' ? '1' : '0';
  return word;
}

// Produces the vectors block by block and hands each line to a sink.
class TEffectVectorSource {
 public:
  explicit TEffectVectorSource(uint32_t seed) : random_(seed) {}

  template <class Sink>
  void Preamble(Sink&& sink) {
    Comment(sink, "// Generated JTAG vectors: user register round trips on chain 8");
    Line(sink, "TRST OFF;", false);
    Line(sink, "ENDIR IDLE;", true);
    Line(sink, "ENDDR IDLE;", true);
    Line(sink, "STATE RESET IDLE;", true);
    // USER instruction; the instruction register captures ...01.
    Checked(sink, "SIR 8 TDI (02) TDO (01) MASK (03);");
  }

  // One block: a pause, a state, a 512-bit shift, then the register loaded and
  // read back twice, ending at zero.
  template <class Sink>
  void Block(Sink&& sink) {
    ++block_;
    Comment(sink, "// block " + std::to_string(block_));
    Line(sink, "RUNTEST 100 TCK;", true);
    Line(sink, "STATE IDLE;", true);
    const char* digits = (block_ % 2 == 0) ? kLower : kUpper;  // fields in either case
    LongSdr(sink, "SDR 512 TDI (" + RandomHex(random_, 128, digits) + ");");
    const std::string v = RandomWord(random_);
    const std::string w = RandomWord(random_);
    LongSdr(sink, "SDR 32 TDI (" + v + ");");
    ++shape_.Checked;
    LongSdr(sink, "SDR 32 TDI (" + w + ") TDO (" + v + ") MASK (FFFFFFFF);");
    Checked(sink, "SDR 32 TDI (00000000) TDO (" + w + ");");  // fill form
  }

  const TEffectFileShape& Shape() const { return shape_; }

 private:
  template <class Sink>
  void Comment(Sink& sink, const std::string& text) {
    Count(text);
    sink(text);
  }
  template <class Sink>
  void Line(Sink& sink, const std::string& text, bool statement) {
    Count(text);
    if (statement) ++shape_.Statements;
    sink(text);
  }
  template <class Sink>
  void LongSdr(Sink& sink, const std::string& text) {
    ++shape_.LongSdrs;
    Line(sink, text, true);
  }
  template <class Sink>
  void Checked(Sink& sink, const std::string& text) {
    ++shape_.Checked;
    Line(sink, text, true);
  }
  void Count(const std::string& text) {
    ++shape_.Lines;
    shape_.Bytes += text.size() + 2;  // CR LF
  }

  std::mt19937 random_;
  size_t block_ = 0;
  TEffectFileShape shape_;
};

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::vector<uint8_t> SeededBytes(uint32_t seed, size_t count) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(count);
  for (uint8_t& b : out) b = static_cast<uint8_t>(random());
  if (count > 0 && out[0] == 0xFF) out[0] = 0x5A;  // never all erased bytes
  return out;
}

std::vector<std::string> HexImageLines(uint16_t address, const std::vector<uint8_t>& data) {
  std::vector<std::string> lines;
  lines.reserve(data.size() / 16 + 2);
  for (size_t at = 0; at < data.size(); at += 16) {
    const size_t count = data.size() - at < 16 ? data.size() - at : 16;
    const unsigned record_address = (address + at) & 0xFFFFu;
    std::string line = ":";
    AppendByte(line, static_cast<unsigned>(count));
    AppendByte(line, record_address >> 8);
    AppendByte(line, record_address & 0xFF);
    AppendByte(line, 0x00);
    unsigned sum = static_cast<unsigned>(count) + (record_address >> 8) + (record_address & 0xFF);
    for (size_t i = 0; i < count; ++i) {
      AppendByte(line, data[at + i]);
      sum += data[at + i];
    }
    AppendByte(line, (256 - (sum & 0xFF)) & 0xFF);
    lines.push_back(std::move(line));
  }
  lines.push_back(":00000001FF");
  return lines;
}

bool WriteEffectVectorFile(const std::string& path, size_t min_bytes, uint32_t seed,
                           TEffectFileShape& shape) {
  std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  bool ok = true;
  auto sink = [&](const std::string& line) {
    ok = ok && std::fwrite(line.data(), 1, line.size(), file.get()) == line.size() &&
         std::fwrite("\r\n", 1, 2, file.get()) == 2;
  };
  TEffectVectorSource source(seed);
  source.Preamble(sink);
  while (ok && source.Shape().Bytes < min_bytes) source.Block(sink);
  shape = source.Shape();
  return ok && std::fclose(file.release()) == 0;
}

std::vector<std::string> EffectVectorLines(size_t min_lines, uint32_t seed,
                                           TEffectFileShape& shape) {
  std::vector<std::string> lines;
  auto sink = [&](const std::string& line) { lines.push_back(line); };
  TEffectVectorSource source(seed);
  source.Preamble(sink);
  while (lines.size() < min_lines) source.Block(sink);
  shape = source.Shape();
  return lines;
}

std::vector<std::string> LongSdrLines(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::string> lines;
  lines.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    lines.push_back("SDR 512 TDI (" + RandomHex(random, 128) + ") TDO (" + RandomHex(random, 128) +
                    ") MASK (" + RandomHex(random, 128) + ") SMASK (" + std::string(128, 'F') +
                    ");");
  }
  return lines;
}
