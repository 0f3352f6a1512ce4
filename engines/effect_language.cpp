#include "engines/effect_language.h"

#include <array>
#include <limits>
#include <utility>

#include "engines/intel_hex.h"
#include "engines/text_util.h"

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 16> kTapStates = {{
    {"RESET", "00"},
    {"IDLE", "01"},
    {"DRSELECT", "02"},
    {"DRCAPTURE", "03"},
    {"DRSHIFT", "04"},
    {"DREXIT1", "05"},
    {"DRPAUSE", "06"},
    {"DREXIT2", "07"},
    {"DRUPDATE", "08"},
    {"IRSELECT", "09"},
    {"IRCAPTURE", "0A"},
    {"IRSHIFT", "0B"},
    {"IREXIT1", "0C"},
    {"IRPAUSE", "0D"},
    {"IREXIT2", "0E"},
    {"IRUPDATE", "0F"},
}};

// A record holds at most 255 data bytes: its byte count is one byte.
constexpr size_t kMaxRecordDigits = 2 * 255;

// The parse of one statement kind: a record, "Error", or nothing (empty).
using TParseResult = std::string;

TParseResult Error() { return std::string(kEffectErrorResult); }

void SkipBlanks(std::string_view& rest) {
  size_t n = 0;
  while (n < rest.size() && static_cast<unsigned char>(rest[n]) <= 0x20) ++n;
  rest.remove_prefix(n);
}

// Skips blanks; removes `keyword` when the text begins with it.
bool Take(std::string_view& rest, std::string_view keyword) {
  SkipBlanks(rest);
  if (!StartsWith(rest, keyword)) return false;
  rest.remove_prefix(keyword.size());
  return true;
}

bool TakeTapState(std::string_view& rest, std::string& code) {
  SkipBlanks(rest);
  for (const auto& [name, value] : kTapStates) {
    if (StartsWith(rest, name)) {
      rest.remove_prefix(name.size());
      code = std::string(value);
      return true;
    }
  }
  code.clear();
  return false;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int AnyCaseHexValue(char c) { return HexDigitValue(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c); }

// A signed 32-bit integer: decimal with an optional sign, or hexadecimal digits
// after "$", "x" or "0x" (the "x" in either case).
bool ReadInt32(std::string_view text, int32_t& value) {
  size_t i = 0;
  int base = 10;
  bool negative = false;
  if (StartsWith(text, "$") || StartsWith(text, "x") || StartsWith(text, "X")) {
    base = 16;
    i = 1;
  } else if (StartsWith(text, "0x") || StartsWith(text, "0X")) {
    base = 16;
    i = 2;
  } else if (StartsWith(text, "+") || StartsWith(text, "-")) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (base == 10 && (c < '0' || c > '9')) return false;
    if (base == 16 && !IsHexDigit(c)) return false;
    v = v * base + (base == 10 ? c - '0' : AnyCaseHexValue(c));
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// A number is the text up to the next space (code 32 only); without that space it
// reads as empty and is rejected. The number is removed, the space stays.
bool TakeNumber(std::string_view& rest, int32_t& value) {
  SkipBlanks(rest);
  const size_t space = rest.find(' ');
  if (space == std::string_view::npos) return false;
  if (!ReadInt32(rest.substr(0, space), value)) return false;
  rest.remove_prefix(space);
  return true;
}

// After a field keyword: blanks, one opening character skipped unread, the value up
// to the first ")". Without a ")" the value is empty and the text goes on from the
// character after the opening one.
void TakeField(std::string_view& rest, std::string& value) {
  SkipBlanks(rest);
  value.clear();
  if (rest.empty()) return;
  rest.remove_prefix(1);
  const size_t close = rest.find(')');
  if (close == std::string_view::npos) return;
  value = std::string(rest.substr(0, close));
  rest.remove_prefix(close + 1);
}

// Upper-cases and byte-reverses a field. False when it holds anything but hex digits
// or an odd number of them: such a field cannot travel as whole record bytes.
bool NormaliseField(std::string& field) {
  if (field.size() % 2 != 0) return false;
  for (char& c : field) {
    if (!IsHexDigit(c)) return false;
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  field = ReverseHexBytes(field);
  return true;
}

bool Finished(std::string_view rest) {
  SkipBlanks(rest);
  return StartsWith(rest, ";");
}

TParseResult ParseEndState(std::string_view rest, uint8_t type) {
  std::string code;
  if (!TakeTapState(rest, code)) return Error();
  if (!Finished(rest)) return Error();
  return BuildHexRecord(type, 0, code);
}

TParseResult ParseStatePath(std::string_view rest) {
  std::string path, code;
  while (TakeTapState(rest, code)) path += code;
  if (rest.empty()) return {};  // the line ended before ";": nothing to do
  if (rest.front() != ';' || path.size() > kMaxRecordDigits) return Error();
  return BuildHexRecord(kEffectState, 0, path);
}

TParseResult ParseRuntest(std::string_view rest) {
  std::string state = "01";  // IDLE unless a run state is named
  std::string code;
  if (TakeTapState(rest, code)) state = code;
  int32_t count = 0;
  if (!TakeNumber(rest, count) || count < 0) return Error();
  if (!Take(rest, "TCK") || !Finished(rest)) return Error();
  return BuildHexRecord(kEffectRuntest, 0, DWordToHex(static_cast<uint32_t>(count)) + state);
}

// Builds the SIR/SDR record once every field is read.
TParseResult FinishShift(bool sdr, TEffectStatement& st) {
  for (std::string* field : {&st.TdiHex, &st.TdoHex, &st.MaskHex, &st.SmaskHex}) {
    if (!NormaliseField(*field)) return Error();
  }
  if (!st.SmaskHex.empty()) AndHexMask(st.SmaskHex, st.TdiHex);
  if (!st.TdoHex.empty()) st.StatementType |= kEffectTdoBit;
  const auto address = static_cast<uint16_t>(st.BitLength);
  if (!sdr) {
    if (st.TdiHex.size() > kMaxRecordDigits) return Error();
    return BuildHexRecord(st.StatementType, address, st.TdiHex);
  }
  if (st.TdiHex.size() < 2) return Error();  // no TDI byte to send
  char fill = 0;
  if (UniformHexDigit(st.TdiHex, fill)) {
    st.StatementType |= kEffectFillBit;
    return BuildHexRecord(st.StatementType, address, std::string(2, fill));
  }
  AppendHexSum(st.TdiHex);
  if (st.TdiHex.size() > kEffectMaxRawBlock) return Error();
  st.RawBlockPending = true;
  return BuildHexRecord(st.StatementType, address, ByteToHex(static_cast<int>(st.TdiHex.size())));
}

// `rest` follows the three letters "SIR" or "SDR".
TParseResult ParseShift(std::string_view rest, bool sdr, TEffectStatement& st) {
  if (rest.empty()) return Error();
  const char mode = rest.front();
  rest.remove_prefix(1);
  uint8_t type = sdr ? kEffectSdr : kEffectSir;
  if (mode == 'S') {
    type |= kEffectModeSBit;
  } else if (mode == 'E') {
    type |= kEffectModeEBit;
  } else if (mode != 'C') {
    type |= kEffectModeSBit | kEffectModeEBit;
  }
  st.StatementType = type;
  int32_t length = 0;
  if (!TakeNumber(rest, length) || length < 0 || length > kEffectMaxBits) return Error();
  st.BitLength = length;
  for (;;) {
    if (Take(rest, "TDI")) {
      TakeField(rest, st.TdiHex);
    } else if (Take(rest, "TDO")) {
      TakeField(rest, st.TdoHex);
    } else if (Take(rest, "MASK")) {
      TakeField(rest, st.MaskHex);
    } else if (Take(rest, "SMASK")) {
      TakeField(rest, st.SmaskHex);
    } else if (StartsWith(rest, ";")) {
      return FinishShift(sdr, st);
    } else {
      return Error();  // an unknown word, or the line ended without ";"
    }
  }
}

}  // namespace

void ParseStatement(std::string_view line, std::string& result, TEffectStatement& st) {
  st = TEffectStatement{};
  std::string_view rest = line;
  SkipBlanks(rest);
  TParseResult parsed;
  if (StartsWith(rest, "//") || StartsWith(rest, "TRST")) {
    return;
  } else if (Take(rest, "ENDIR")) {
    parsed = ParseEndState(rest, kEffectEndIr);
  } else if (Take(rest, "ENDDR")) {
    parsed = ParseEndState(rest, kEffectEndDr);
  } else if (Take(rest, "STATE")) {
    parsed = ParseStatePath(rest);
  } else if (Take(rest, "RUNTEST")) {
    parsed = ParseRuntest(rest);
  } else if (Take(rest, "SIR")) {
    parsed = ParseShift(rest, false, st);
  } else if (Take(rest, "SDR")) {
    parsed = ParseShift(rest, true, st);
  } else {
    parsed = Error();
  }
  if (!parsed.empty()) result = std::move(parsed);
}

bool ParseTapState(std::string& text, std::string& code) {
  std::string_view rest = text;
  const bool found = TakeTapState(rest, code);
  text = std::string(rest);
  return found;
}

std::string ReverseHexBytes(std::string_view hex) {
  std::string out(hex);
  const size_t n = out.size();
  // 0-based: the group at p, p+1 trades places with the group at n-p-2, n-p-1.
  for (size_t p = 0; p + 1 < n / 2; p += 2) {
    std::swap(out[p], out[n - p - 2]);
    std::swap(out[p + 1], out[n - p - 1]);
  }
  return out;
}

void AndHexMask(std::string_view mask, std::string& hex) {
  if (mask.size() != hex.size()) return;
  for (size_t i = 0; i < hex.size(); ++i) {
    hex[i] = HexDigit(HexDigitValue(hex[i]) & HexDigitValue(mask[i]));
  }
}

bool UniformHexDigit(std::string_view hex, char& digit) {
  if (hex.size() < 2) return false;
  for (char c : hex) {
    if (c != hex.front()) return false;
  }
  digit = hex.front();
  return true;
}

void AppendHexSum(std::string& hex) {
  unsigned sum = 0;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    sum += static_cast<unsigned>(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1]));
  }
  hex += ByteToHex(static_cast<int>(sum & 0xFF));
}
