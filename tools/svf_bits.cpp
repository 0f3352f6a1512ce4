#include "tools/svf_bits.h"

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool SvfHexToBits(std::string_view hex, size_t length, TSvfBits& bits, std::string& reason) {
  bits.assign(length, 0);
  size_t bit = 0;
  for (size_t i = hex.size(); i > 0; --i) {
    const int value = DigitValue(hex[i - 1]);
    if (value < 0) {
      reason = std::string("'") + hex[i - 1] + "' is not a hex digit";
      return false;
    }
    for (int b = 0; b < 4; ++b, ++bit) {
      const uint8_t set = static_cast<uint8_t>((value >> b) & 1);
      if (bit < length) {
        bits[bit] = set;
      } else if (set) {
        reason = "bits are set beyond the " + std::to_string(length) + "-bit length";
        return false;
      }
    }
  }
  return true;
}

std::string SvfBitsToHex(const TSvfBits& bits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const size_t digits = (bits.size() + 7) / 8 * 2;
  std::string hex(digits, '0');
  for (size_t d = 0; d < digits; ++d) {
    int value = 0;
    for (size_t b = 0; b < 4; ++b) {
      const size_t bit = d * 4 + b;
      if (bit < bits.size() && bits[bit]) value |= 1 << b;
    }
    hex[digits - 1 - d] = kDigits[value];
  }
  return hex;
}

TSvfBits SvfConcat(const TSvfBits& first, const TSvfBits& second) {
  TSvfBits out = first;
  out.insert(out.end(), second.begin(), second.end());
  return out;
}
