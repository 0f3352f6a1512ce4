#include "engines/intel_hex.h"

#include <array>

#include "engines/text_util.h"

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

// ---- Checking a whole file ---------------------------------------------------

namespace {

constexpr uint8_t kDataRecord = 0x00;
constexpr uint8_t kEndRecord = 0x01;

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsLowerHex(char c) { return c >= 'a' && c <= 'f'; }
int AnyCaseValue(char c) { return IsLowerHex(c) ? c - 'a' + 10 : HexDigitValue(c); }

std::string Quoted(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u > 0x20 && u < 0x7F) return std::string("'") + c + "'";
  return "character " + ByteToHex(u);
}

std::string LowerCaseReason(char c) {
  return "lower-case hex digit " + Quoted(c) +
         ": the updater reads only upper-case digits when it sums the image for the "
         "device's verify (a lower-case one counts as 0), so the device would answer "
         "\"Checksum Error\" after the memory was erased and written; write the file in "
         "upper case";
}

// The characters after ":": hex digits only, in the case the rules allow.
std::string CheckDigits(std::string_view digits, const THexImageRules& rules) {
  size_t end = digits.size();
  while (end > 0 && static_cast<unsigned char>(digits[end - 1]) <= 0x20) --end;
  for (size_t i = 0; i < end; ++i) {
    const char c = digits[i];
    if (IsLowerHex(c) && !rules.LowerCaseOk) return LowerCaseReason(c);
    if (!IsUpperHex(c) && !IsLowerHex(c)) return Quoted(c) + " is not a hex digit";
  }
  if (end < digits.size()) return "blank characters after the record";
  if (digits.size() % 2 != 0) return "odd number of hex digits";
  if (digits.size() < 10) return "record too short: a record needs at least 10 hex digits";
  return {};
}

std::string CheckType(uint8_t type, const std::vector<uint8_t>& bytes) {
  const size_t count = bytes[0];
  switch (type) {
    case kDataRecord:
    case kEndRecord:
      return {};
    case 0x02:
    case 0x04: {
      const int base = count == 2 ? bytes[4] * 256 + bytes[5] : -1;
      if (base == 0) return {};
      return "address record " + ByteToHex(type) +
             " with a base other than 0: the updater places every byte at its record's "
             "16-bit address, so the data would not land where the file means it";
    }
    case 0x03:
    case 0x05:
      return {};  // a start address: no memory is written
    default:
      return "record type " + ByteToHex(type) +
             " is not one a HEX image may hold (00 data, 01 end, 02 to 05 address records)";
  }
}

std::string CheckRange(uint16_t address, size_t count, const THexImageRules& rules) {
  if (count == 0) return {};
  const size_t last = address + count - 1;
  if (last > 0xFFFF) return "data runs past address FFFF";
  if (rules.Area.empty() || (address >= rules.Low && last <= rules.High)) return {};
  return "data at " + WordToHex(address) + "-" + WordToHex(static_cast<int>(last)) +
         " lies outside " + rules.Area;
}

}  // namespace

THexImageRules BootImageRules(bool checksum_given) {
  return {0x4000, 0x5FFF, "the boot area (4000-5FFF)", checksum_given};
}

THexImageRules BankImageRules(int bank) {
  if (bank == 0) return {0x0000, 0x7FFF, "bank 0 (0000-7FFF)", false};
  return {0x8000, 0xFFFF, "bank " + std::to_string(bank) + " (8000-FFFF)", false};
}

THexImageRules EImageRules() { return {0x0000, 0xFFFF, "", true}; }

namespace {

// CheckHexRecord, also giving the record type of a well-formed line.
std::string CheckRecordLine(std::string_view line, const THexImageRules& rules, uint8_t& type) {
  if (Trim(line).empty()) return "blank line";
  if (line[0] != ':') return "not a record: a line of an Intel HEX file begins with ':'";
  const std::string_view digits = line.substr(1);
  std::string reason = CheckDigits(digits, rules);
  if (!reason.empty()) return reason;
  std::vector<uint8_t> bytes;
  unsigned sum = 0;
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(
        static_cast<uint8_t>(AnyCaseValue(digits[i]) * 16 + AnyCaseValue(digits[i + 1])));
    sum += bytes.back();
  }
  const size_t count = bytes[0];
  const size_t present = bytes.size() - 5;
  if (present != count) {
    return "byte count " + ByteToHex(static_cast<int>(count)) + " says " + std::to_string(count) +
           " data bytes, the line holds " + std::to_string(present);
  }
  if ((sum & 0xFF) != 0) {
    const unsigned need = (256 - ((sum - bytes.back()) & 0xFF)) & 0xFF;
    return "record checksum is " + ByteToHex(bytes.back()) + ", the record's bytes need " +
           ByteToHex(static_cast<int>(need));
  }
  type = bytes[3];
  reason = CheckType(type, bytes);
  if (!reason.empty() || type != kDataRecord) return reason;
  return CheckRange(static_cast<uint16_t>(bytes[1] * 256 + bytes[2]), count, rules);
}

}  // namespace

std::string CheckHexRecord(std::string_view line, const THexImageRules& rules) {
  uint8_t type = 0;
  return CheckRecordLine(line, rules, type);
}

std::vector<THexFault> CheckHexImage(const std::vector<std::string>& lines,
                                     const THexImageRules& rules, size_t max_faults) {
  std::vector<THexFault> faults;
  if (max_faults == 0) return faults;
  if (lines.empty()) return {{0, "empty file"}};
  bool ended = false;
  for (size_t i = 0; i < lines.size() && faults.size() < max_faults; ++i) {
    const auto number = static_cast<int32_t>(i + 1);
    if (ended) {
      faults.push_back({number, "line after the end record"});
      break;
    }
    uint8_t type = kDataRecord;
    std::string reason = CheckRecordLine(lines[i], rules, type);
    if (!reason.empty()) {
      faults.push_back({number, std::move(reason)});
    } else if (type == kEndRecord) {
      ended = true;
    }
  }
  if (!ended && faults.size() < max_faults) faults.push_back({0, "no end record (:00000001FF)"});
  return faults;
}

std::string HexFileError(const std::vector<std::string>& lines, const THexImageRules& rules,
                         const std::string& path) {
  const std::vector<THexFault> faults = CheckHexImage(lines, rules, 1);
  if (faults.empty()) return {};
  const THexFault& f = faults.front();
  const std::string where = f.Line > 0 ? path + ":" + std::to_string(f.Line) : path;
  return where + ": " + f.Reason + " !!!";
}
