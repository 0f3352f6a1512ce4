// Fuzzes the Effect file language (engines/effect_language.h) with arbitrary lines,
// through the free ParseStatement and the JTAG engine's. Invariants: a line gives
// nothing, "Error" or one well-formed record (upper-case digits, a byte count that
// matches, a checksum that sums to zero, a type the device knows, a shift of at
// most 512 bits, a raw block of at most 255 characters whose last two are its
// sum); the same line gives the same result every time, in the engine too; and
// the hex helpers keep their shapes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engines/effect_language.h"
#include "engines/intel_hex.h"
#include "engines/prog_jtag.h"
#include "fuzz/fuzz_support.h"

namespace {

bool IsUpperHex(const std::string& text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

std::vector<uint8_t> RecordBytes(const std::string& record) {
  std::vector<uint8_t> bytes;
  for (size_t i = 1; i + 1 < record.size(); i += 2) {
    bytes.push_back(
        static_cast<uint8_t>(HexDigitValue(record[i]) * 16 + HexDigitValue(record[i + 1])));
  }
  return bytes;
}

void CheckRecord(const std::string& record, const TEffectStatement& st) {
  FUZZ_REQUIRE(record.size() >= 11 && record[0] == ':' && record.size() % 2 == 1,
               "a record is ':' and whole bytes");
  FUZZ_REQUIRE(IsUpperHex(record.substr(1)), "a record is upper-case hex digits");
  const std::vector<uint8_t> b = RecordBytes(record);
  FUZZ_REQUIRE(b[0] == b.size() - 5, "the byte count matches the data");
  unsigned sum = 0;
  for (uint8_t x : b) sum += x;
  FUZZ_REQUIRE(sum % 256 == 0, "the checksum makes the bytes sum to zero");
  const uint8_t type = b[3];
  const auto address = static_cast<uint16_t>(b[1] << 8 | b[2]);
  const uint8_t kind = type & 0x0F;
  if (kind == kEffectSir || kind == kEffectSdr) {
    FUZZ_REQUIRE(type == st.StatementType, "a shift's record type is its statement type");
    FUZZ_REQUIRE(address == st.BitLength && st.BitLength >= 0 && st.BitLength <= kEffectMaxBits,
                 "a shift's address is its bit count, at most 512");
    FUZZ_REQUIRE(kind == kEffectSdr || (type & kEffectFillBit) == 0, "only SDR fills");
    FUZZ_REQUIRE(IsUpperHex(st.TdoHex) && IsUpperHex(st.MaskHex) && st.TdoHex.size() % 2 == 0,
                 "TDO and MASK are whole upper-case bytes");
    FUZZ_REQUIRE(((type & kEffectTdoBit) != 0) == !st.TdoHex.empty(), "the TDO bit says TDO");
  } else {
    FUZZ_REQUIRE(type == kEffectRuntest || type == kEffectState || type == kEffectEndIr ||
                     type == kEffectEndDr,
                 "a record type the device knows");
    FUZZ_REQUIRE(address == 0 && !st.RawBlockPending, "other statements have no address");
  }
  if (st.RawBlockPending) {
    FUZZ_REQUIRE(kind == kEffectSdr && b[0] == 1 && b[4] == st.TdiHex.size(),
                 "a long SDR's record carries its raw block's length");
    FUZZ_REQUIRE(st.TdiHex.size() <= kEffectMaxRawBlock && st.TdiHex.size() >= 4 &&
                     st.TdiHex.size() % 2 == 0 && IsUpperHex(st.TdiHex),
                 "a raw block is whole upper-case bytes and fits its length byte");
    std::string body = st.TdiHex.substr(0, st.TdiHex.size() - 2);
    AppendHexSum(body);
    FUZZ_REQUIRE(body == st.TdiHex, "a raw block ends with the sum of its bytes");
  }
}

void CheckLine(const std::string& line) {
  std::string result;
  TEffectStatement st;
  ParseStatement(line, result, st);
  if (result.empty() || result == kEffectErrorResult) {
    FUZZ_REQUIRE(!st.RawBlockPending, "no raw block without a record");
  } else {
    CheckRecord(result, st);
  }
  std::string again;
  TEffectStatement st2;
  ParseStatement(line, again, st2);
  FUZZ_REQUIRE(again == result && st2.TdiHex == st.TdiHex && st2.TdoHex == st.TdoHex,
               "a line parses the same every time");
  static TProgJtag engine;
  std::string in_engine;
  engine.ParseStatement(line, in_engine);
  FUZZ_REQUIRE(in_engine == result && engine.TdiHex == st.TdiHex &&
                   engine.RawBlockPending == st.RawBlockPending,
               "the engine parses a line as the language does");
}

void CheckHelpers(const std::string& text) {
  const std::string reversed = ReverseHexBytes(text);
  FUZZ_REQUIRE(reversed.size() == text.size(), "reversing keeps the length");
  if (text.size() % 2 == 0) {
    FUZZ_REQUIRE(ReverseHexBytes(reversed) == text, "reversing whole bytes twice is nothing");
  }
  std::string tap = text, code;
  if (ParseTapState(tap, code)) FUZZ_REQUIRE(code.size() == 2, "a state code is two digits");
  std::string masked = text;
  AndHexMask(reversed, masked);
  FUZZ_REQUIRE(masked.size() == text.size(), "a mask keeps the length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  int lines = 0;
  while (in.remaining_bytes() > 0 && lines++ < 32) {
    const std::string line = in.ConsumeRandomLengthString(2048);
    CheckLine(line);
    CheckHelpers(line);
  }
  return 0;
}
