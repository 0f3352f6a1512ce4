// The device's reading of the record lines the host sends (boot images, flash bank
// and "E" memory images, JTAG statements): one line in, its fields and a verdict
// out. A receiving device checks what a sender cannot vouch for: the ":" mark, hex
// digits, the byte count against the line length and the record checksum.
// Written from the device's side only; the host's record helpers are not used here.
// Plain C++, no state; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One record as the device understood it.
struct TDeviceRecord {
  uint8_t Type = 0;           // record type (00 data, 01 end, 0C verify, JTAG types)
  uint16_t Address = 0;       // the 16-bit address field (a shift length for JTAG)
  std::vector<uint8_t> Data;  // the data bytes, byte-count long
};

// What the device makes of a received line.
enum class TRecordVerdict : uint8_t {
  RV_OK,            // well formed, checksum right
  RV_BAD_FORMAT,    // no ":", a non-hex digit, or a length that disagrees with the count
  RV_BAD_CHECKSUM,  // well formed but the checksum does not match: a damaged line
};

// Parses one line without its line end. Hex digits of either case are accepted.
// On RV_OK fills `out`; otherwise `out` may hold part of the line and means nothing.
TRecordVerdict ParseRecordLine(std::string_view line, TDeviceRecord& out);

// Value of a hex digit of either case, or -1 for any other character.
int DeviceHexValue(char c);

// Two upper-case hex digits for `value`.
std::string DeviceHexByte(uint8_t value);

// Upper-case hex text of `bytes`, two digits each, in order.
std::string DeviceHexText(const std::vector<uint8_t>& bytes);
