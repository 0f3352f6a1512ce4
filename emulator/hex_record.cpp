#include "emulator/hex_record.h"

namespace {

// Reads the byte at hex position `pos` (two digits). -1 when either is not hex.
int ByteAt(std::string_view text, size_t pos) {
  const int hi = DeviceHexValue(text[pos]);
  const int lo = DeviceHexValue(text[pos + 1]);
  if (hi < 0 || lo < 0) return -1;
  return hi * 16 + lo;
}

}  // namespace

int DeviceHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DeviceHexByte(uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string DeviceHexText(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) out += DeviceHexByte(b);
  return out;
}

TRecordVerdict ParseRecordLine(std::string_view line, TDeviceRecord& out) {
  // ":" LL AAAA TT data CC: at least 11 characters, an even number after the ":".
  if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) {
    return TRecordVerdict::RV_BAD_FORMAT;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve((line.size() - 1) / 2);
  for (size_t pos = 1; pos < line.size(); pos += 2) {
    const int value = ByteAt(line, pos);
    if (value < 0) return TRecordVerdict::RV_BAD_FORMAT;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  const size_t count = bytes[0];
  if (bytes.size() != count + 5) return TRecordVerdict::RV_BAD_FORMAT;
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  if (sum != 0) return TRecordVerdict::RV_BAD_CHECKSUM;
  out.Type = bytes[3];
  out.Address = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
  out.Data.assign(bytes.begin() + 4, bytes.end() - 1);
  return TRecordVerdict::RV_OK;
}
