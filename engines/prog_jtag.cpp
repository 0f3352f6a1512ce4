#include "engines/prog_jtag.h"

#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

#include "engines/intel_hex.h"
#include "engines/text_util.h"

namespace fs = std::filesystem;

namespace {

constexpr char kEsc = '\x1b';
// What can begin captured data (digits, an escape, or the "." of a reply too short
// to check, which is asked for again), or the device's "X" and "R", where a
// statement with TDO awaits its captured data.
constexpr std::string_view kCaptureStarts = "0123456789ABCDEFabcdef\x1b.XR";
// The longest identifier text: 32 identifiers of 32 bits; a chain reports two.
constexpr size_t kLongestIdText = 256;
// The longest captured-data text before its end mark: a 512-bit shift is 128
// digits and two sum digits (an escape pair stands for two digits); twice that
// leaves room for stray escapes, which the decoding drops.
constexpr size_t kLongestCapture = 2 * (kEffectMaxBits / 4 + 2);

bool IsComponentCode(char c) { return c == '8' || c == '9' || c == 'A' || c == 'C'; }

// A piece of `s` that may lie partly or wholly past its end.
std::string SafeSubstr(const std::string& s, size_t pos, size_t len) {
  return pos < s.size() ? s.substr(pos, len) : std::string();
}

// Captured data travels as hex text in which ESC ESC stands for "1B" and ESC "0"
// for "00"; ESC "." ends it, any other ESC is dropped. As the device sends it, the
// final character can only be the "." of the end mark, so the walk stops one short
// of the end and never looks past it.
std::string DecodeCapturedData(const std::string& in) {
  std::string out;
  size_t i = 0;
  while (i + 1 < in.size()) {
    if (in[i] != kEsc) {
      out += in[i++];
      continue;
    }
    const char next = in[i + 1];
    if (next == '.') break;
    if (next == kEsc) {
      out += "1B";
      i += 2;
    } else if (next == '0') {
      out += "00";
      i += 2;
    } else {
      ++i;  // an unknown escape: drop the ESC, read the next character normally
    }
  }
  return out;
}

// True when the last two digits of `text` are the 8-bit sum of the complete digit
// pairs before them. A text too short to hold the two sum digits fails.
bool CapturedChecksumMatches(const std::string& text) {
  if (text.size() < 2) return false;
  const size_t data_end = text.size() - 2;
  unsigned sum = 0;
  for (size_t i = 0; i + 2 <= data_end; i += 2) {
    sum += static_cast<unsigned>(HexDigitValue(text[i]) * 16 + HexDigitValue(text[i + 1]));
  }
  const unsigned expected =
      static_cast<unsigned>(HexDigitValue(text[data_end]) * 16 + HexDigitValue(text[data_end + 1]));
  return (sum & 0xFF) == expected;
}

}  // namespace

TProgJtag::TProgJtag(TMsClock& clock) : clock_(clock) {}

TProgJtag::~TProgJtag() { CloseEffectFile(); }

void TProgJtag::Step() {
  switch (state_) {
    case TJtagState::JTAG_IDLE:
      Idle();
      break;
    case TJtagState::JTAG_ID_SEND:
      IdSend();
      break;
    case TJtagState::JTAG_ID_ACK:
      IdAck();
      break;
    case TJtagState::JTAG_ID_DATA:
      IdData();
      break;
    case TJtagState::JTAG_PLAY_CHECK:
      PlayCheck();
      break;
    case TJtagState::JTAG_PLAY_ACK:
      PlayAck();
      break;
    case TJtagState::JTAG_PAUSE:
      Pause();
      break;
    case TJtagState::JTAG_PLAY:
      Play();
      break;
    case TJtagState::JTAG_END_WAIT:
      EndWait();
      break;
    case TJtagState::JTAG_FINISH_SEND:
      FinishSend();
      break;
    case TJtagState::JTAG_FINISH_ACK:
      FinishAck();
      break;
    case TJtagState::JTAG_DONE:
      Done();
      break;
    case TJtagState::JTAG_ERROR:
      break;
  }
}

void TProgJtag::PostError(const std::string& text) {
  TGestionnaire::PostError(text);
  CloseEffectFile();
  ClearBusy();
  state_ = TJtagState::JTAG_ERROR;
}

void TProgJtag::ResetEngine() {
  TGestionnaire::ResetEngine();
  CloseEffectFile();
  state_ = TJtagState::JTAG_IDLE;
}

int32_t TProgJtag::OpenEffectFile(const std::string& path) {
  CloseEffectFile();
  const fs::path resolved = PathFromUtf8(ResolvePath(path));
  std::error_code ec;
  // A dangling link is a name that exists but cannot be opened; a folder is no file.
  if (!fs::exists(fs::symlink_status(resolved, ec))) return kEffectFileMissing;
  if (fs::is_directory(fs::status(resolved, ec))) return kEffectFileMissing;
  if (!effect_file_.Open(path)) return kEffectFileUnreadable;
  int32_t count = 0;
  std::string line;
  while (effect_file_.ReadLine(line)) {
    if (count == std::numeric_limits<int32_t>::max()) break;
    ++count;
  }
  const bool failed = effect_file_.Failed();
  effect_file_.Close();
  if (failed || !effect_file_.Open(path)) return kEffectFileUnreadable;  // reopen = rewind
  return count;
}

void TProgJtag::CloseEffectFile() { effect_file_.Close(); }

std::string TProgJtag::FirstReplyMark() const {
  const size_t p = BufIn.find_first_of(".XR");
  return p == std::string::npos ? std::string() : std::string(1, BufIn[p]);
}

void TProgJtag::ParseStatement(const std::string& line, std::string& result) {
  ::ParseStatement(line, result, *this);
}

TJtagInstruction TProgJtag::ParseInstruction(std::string_view line) {
  using K = TJtagInstruction::TKind;
  TJtagInstruction parsed;
  if (line.empty()) return parsed;
  const char keyword = line.front();
  if (keyword != 'D' && keyword != 'P' && keyword != 'F') return parsed;
  const std::string rest = Trim(line.substr(1));
  if (rest.empty() || !IsComponentCode(rest.front())) return parsed;
  parsed.Kind = keyword == 'D' ? K::JTAG_ID : keyword == 'P' ? K::JTAG_PLAY : K::JTAG_FINISH;
  parsed.Code = rest.front();
  if (keyword == 'P') parsed.File = Trim(std::string_view(rest).substr(1));
  return parsed;
}

void TProgJtag::Idle() {
  using K = TJtagInstruction::TKind;
  if (Busy) return;
  if (Instruction.empty()) return;
  const TJtagInstruction parsed = ParseInstruction(Instruction);
  // Reading "D", "P" or "F" removes the keyword even from a line another engine
  // takes; the sequencer hands every engine the line afresh.
  if (std::string_view("DPF").find(Instruction.front()) != std::string_view::npos) {
    Instruction = Trim(std::string_view(Instruction).substr(1));
  }
  if (parsed.Kind == K::JTAG_NONE) return;
  SetBusy();
  state_ = parsed.Kind == K::JTAG_ID     ? TJtagState::JTAG_ID_SEND
           : parsed.Kind == K::JTAG_PLAY ? TJtagState::JTAG_PLAY_CHECK
                                         : TJtagState::JTAG_FINISH_SEND;
}

void TProgJtag::IdSend() {
  Component = Instruction.substr(0, 1);
  SendLine("D" + Component);
  state_ = TJtagState::JTAG_ID_ACK;
}

void TProgJtag::IdAck() {
  if (!ReceiveAck()) return;
  PostInfo("Extract JTAG Devices ID");
  state_ = TJtagState::JTAG_ID_DATA;
}

void TProgJtag::IdData() {
  PullInput();
  if (!AlignDataReply(1, kLongestIdText, IsHexDigitChar)) return;
  const size_t p = BufIn.find('.');
  // The chain answers with two 32-bit identifiers; an all-ones first one means that
  // position holds no device, and component "C" always reports its second one.
  const std::string reversed = ReverseHexBytes(BufIn.substr(0, p));
  const bool second = Component == "C" || StartsWith(reversed, "FFFFFFFFFFFFFFFF");
  const std::string kept = SafeSubstr(reversed, second ? 16 : 0, 16);
  PostInfo("ID Number : [" + SafeSubstr(kept, 0, 8) + "][" + SafeSubstr(kept, 8, 8) + "]");
  ClearInput();
  state_ = TJtagState::JTAG_DONE;
}

void TProgJtag::PlayCheck() {
  if (!UpdateAllowed) {
    PostError("Update Not Allowed !!!");
    state_ = TJtagState::JTAG_DONE;  // the engine ends up idle, not in error
    return;
  }
  Component = Instruction.substr(0, 1);
  Instruction = Trim(std::string_view(Instruction).substr(1));
  SendLine("P" + Component);
  state_ = TJtagState::JTAG_PLAY_ACK;
}

void TProgJtag::PlayAck() {
  if (!ReceiveAck()) return;
  effect_path_ = CurentDir + Instruction;
  LineCount = OpenEffectFile(effect_path_);
  if (LineCount == kEffectFileMissing) {
    PostError(effect_path_ + " File not found !!!");
    return;
  }
  if (LineCount == kEffectFileUnreadable) {
    PostError(effect_path_ + " File cannot be read !!!");
    return;
  }
  if (!effect_check_.Open(effect_path_)) {
    PostError(effect_path_ + " File cannot be read !!!");
    return;
  }
  SetMaxProgress(LineCount);
  pause_start_ = clock_.TickCount();
  state_ = TJtagState::JTAG_PAUSE;
}

// While the device settles, the whole file is checked, a slice per Step: a line the
// device could never take ends the playback before the first statement is sent.
// The first statement waits for both the pause and the check.
bool TProgJtag::EffectFileChecked() {
  if (effect_check_.Done()) return true;
  effect_check_.Advance(kCheckSliceLines);
  if (!effect_check_.Faults().empty()) {
    const TEffectFault& fault = effect_check_.Faults().front();
    PostError(effect_path_ + ":" + std::to_string(fault.Line) + ": " + fault.Reason + " !!!");
    return false;
  }
  if (effect_check_.ReadFailed()) {
    PostError(effect_path_ + " File cannot be read !!!");
    return false;
  }
  return effect_check_.Done();
}

std::optional<uint32_t> TProgJtag::PauseLeftMs() const {
  if (state_ != TJtagState::JTAG_PAUSE || !effect_check_.Done()) return std::nullopt;
  const uint32_t elapsed = clock_.TickCount() - pause_start_;  // unsigned: survives wrap
  return elapsed >= kPauseMs ? 0 : kPauseMs - elapsed;
}

void TProgJtag::Pause() {
  if (!EffectFileChecked()) return;
  if (clock_.TickCount() - pause_start_ < kPauseMs) return;  // unsigned: survives wrap
  StartRetransmissionCount();
  LineNumber = 0;
  if (LineCount == 0) {
    PostError("Effect File Empty !!!");
    return;
  }
  SendNextStatement();
}

// A line that is no statement here can only be one the file gained after its
// check; it is not sent, and the error names the file, the line and the reason.
void TProgJtag::SendNextStatement() {
  std::string result, reason;
  while (result.empty() && LineNumber < LineCount) {
    if (!effect_file_.ReadLine(CurrentLine)) {  // read error, or the file shrank
      PostError(effect_path_ + " File cannot be read !!!");
      return;
    }
    ::ParseStatement(CurrentLine, result, *this, reason);
    ++LineNumber;
  }
  if (result.empty()) {
    SendLine(std::string(kEffectEndRecord) + "\r\n");
    state_ = TJtagState::JTAG_END_WAIT;
  } else if (result == kEffectErrorResult) {
    PostError(effect_path_ + ":" + std::to_string(LineNumber) + ": " + reason + " !!!");
  } else {
    SendLine(result + "\r\n");
    state_ = TJtagState::JTAG_PLAY;
  }
}

// What no reply of the statement in flight can begin with. Waiting for ESC "."
// (a long SDR's record): all but ESC, ".", "X" and "R", and an ESC that another
// byte than "." follows. Waiting for captured data: all but digits, ESC, ".", "X"
// and "R", and what lies further ahead of the first mark than the longest capture.
// Otherwise all but ".", "X" and "R".
bool TProgJtag::DropPlayNoise() {
  if (RawBlockPending) {
    size_t n = 0;
    for (; n < BufIn.size(); ++n) {
      const char c = BufIn[n];
      if (c == '.' || c == 'X' || c == 'R') break;
      if (c == kEsc && (n + 1 == BufIn.size() || BufIn[n + 1] == '.')) break;
    }
    return DropNoise(n);
  }
  if ((StatementType & kEffectTdoBit) != 0) {
    return DropNoiseBefore(kCaptureStarts) && DropStaleData(kLongestCapture, ".XR");
  }
  return DropNoiseBefore(".XR");
}

void TProgJtag::Play() {
  PullInput();
  if (!DropPlayNoise()) return;
  const std::string mark = FirstReplyMark();
  if (mark == ".") {
    if (RawBlockPending) {
      ConsumeInput(2);  // the device's ESC and "."
      SendLine(TdiHex);
      RawBlockPending = false;
    } else if ((StatementType & kEffectTdoBit) != 0) {
      CheckCapturedData();
    } else {
      ClearInput();
      StepProgress();
      SendNextStatement();
    }
  } else if (mark == "X") {
    ClearInput();
    PostError("Error while executing Effect file line : " + std::to_string(LineNumber));
  } else if (mark == "R") {
    ClearInput();
    if (!CountRetransmission()) return;
    std::string record;
    ParseStatement(CurrentLine, record);  // rebuilds the fields, re-arms a raw block
    SendLine(record + "\r\n");
  }
}

void TProgJtag::CheckCapturedData() {
  const std::string text = DecodeCapturedData(BufIn);
  ClearInput();
  if (!CapturedChecksumMatches(text)) {
    if (CountRetransmission()) SendLine("R");
    return;
  }
  SendLine(".");
  std::string captured = text.substr(0, text.size() - 2);
  if (!MaskHex.empty()) {
    AndHexMask(MaskHex, captured);
    AndHexMask(MaskHex, TdoHex);
  }
  if (captured != TdoHex) {
    PostError("Error while executing Effect file line : " + std::to_string(LineNumber));
    return;
  }
  StatementType = 0;  // checked: the device's "." completes the statement
}

void TProgJtag::EndWait() {
  if (AwaitReply(".XR") == 0) return;
  const std::string mark = FirstReplyMark();
  if (mark.empty()) return;
  ClearInput();
  if (mark == ".") {
    state_ = TJtagState::JTAG_DONE;
  } else if (mark == "X") {
    PostError(kInstructionUnknown);
  } else {
    PostError(kTooManyRetransmissions);  // the end record is never resent
  }
}

void TProgJtag::FinishSend() {
  Component = Instruction.substr(0, 1);
  SendLine("F" + Component);
  state_ = TJtagState::JTAG_FINISH_ACK;
}

void TProgJtag::FinishAck() {
  if (ReceiveAck()) state_ = TJtagState::JTAG_DONE;
}

std::string TProgJtag::AwaitedReply() const {
  switch (state_) {
    case TJtagState::JTAG_ID_DATA:
      return "the JTAG identifiers of component " + Component;
    case TJtagState::JTAG_PLAY:
      return "the answer to line " + std::to_string(LineNumber) + " of " + effect_path_;
    case TJtagState::JTAG_END_WAIT:
      return "the answer to the end of " + effect_path_;
    default:
      return TGestionnaire::AwaitedReply();
  }
}

void TProgJtag::Done() {
  CloseEffectFile();
  ClearBusy();
  state_ = TJtagState::JTAG_IDLE;
}
