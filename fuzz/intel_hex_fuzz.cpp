// Fuzzes the Intel HEX helpers (engines/intel_hex.h) with arbitrary file lines.
// Invariants: a parsed record never holds more data than it declares nor more than
// its line carries; a record that BuildHexRecord makes parses back to its fields
// and its bytes sum to zero; HexImageSum is additive over adjacent ranges; the
// word helpers round-trip.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engines/intel_hex.h"
#include "fuzz/fuzz_support.h"

namespace {

void CheckParsedLine(const std::string& line) {
  const THexRecord r = ParseHexRecord(line);
  FUZZ_REQUIRE(r.Data.size() <= r.ByteCount, "no more data than the byte count declares");
  const size_t carried = line.size() > 9 ? (line.size() - 9) / 2 : 0;
  FUZZ_REQUIRE(r.Data.size() == std::min<size_t>(r.ByteCount, carried),
               "every complete digit pair up to the byte count is data");
}

// Builds a record of the data's upper-case digits and parses it back.
void CheckBuiltRecord(uint8_t type, uint16_t address, const std::string& bytes) {
  std::string digits;
  for (char b : bytes) digits += ByteToHex(static_cast<uint8_t>(b));
  const std::string line = BuildHexRecord(type, address, digits);
  FUZZ_REQUIRE(line.size() == 11 + digits.size(), "a record is ':' + 10 digits + its data");
  const THexRecord r = ParseHexRecord(line);
  FUZZ_REQUIRE(r.RecordType == type && r.Address == address, "type and address come back");
  FUZZ_REQUIRE(r.ByteCount == static_cast<uint8_t>(bytes.size()), "the byte count comes back");
  FUZZ_REQUIRE(r.Data == bytes, "the data comes back");
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < line.size(); i += 2) sum += HexToWord("00" + line.substr(i, 2));
  FUZZ_REQUIRE(sum % 256 == 0, "the bytes of a record with its checksum sum to zero");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint16_t low = in.ConsumeIntegral<uint16_t>();
  const uint16_t high = in.ConsumeIntegral<uint16_t>();
  const auto type = in.ConsumeIntegral<uint8_t>();
  const auto address = in.ConsumeIntegral<uint16_t>();
  const std::string bytes = in.ConsumeRandomLengthString(255);  // one count byte
  std::vector<std::string> lines;
  while (in.remaining_bytes() > 0 && lines.size() < 64) {
    lines.push_back(in.ConsumeRandomLengthString(600));
  }

  for (const std::string& line : lines) CheckParsedLine(line);
  CheckBuiltRecord(type, address, bytes);

  const uint16_t whole = HexImageSum(lines, low, high);
  if (low < high) {
    const auto mid = static_cast<uint16_t>(low + (high - low) / 2);
    const auto halves =
        static_cast<uint16_t>(HexImageSum(lines, low, mid) + HexImageSum(lines, mid + 1, high));
    FUZZ_REQUIRE(whole == halves, "the sum of a range is the sum of its halves");
  }
  if (high < low) FUZZ_REQUIRE(whole == 0, "an empty range sums to 0");

  FUZZ_REQUIRE(HexToWord(WordToHex(address)) == address, "a word round-trips through its digits");
  const std::string dword = DWordToHex(uint32_t{address} << 16 | low);
  FUZZ_REQUIRE(HexToWord(dword) == address && HexToWord(dword.substr(4)) == low,
               "a double word is its two words' digits");
  return 0;
}
