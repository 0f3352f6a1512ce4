// Hexadecimal text helpers and the Intel HEX record reader and builder, shared by
// the engines and the application. Stateless free functions; they know nothing of
// files or the device.
//
// Input digits: only '0'-'9' and 'A'-'F' count; every other character (lower-case
// 'a'-'f' included) reads as 0. Output digits are upper case.
//
// Damaged input never reads or writes out of bounds:
//  - ParseHexRecord on a line shorter than its byte count: the record keeps its
//    declared ByteCount, but Data holds only the bytes whose two digits are both
//    present (missing fields read as 0 digits for count/address/type).
//  - HexImageSum: data running past 0xFFFF wraps to 0x0000 (16-bit addresses).
//  - HexToWord on fewer than four characters reads the missing digits as 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

int HexDigitValue(char c);                  // 0..15, 0 for any other character
char HexDigit(int value);                   // digit of value modulo 16 (value >= 0)
std::string ByteToHex(int value);           // two digits of the low 8 bits
std::string WordToHex(int value);           // four digits of the low 16 bits
std::string DWordToHex(uint32_t value);     // eight digits
uint16_t HexToWord(std::string_view text);  // value of the first four characters

struct THexRecord {
  uint8_t ByteCount = 0;   // declared number of data bytes (positions 2-3)
  uint8_t RecordType = 0;  // positions 8-9
  uint16_t Address = 0;    // positions 4-7
  std::string Data;        // the data bytes actually present in the line
};

// Reads one record line (the caller has checked the leading ':'). The checksum
// field is neither read nor verified.
THexRecord ParseHexRecord(std::string_view line);

// 16-bit wrapping byte sum of low..high (inclusive) of the 64 KiB image the lines
// describe (unwritten bytes are 0xFF). Type 00 writes, type 01 ends the walk, other
// types and lines without ':' are skipped. high < low gives 0.
uint16_t HexImageSum(const std::vector<std::string>& lines, uint16_t low, uint16_t high);

// ":" + count + address + type + data + checksum. `data` is an even number of
// upper-case hex digits. Example: (0x0C, 0, "1234") -> ":0200000C1234AC".
std::string BuildHexRecord(uint8_t type, uint16_t address, std::string_view data);

// ---- Checking a whole file before it is sent ---------------------------------
// The engines send a HEX file line by line, as written, after the device has
// erased the memory; the package checker reads it the same way before a run. A
// line the device cannot take, or data the verify sum reads differently from the
// device, must be found before the erase. These checks say which line and why.

// What a file is for: the memory range its data must lie in, and whether the
// updater computes the verify sum from it (then lower-case digits, which the sum
// reads as 0, would make the device answer "Checksum Error").
struct THexImageRules {
  uint16_t Low = 0x0000;     // lowest address a data byte may have
  uint16_t High = 0xFFFF;    // highest address a data byte may have
  std::string Area;          // the range as findings name it; empty: no range check
  bool LowerCaseOk = false;  // true when no verify sum is computed from the file
};

// The boot-loader engine's image: the extended boot area 4000-5FFF. With a
// checksum text on the "PB" line the updater computes no sum.
THexImageRules BootImageRules(bool checksum_given);
// A flash bank: bank 0 in 0000-7FFF, banks 1 to 7 in 8000-FFFF.
THexImageRules BankImageRules(int bank);
// The "E" upload: no verify, no range the updater knows besides 16 bits.
THexImageRules EImageRules();

// A line of a file that cannot be sent. Line is 1-based; 0 means the file as a
// whole (empty, or no end record).
struct THexFault {
  int32_t Line = 0;
  std::string Reason;
};

// Why one line is not a record the device can take under `rules`, or "" when it
// is: ":" then an even number of hex digits, the byte count equal to the data's
// length, the right record checksum, a record type a HEX image may hold (00 data,
// 01 end, 02 and 04 address records with a zero base, 03 and 05 start addresses),
// and data inside the rules' range.
std::string CheckHexRecord(std::string_view line, const THexImageRules& rules);

// Every line as CheckHexRecord, then: at least one line, an end record, and
// nothing after it. At most `max_faults` faults, in line order.
std::vector<THexFault> CheckHexImage(const std::vector<std::string>& lines,
                                     const THexImageRules& rules, size_t max_faults = 1);

// The engines' error text for the first fault of a loaded file, or "" when it has
// none: `path` + ":" + line + ": " + reason + " !!!" (no line for the whole file).
std::string HexFileError(const std::vector<std::string>& lines, const THexImageRules& rules,
                         const std::string& path);
