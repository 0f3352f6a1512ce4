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

int HexDigitValue(char c);               // 0..15, 0 for any other character
char HexDigit(int value);                // digit of value modulo 16 (value >= 0)
std::string ByteToHex(int value);        // two digits of the low 8 bits
std::string WordToHex(int value);        // four digits of the low 16 bits
std::string DWordToHex(uint32_t value);  // eight digits
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
