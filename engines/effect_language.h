// The Effect file language: JTAG vector files written one statement per line, each
// statement turned into the one Intel HEX record the device executes. The device
// walks the TAP controller itself; a record only carries state codes, a shift length
// and bit strings. Used by the JTAG engine (TProgJtag), which plays a file line by
// line. No I/O and no state beyond the TEffectStatement a parse fills.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What one parse leaves for the engine that executes the statement. Every parse
// resets all of it first, so nothing carries over from one statement to the next.
struct TEffectStatement {
  uint8_t StatementType = 0;     // SIR/SDR record type with its mode, TDO and fill bits; else 0
  int32_t BitLength = 0;         // SIR/SDR shift length (0..512), the record's address field
  std::string TdiHex;            // TDI upper-cased, byte-reversed; long SDR: plus its byte sum
  std::string TdoHex;            // expected captured bits, upper-cased, byte-reversed
  std::string MaskHex;           // which captured bits are compared (empty: all of them)
  std::string SmaskHex;          // which TDI bits are sent (empty: all of them)
  bool RawBlockPending = false;  // long SDR: TdiHex goes out once the device acknowledges
};

// Record types and the bits of a SIR/SDR record type.
inline constexpr uint8_t kEffectEndOfFile = 0x01;  // sent by the engine after the last line
inline constexpr uint8_t kEffectRuntest = 0x04;
inline constexpr uint8_t kEffectState = 0x05;
inline constexpr uint8_t kEffectEndIr = 0x06;
inline constexpr uint8_t kEffectEndDr = 0x07;
inline constexpr uint8_t kEffectSir = 0x02;       // low four bits of a SIR record type
inline constexpr uint8_t kEffectSdr = 0x03;       // low four bits of a SDR record type
inline constexpr uint8_t kEffectTdoBit = 0x10;    // the device must return the captured bits
inline constexpr uint8_t kEffectModeSBit = 0x20;  // mode letter "S" (a blank sets both)
inline constexpr uint8_t kEffectModeEBit = 0x40;  // mode letter "E" (a blank sets both)
inline constexpr uint8_t kEffectFillBit = 0x80;   // SDR data is one byte repeated
inline constexpr int32_t kEffectMaxBits = 512;    // longest SIR/SDR shift
// The largest raw block (TDI digits plus the two sum digits): its length travels in
// one data byte.
inline constexpr size_t kEffectMaxRawBlock = 255;

// The result text of a line that is not a valid statement.
inline constexpr std::string_view kEffectErrorResult = "Error";
// The end record the engine sends after the last statement.
inline constexpr std::string_view kEffectEndRecord = ":00000001FF";

// Parses one line. On return `result` holds the record to send (no line end),
// "Error" for a line that is not a valid statement, or is left untouched (the
// caller passes it empty) for a comment, "TRST" or a STATE line without ";".
// Fills `st` as the statement requires.
void ParseStatement(std::string_view line, std::string& result, TEffectStatement& st);
// The same, and when the result is "Error", `reason` says why ("FREQUENCY is not
// part of the Effect language", "SDR longer than 512 bits", "missing ';'"...);
// otherwise `reason` is left untouched.
void ParseStatement(std::string_view line, std::string& result, TEffectStatement& st,
                    std::string& reason);
// Why `line` is not a statement a playback can send or skip, or "" when it is.
// Parses exactly as ParseStatement does.
std::string CheckEffectLine(std::string_view line);

// Skips leading blanks and control characters of `text`; if it then begins with one
// of the 16 TAP state names (case-sensitive), sets `code` to its two-digit code,
// removes the name from `text` and returns true. Otherwise empties `code`, false.
bool ParseTapState(std::string& text, std::string& code);

// Reverses the order of the two-digit groups: "12345678" -> "78563412". Two
// characters or fewer are returned unchanged; an odd count is not padded (the
// middle of the string stays where the group exchange leaves it).
std::string ReverseHexBytes(std::string_view hex);

// When `mask` and `hex` have the same length, replaces every digit of `hex` by the
// AND of its value and the mask digit's value; otherwise leaves `hex` unchanged.
void AndHexMask(std::string_view mask, std::string& hex);

// True, with `digit` set to the first character, when `hex` has at least two
// characters and all of them equal the first.
bool UniformHexDigit(std::string_view hex, char& digit);

// Appends the 8-bit sum of the complete two-digit groups of `hex` as two digits.
void AppendHexSum(std::string& hex);
