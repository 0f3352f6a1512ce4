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

// Why a line is not a statement, filled where the parse gives up.
struct TWhy {
  std::string reason;    // what is wrong, in the words of the package checker
  std::string unclosed;  // a field of this statement that had no ")"
};

TParseResult Error(TWhy& why, std::string reason) {
  why.reason = why.unclosed.empty() ? std::move(reason) : why.unclosed + " field without ')'";
  return std::string(kEffectErrorResult);
}

// The first word of `rest` (up to a blank, "(", or ";"), for messages.
std::string FirstWord(std::string_view rest) {
  size_t n = 0;
  while (n < rest.size() && static_cast<unsigned char>(rest[n]) > 0x20 && rest[n] != '(' &&
         rest[n] != ';') {
    ++n;
  }
  return std::string(rest.substr(0, n));
}

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
// character after the opening one. False in that case.
bool TakeField(std::string_view& rest, std::string& value) {
  SkipBlanks(rest);
  value.clear();
  if (rest.empty()) return false;
  rest.remove_prefix(1);
  const size_t close = rest.find(')');
  if (close == std::string_view::npos) return false;
  value = std::string(rest.substr(0, close));
  rest.remove_prefix(close + 1);
  return true;
}

// Upper-cases and byte-reverses a field. Fails when it holds anything but hex digits
// or an odd number of them: such a field cannot travel as whole record bytes.
bool NormaliseField(std::string& field, std::string_view name, TWhy& why) {
  for (char& c : field) {
    if (!IsHexDigit(c)) {
      Error(why, std::string(name) + " field holds '" + c + "', which is not a hex digit");
      return false;
    }
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  if (field.size() % 2 != 0) {
    Error(why, std::string(name) + " field has an odd number of digits (" +
                   std::to_string(field.size()) + ")");
    return false;
  }
  field = ReverseHexBytes(field);
  return true;
}

bool Finished(std::string_view rest) {
  SkipBlanks(rest);
  return StartsWith(rest, ";");
}

TParseResult ParseEndState(std::string_view rest, uint8_t type, std::string_view keyword,
                           TWhy& why) {
  std::string code;
  if (!TakeTapState(rest, code)) {
    const std::string word = FirstWord(rest);
    if (word.empty()) return Error(why, std::string(keyword) + " needs a TAP state name");
    return Error(why, "'" + word + "' is not a TAP state");
  }
  if (!Finished(rest)) return Error(why, "missing ';'");
  return BuildHexRecord(type, 0, code);
}

TParseResult ParseStatePath(std::string_view rest, TWhy& why) {
  std::string path, code;
  while (TakeTapState(rest, code)) path += code;
  if (rest.empty()) return {};  // the line ended before ";": nothing to do
  if (rest.front() != ';') return Error(why, "'" + FirstWord(rest) + "' is not a TAP state");
  if (path.size() > kMaxRecordDigits) return Error(why, "STATE path too long for one record");
  return BuildHexRecord(kEffectState, 0, path);
}

// Why RUNTEST's text after its count is not "TCK;".
std::string RuntestTailReason(std::string_view rest) {
  SkipBlanks(rest);
  const std::string word = FirstWord(rest);
  if (word == "SCK") return "RUNTEST counts system clocks (SCK): only TCK counts are accepted";
  if (word != "TCK") return "missing TCK after the RUNTEST clock count";
  rest.remove_prefix(3);
  SkipBlanks(rest);
  if (rest.empty()) return "missing ';'";
  return "RUNTEST with a time, a maximum or an end state: only 'RUNTEST [state] count TCK;' is "
         "accepted";
}

TParseResult ParseRuntest(std::string_view rest, TWhy& why) {
  std::string state = "01";  // IDLE unless a run state is named
  std::string code;
  if (TakeTapState(rest, code)) state = code;
  int32_t count = 0;
  if (!TakeNumber(rest, count)) {
    if (rest.find("SEC") != std::string_view::npos) {
      return Error(why, "RUNTEST with a time in seconds: only clock counts (n TCK) are accepted");
    }
    return Error(why, "RUNTEST needs a clock count: a whole number followed by a blank");
  }
  if (count < 0) return Error(why, "negative RUNTEST clock count");
  std::string_view tail = rest;
  if (!Take(rest, "TCK") || !Finished(rest)) return Error(why, RuntestTailReason(tail));
  return BuildHexRecord(kEffectRuntest, 0, DWordToHex(static_cast<uint32_t>(count)) + state);
}

// Builds the SIR/SDR record once every field is read.
TParseResult FinishShift(bool sdr, TEffectStatement& st, TWhy& why) {
  const std::pair<std::string*, std::string_view> fields[] = {
      {&st.TdiHex, "TDI"}, {&st.TdoHex, "TDO"}, {&st.MaskHex, "MASK"}, {&st.SmaskHex, "SMASK"}};
  for (const auto& [field, name] : fields) {
    if (!NormaliseField(*field, name, why)) return std::string(kEffectErrorResult);
  }
  if (!st.SmaskHex.empty()) AndHexMask(st.SmaskHex, st.TdiHex);
  if (!st.TdoHex.empty()) st.StatementType |= kEffectTdoBit;
  const auto address = static_cast<uint16_t>(st.BitLength);
  if (!sdr) {
    if (st.TdiHex.size() > kMaxRecordDigits) return Error(why, "SIR data too long for one record");
    return BuildHexRecord(st.StatementType, address, st.TdiHex);
  }
  if (st.TdiHex.size() < 2) return Error(why, "SDR needs TDI data of at least one byte");
  char fill = 0;
  if (UniformHexDigit(st.TdiHex, fill)) {
    st.StatementType |= kEffectFillBit;
    return BuildHexRecord(st.StatementType, address, std::string(2, fill));
  }
  AppendHexSum(st.TdiHex);
  if (st.TdiHex.size() > kEffectMaxRawBlock) {
    return Error(why, "SDR data too long: its " + std::to_string(st.TdiHex.size() - 2) +
                          " digits and their sum exceed the 255 characters of a raw block");
  }
  st.RawBlockPending = true;
  return BuildHexRecord(st.StatementType, address, ByteToHex(static_cast<int>(st.TdiHex.size())));
}

// One field keyword and its value; false when none begins `rest`.
bool TakeShiftField(std::string_view& rest, TEffectStatement& st, TWhy& why) {
  const std::pair<std::string_view, std::string*> fields[] = {
      {"TDI", &st.TdiHex}, {"TDO", &st.TdoHex}, {"MASK", &st.MaskHex}, {"SMASK", &st.SmaskHex}};
  for (const auto& [name, value] : fields) {
    if (!Take(rest, name)) continue;
    if (!TakeField(rest, *value) && why.unclosed.empty()) why.unclosed = std::string(name);
    return true;
  }
  return false;
}

// `rest` follows the three letters "SIR" or "SDR".
TParseResult ParseShift(std::string_view rest, bool sdr, TEffectStatement& st, TWhy& why) {
  const std::string keyword = sdr ? "SDR" : "SIR";
  if (rest.empty()) return Error(why, keyword + " needs a length");
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
  if (!TakeNumber(rest, length)) {
    return Error(why, keyword + " length must be a whole number followed by a blank");
  }
  if (length < 0) return Error(why, "negative " + keyword + " length");
  if (length > kEffectMaxBits) return Error(why, keyword + " longer than 512 bits");
  st.BitLength = length;
  while (TakeShiftField(rest, st, why)) {
  }
  if (StartsWith(rest, ";")) return FinishShift(sdr, st, why);
  if (rest.empty()) return Error(why, "missing ';'");
  return Error(why, "'" + FirstWord(rest) + "' is not a field of " + keyword);
}

// Why a line that begins with none of the statements is not one.
std::string ForeignLineReason(std::string_view rest) {
  if (rest.empty()) return "blank line";
  if (StartsWith(rest, "!")) return "'!' comments are not part of the Effect language; write '//'";
  const std::string word = FirstWord(rest);
  for (std::string_view foreign : {"FREQUENCY", "HIR", "TIR", "HDR", "TDR", "PIOMAP", "PIO"}) {
    if (word == foreign) return word + " is not part of the Effect language";
  }
  std::string upper = word;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  for (std::string_view known : {"ENDIR", "ENDDR", "STATE", "RUNTEST", "SIR", "SDR", "TRST"}) {
    if (upper == known && word != upper) return "keywords are upper case: '" + word + "'";
  }
  if (word.empty()) return "'" + std::string(rest.substr(0, 1)) + "' begins no statement";
  return "'" + word + "' is not an Effect statement";
}

}  // namespace

void ParseStatement(std::string_view line, std::string& result, TEffectStatement& st) {
  std::string reason;
  ParseStatement(line, result, st, reason);
}

void ParseStatement(std::string_view line, std::string& result, TEffectStatement& st,
                    std::string& reason) {
  st = TEffectStatement{};
  std::string_view rest = line;
  SkipBlanks(rest);
  TParseResult parsed;
  TWhy why;
  if (StartsWith(rest, "//") || StartsWith(rest, "TRST")) {
    return;
  } else if (Take(rest, "ENDIR")) {
    parsed = ParseEndState(rest, kEffectEndIr, "ENDIR", why);
  } else if (Take(rest, "ENDDR")) {
    parsed = ParseEndState(rest, kEffectEndDr, "ENDDR", why);
  } else if (Take(rest, "STATE")) {
    parsed = ParseStatePath(rest, why);
  } else if (Take(rest, "RUNTEST")) {
    parsed = ParseRuntest(rest, why);
  } else if (Take(rest, "SIR")) {
    parsed = ParseShift(rest, false, st, why);
  } else if (Take(rest, "SDR")) {
    parsed = ParseShift(rest, true, st, why);
  } else {
    parsed = Error(why, ForeignLineReason(rest));
  }
  if (parsed == kEffectErrorResult) reason = std::move(why.reason);
  if (!parsed.empty()) result = std::move(parsed);
}

std::string CheckEffectLine(std::string_view line) {
  TEffectStatement st;
  std::string result, reason;
  ParseStatement(line, result, st, reason);
  return reason;
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
