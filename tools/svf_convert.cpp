// SVF to Effect: the reader (statements joined across lines, comments) and one
// function per statement kind. SVF keywords are case-insensitive; the Effect
// language's are upper case, and so is everything written here.
#include "tools/svf_convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

#include "engines/effect_language.h"
#include "tools/svf_bits.h"

namespace {

constexpr size_t kMaxShiftBits = 512;  // the longest SIR or SDR a statement may shift
constexpr size_t kMaxStatePath = 255;  // states in one STATE record

const char* const kTapStates[] = {
    "RESET",    "IDLE",     "DRSELECT",  "DRCAPTURE", "DRSHIFT", "DREXIT1", "DRPAUSE", "DREXIT2",
    "DRUPDATE", "IRSELECT", "IRCAPTURE", "IRSHIFT",   "IREXIT1", "IRPAUSE", "IREXIT2", "IRUPDATE"};

bool IsTapState(const std::string& word) {
  return std::find(std::begin(kTapStates), std::end(kTapStates), word) != std::end(kTapStates);
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string Upper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return s;
}

std::string TrimText(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

// One SVF statement: its words, upper-cased, a parenthesised field as one word
// "(...)" with the blanks inside removed (hex strings may be wrapped over lines).
struct TStatement {
  int32_t Line = 0;
  std::vector<std::string> Words;
};

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool in_field = false;
  for (char c : text) {
    if (in_field) {
      if (!IsBlank(c)) word += c;
      if (c == ')') {
        words.push_back(Upper(word));
        word.clear();
        in_field = false;
      }
    } else if (c == '(' || IsBlank(c)) {
      if (!word.empty()) words.push_back(Upper(word));
      word.clear();
      if (c == '(') {
        word = "(";
        in_field = true;
      }
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(Upper(word));
  return words;
}

// A number as SVF writes it: "100", "1E6", "1.00e+006", "50021E-6".
std::optional<double> ReadNumber(const std::string& word) {
  double value = 0;
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The state of one scan kind (HIR, TIR, HDR, TDR, SIR or SDR) that SVF carries
// from one statement of the kind to the next.
struct TScan {
  size_t Length = 0;
  bool Given = false;  // a statement of this kind was read
  TSvfBits Tdi, Tdo, Mask, Smask;
  bool HasTdo = false;  // TDO is not carried: only the statement's own
};

class TConverter {
 public:
  TConverter(const TSvfOptions& options, TSvfConversion& out) : options_(options), out_(out) {}

  void Comment(std::string_view text) {
    if (options_.KeepComments) out_.Lines.push_back("// " + TrimText(text));
  }
  void Statement(const TStatement& st);

 private:
  void Refuse(const TStatement& st, std::string text) {
    out_.Refusals.push_back({st.Line, std::move(text)});
  }
  void Note(const TStatement& st, std::string text) {
    out_.Notes.push_back({st.Line, std::move(text)});
  }
  // A line of the Effect file, checked with the playback's own parser.
  void Emit(const TStatement& st, const std::string& line) {
    const std::string reason = CheckEffectLine(line);
    if (!reason.empty()) return Refuse(st, "cannot be written as an Effect statement: " + reason);
    out_.Lines.push_back(line);
  }

  void EndState(const TStatement& st);
  void StatePath(const TStatement& st);
  void Trst(const TStatement& st);
  void HeaderTrailer(const TStatement& st);
  void Shift(const TStatement& st);
  void Runtest(const TStatement& st);
  bool ReadScan(const TStatement& st, TScan& scan);
  bool ReadField(const TStatement& st, const std::string& name, const std::string& value,
                 size_t length, TSvfBits& bits);

  const TSvfOptions& options_;
  TSvfConversion& out_;
  std::map<std::string, TScan> scans_;  // by keyword
  std::string run_state_ = "IDLE";      // RUNTEST's run state, carried
  std::string end_state_;               // RUNTEST's end state, carried; "": the run state
};

void TConverter::Statement(const TStatement& st) {
  if (st.Words.empty()) return Refuse(st, "empty statement");
  const std::string& keyword = st.Words[0];
  if (keyword == "ENDIR" || keyword == "ENDDR") return EndState(st);
  if (keyword == "STATE") return StatePath(st);
  if (keyword == "TRST") return Trst(st);
  if (keyword == "FREQUENCY") {
    return Note(st, "FREQUENCY dropped: the device clocks the chain at its own rate");
  }
  if (keyword == "HIR" || keyword == "TIR" || keyword == "HDR" || keyword == "TDR") {
    return HeaderTrailer(st);
  }
  if (keyword == "SIR" || keyword == "SDR") return Shift(st);
  if (keyword == "RUNTEST") return Runtest(st);
  if (keyword == "PIO" || keyword == "PIOMAP") {
    return Refuse(st, keyword + " cannot be expressed: the device has no parallel pins to drive");
  }
  Refuse(st, "'" + keyword + "' is not an SVF statement");
}

void TConverter::EndState(const TStatement& st) {
  if (st.Words.size() != 2 || !IsTapState(st.Words[1])) {
    return Refuse(st, st.Words[0] + " takes one TAP state");
  }
  Emit(st, st.Words[0] + " " + st.Words[1] + ";");
}

void TConverter::StatePath(const TStatement& st) {
  if (st.Words.size() < 2) return Refuse(st, "STATE without a state");
  if (st.Words.size() - 1 > kMaxStatePath) return Refuse(st, "STATE path longer than 255 states");
  std::string line = "STATE";
  for (size_t i = 1; i < st.Words.size(); ++i) {
    if (!IsTapState(st.Words[i])) return Refuse(st, "'" + st.Words[i] + "' is not a TAP state");
    line += " " + st.Words[i];
  }
  Emit(st, line + ";");
}

// TRST lines are kept; the playback skips them, so only OFF and ABSENT mean what
// they say.
void TConverter::Trst(const TStatement& st) {
  static const char* const kModes[] = {"ON", "OFF", "Z", "ABSENT"};
  if (st.Words.size() != 2 ||
      std::find(std::begin(kModes), std::end(kModes), st.Words[1]) == std::end(kModes)) {
    return Refuse(st, "TRST takes ON, OFF, Z or ABSENT");
  }
  if (st.Words[1] == "ON" || st.Words[1] == "Z") {
    Note(st, "TRST " + st.Words[1] + " kept, but the playback does not drive a TRST line");
  }
  Emit(st, "TRST " + st.Words[1] + ";");
}

bool TConverter::ReadField(const TStatement& st, const std::string& name, const std::string& value,
                           size_t length, TSvfBits& bits) {
  if (value.size() < 2 || value.front() != '(' || value.back() != ')') {
    Refuse(st, name + " needs a value in parentheses");
    return false;
  }
  std::string reason;
  if (SvfHexToBits(std::string_view(value).substr(1, value.size() - 2), length, bits, reason)) {
    return true;
  }
  Refuse(st, name + ": " + reason);
  return false;
}

// A scan statement's length and fields, with SVF's carried values filled in:
// TDI, MASK and SMASK stay from the last statement of the kind while the length
// is the same; MASK and SMASK are all ones after a change; TDO is never carried.
bool TConverter::ReadScan(const TStatement& st, TScan& scan) {
  const std::string& keyword = st.Words[0];
  const std::optional<double> length = st.Words.size() > 1 ? ReadNumber(st.Words[1]) : std::nullopt;
  if (!length || *length < 0 || *length != std::floor(*length) || *length > 1e9) {
    Refuse(st, keyword + " needs a length in bits");
    return false;
  }
  const TScan previous = scans_[keyword];
  scan = TScan{};
  scan.Length = static_cast<size_t>(*length);
  scan.Given = true;
  const bool same = previous.Given && previous.Length == scan.Length;
  bool tdi = false, mask = false, smask = false;
  for (size_t i = 2; i < st.Words.size(); i += 2) {
    const std::string& name = st.Words[i];
    const std::string value = i + 1 < st.Words.size() ? st.Words[i + 1] : "";
    TSvfBits* target = name == "TDI"     ? &scan.Tdi
                       : name == "TDO"   ? &scan.Tdo
                       : name == "MASK"  ? &scan.Mask
                       : name == "SMASK" ? &scan.Smask
                                         : nullptr;
    if (target == nullptr) {
      Refuse(st, "'" + name + "' is not a field of " + keyword);
      return false;
    }
    if (!ReadField(st, name, value, scan.Length, *target)) return false;
    tdi |= name == "TDI", mask |= name == "MASK", smask |= name == "SMASK";
    scan.HasTdo |= name == "TDO";
  }
  if (!tdi && scan.Length > 0 && !same) {
    Refuse(st, keyword + " " + std::to_string(scan.Length) +
                   " has no TDI and no earlier one of that length to repeat");
    return false;
  }
  if (!tdi) scan.Tdi = same ? previous.Tdi : SvfFill(scan.Length, 0);
  if (!mask) scan.Mask = same ? previous.Mask : SvfFill(scan.Length, 1);
  if (!smask) scan.Smask = same ? previous.Smask : SvfFill(scan.Length, 1);
  if (!scan.HasTdo) scan.Tdo = SvfFill(scan.Length, 0);
  scans_[keyword] = scan;
  return true;
}

void TConverter::HeaderTrailer(const TStatement& st) {
  TScan scan;
  if (!ReadScan(st, scan)) return;
  const std::string& keyword = st.Words[0];
  if (scan.Length == 0) return Note(st, keyword + " 0 dropped: no bits to add");
  const char* shifts = keyword[1] == 'I' ? "SIR" : "SDR";
  Note(st, keyword + " " + std::to_string(scan.Length) + " folded into every " + shifts +
               " that follows");
}

// One SIR or SDR: its header, its own bits and its trailer shifted as one
// statement (the header first), SMASK applied to TDI, and TDO with a MASK that
// ignores the parts without TDO and the padding of the last byte.
void TConverter::Shift(const TStatement& st) {
  TScan own;
  if (!ReadScan(st, own)) return;
  const bool ir = st.Words[0] == "SIR";
  const TScan& header = scans_[ir ? "HIR" : "HDR"];
  const TScan& trailer = scans_[ir ? "TIR" : "TDR"];
  TSvfBits tdi, tdo, mask;
  bool has_tdo = false;
  const TScan* const parts[] = {&header, &own, &trailer};
  for (const TScan* part : parts) {
    TSvfBits sent = part->Tdi;
    for (size_t i = 0; i < sent.size(); ++i) sent[i] &= part->Smask[i];
    tdi = SvfConcat(tdi, sent);
    tdo = SvfConcat(tdo, part->Tdo);
    mask = SvfConcat(mask, part->HasTdo ? part->Mask : SvfFill(part->Length, 0));
    has_tdo |= part->HasTdo;
  }
  if (tdi.empty()) return Refuse(st, st.Words[0] + " of 0 bits cannot be expressed");
  if (tdi.size() > kMaxShiftBits) {
    return Refuse(st, st.Words[0] + " of " + std::to_string(tdi.size()) +
                          " bits (with header and trailer) is longer than the 512 bits a "
                          "statement may shift");
  }
  std::string line =
      st.Words[0] + " " + std::to_string(tdi.size()) + " TDI (" + SvfBitsToHex(tdi) + ")";
  if (has_tdo) {
    line += " TDO (" + SvfBitsToHex(tdo) + ")";
    const bool all = std::all_of(mask.begin(), mask.end(), [](uint8_t b) { return b == 1; });
    if (!all || mask.size() % 8 != 0) line += " MASK (" + SvfBitsToHex(mask) + ")";
  }
  Emit(st, line + ";");
}

// RUNTEST [run_state] [count TCK|SCK] [time SEC [MAXIMUM time SEC]] [ENDSTATE end];
// The run and end states carry to later RUNTESTs. Becomes "RUNTEST state n TCK;"
// with n the larger of the count and the time in clocks, and a STATE line when the
// end state differs from the run state.
void TConverter::Runtest(const TStatement& st) {
  const std::vector<std::string>& w = st.Words;
  size_t i = 1;
  if (i < w.size() && IsTapState(w[i])) run_state_ = w[i++];
  std::optional<double> count, time;
  std::string time_word;
  if (i + 1 < w.size() && (w[i + 1] == "TCK" || w[i + 1] == "SCK")) {
    if (w[i + 1] == "SCK")
      return Refuse(st, "RUNTEST counts of the system clock (SCK) cannot be expressed");
    count = ReadNumber(w[i]);
    if (!count || *count < 0) return Refuse(st, "RUNTEST count '" + w[i] + "' is not a number");
    i += 2;
  }
  if (i + 1 < w.size() && w[i + 1] == "SEC") {
    time = ReadNumber(w[i]);
    time_word = w[i];
    if (!time || *time < 0) return Refuse(st, "RUNTEST time '" + w[i] + "' is not a number");
    i += 2;
  }
  if (i + 2 < w.size() && w[i] == "MAXIMUM" && w[i + 2] == "SEC") {
    Note(st, "RUNTEST maximum time dropped: the device runs the clocks and no longer");
    i += 3;
  }
  if (i + 1 < w.size() && w[i] == "ENDSTATE" && IsTapState(w[i + 1])) {
    end_state_ = w[i + 1];
    i += 2;
  }
  if (i != w.size() || (!count && !time)) {
    return Refuse(st,
                  "RUNTEST must read [state] [count TCK] [time SEC [MAXIMUM time SEC]] "
                  "[ENDSTATE state]");
  }
  double clocks = count ? std::ceil(*count) : 0;
  if (time) {
    if (options_.TckHz == 0) {
      return Refuse(st, "RUNTEST with a time in seconds needs the chain's clock: give --tck-hz");
    }
    const double timed = std::ceil(*time * static_cast<double>(options_.TckHz) - 1e-6);
    Note(st, "RUNTEST time " + time_word + " SEC is " +
                 std::to_string(static_cast<uint64_t>(timed)) + " clocks at " +
                 std::to_string(options_.TckHz) + " Hz");
    clocks = std::max(clocks, timed);
  }
  if (clocks > std::numeric_limits<int32_t>::max()) {
    return Refuse(st, "RUNTEST of more than 2147483647 clocks cannot be expressed");
  }
  Emit(st, "RUNTEST " + run_state_ + " " + std::to_string(static_cast<int64_t>(clocks)) + " TCK;");
  const std::string end = end_state_.empty() ? run_state_ : end_state_;
  if (end != run_state_) Emit(st, "STATE " + end + ";");
}

// Splits the text into statements at ";", across lines, and hands comments ("!" or
// "//" to the end of the line) to the converter on the way.
void ReadStatements(std::string_view text, TConverter& converter, TSvfConversion& out) {
  TStatement current;
  std::string body;
  int32_t line = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '!' || (c == '/' && i + 1 < text.size() && text[i + 1] == '/')) {
      size_t end = text.find_first_of("\r\n", i);
      if (end == std::string_view::npos) end = text.size();
      converter.Comment(text.substr(i + (c == '!' ? 1 : 2), end - i - (c == '!' ? 1 : 2)));
      i = end - 1;
      continue;
    }
    if (c == '\n' || (c == '\r' && !(i + 1 < text.size() && text[i + 1] == '\n'))) ++line;
    if (c == ';') {
      current.Words = SplitWords(body);
      converter.Statement(current);
      body.clear();
      continue;
    }
    if (body.empty() && IsBlank(c)) continue;
    if (body.empty()) current.Line = line;
    body += c;
  }
  if (!TrimText(body).empty()) out.Refusals.push_back({current.Line, "statement without ';'"});
}

}  // namespace

TSvfConversion ConvertSvf(std::string_view text, const TSvfOptions& options) {
  TSvfConversion out;
  TConverter converter(options, out);
  ReadStatements(text, converter, out);
  return out;
}

std::string FormatSvfRefusal(const std::string& file, const TSvfMessage& message) {
  return file + ":" + std::to_string(message.Line) + ": " + message.Text;
}

std::string FormatSvfNote(const std::string& file, const TSvfMessage& message) {
  return file + ":" + std::to_string(message.Line) + ": note: " + message.Text;
}
