#include "engines/intel_hex.h"

#include <array>

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";

// Value of the two digits at 0-based index i (missing characters read as '0').
int PairAt(std::string_view s, size_t i) {
  int hi = i < s.size() ? HexDigitValue(s[i]) : 0;
  int lo = i + 1 < s.size() ? HexDigitValue(s[i + 1]) : 0;
  return hi * 16 + lo;
}
}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

char HexDigit(int value) { return kDigits[static_cast<unsigned>(value) % 16u]; }

std::string ByteToHex(int value) {
  unsigned v = static_cast<unsigned>(value) & 0xFFu;
  return {kDigits[v >> 4], kDigits[v & 0xF]};
}

std::string WordToHex(int value) {
  unsigned v = static_cast<unsigned>(value) & 0xFFFFu;
  return ByteToHex(static_cast<int>(v >> 8)) + ByteToHex(static_cast<int>(v & 0xFF));
}

std::string DWordToHex(uint32_t value) {
  return WordToHex(static_cast<int>(value >> 16)) + WordToHex(static_cast<int>(value & 0xFFFF));
}

uint16_t HexToWord(std::string_view text) {
  unsigned v = 0;
  for (size_t i = 0; i < 4; ++i) v = v * 16 + (i < text.size() ? HexDigitValue(text[i]) : 0);
  return static_cast<uint16_t>(v);
}

THexRecord ParseHexRecord(std::string_view line) {
  THexRecord r;
  r.ByteCount = static_cast<uint8_t>(PairAt(line, 1));
  r.Address = static_cast<uint16_t>(PairAt(line, 3) * 256 + PairAt(line, 5));
  r.RecordType = static_cast<uint8_t>(PairAt(line, 7));
  r.Data.reserve(r.ByteCount);
  for (size_t k = 0; k < r.ByteCount; ++k) {
    size_t pos = 9 + 2 * k;
    if (pos + 1 >= line.size()) break;  // both digits must be present
    r.Data.push_back(static_cast<char>(PairAt(line, pos)));
  }
  return r;
}

uint16_t HexImageSum(const std::vector<std::string>& lines, uint16_t low, uint16_t high) {
  if (high < low) return 0;
  std::vector<uint8_t> image(0x10000, 0xFF);
  for (const std::string& line : lines) {
    if (line.empty() || line[0] != ':') continue;
    THexRecord r = ParseHexRecord(line);
    if (r.RecordType == 0x01) break;
    if (r.RecordType != 0x00) continue;
    uint16_t addr = r.Address;
    for (char b : r.Data) image[addr++] = static_cast<uint8_t>(b);  // wraps at 16 bits
  }
  uint16_t sum = 0;
  for (uint32_t a = low; a <= high; ++a) sum = static_cast<uint16_t>(sum + image[a]);
  return sum;
}

std::string BuildHexRecord(uint8_t type, uint16_t address, std::string_view data) {
  std::string line = ":" + ByteToHex(static_cast<int>(data.size() / 2)) + WordToHex(address) +
                     ByteToHex(type) + std::string(data);
  unsigned sum = 0;
  for (size_t i = 1; i < line.size(); i += 2) {
    sum = (sum + static_cast<unsigned>(PairAt(line, i))) & 0xFFu;
  }
  line += ByteToHex(static_cast<int>((256 - sum) % 256));
  return line;
}
