#include "common/number_text.h"

bool ParseDecimalU32(std::string_view s, uint32_t& value) {
  if (s.empty()) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > 0xFFFFFFFFull) return false;  // stops before a long digit string overflows
  }
  value = static_cast<uint32_t>(v);
  return true;
}
