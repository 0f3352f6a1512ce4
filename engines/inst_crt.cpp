#include "engines/inst_crt.h"

#include <algorithm>
#include <utility>

#include "common/number_text.h"
#include "engines/card_table.h"
#include "engines/text_util.h"

namespace {
// The supervisor's reply to a version read: four characters, then ".".
constexpr size_t kVersionLength = 4;
}  // namespace

TInstCrt::TInstCrt(TMsClock& clock) : clock_(clock) {}

void TInstCrt::Step() {
  switch (state_) {
    case TCrtState::CRT_IDLE:
      Idle();
      break;
    case TCrtState::CRT_PROMPT:
      Prompt();
      break;
    case TCrtState::CRT_WAIT_START:
      WaitStart();
      break;
    case TCrtState::CRT_WAIT_TIME:
      WaitTime();
      break;
    case TCrtState::CRT_COMMAND_SEND:
      CommandSend();
      break;
    case TCrtState::CRT_COMMAND_ACK:
      CommandAck();
      break;
    case TCrtState::CRT_WRITE_SEND:
      WriteSend();
      break;
    case TCrtState::CRT_WRITE_ACK:
      WriteAck();
      break;
    case TCrtState::CRT_WRITE_RESULT:
      WriteResult();
      break;
    case TCrtState::CRT_VERSION_SEND:
      VersionSend();
      break;
    case TCrtState::CRT_VERSION_ACK:
      VersionAck();
      break;
    case TCrtState::CRT_VERSION_READ:
      VersionRead();
      break;
    case TCrtState::CRT_PING_SEND:
      PingSend();
      break;
    case TCrtState::CRT_PING_REPLY:
      PingReply();
      break;
    case TCrtState::CRT_L_SEND:
      LSend();
      break;
    case TCrtState::CRT_L_ACK:
      LAck();
      break;
    case TCrtState::CRT_DONE:
      Done();
      break;
    case TCrtState::CRT_ERROR:
      break;
  }
}

void TInstCrt::PostError(const std::string& text) {
  ClearBusy();
  state_ = TCrtState::CRT_ERROR;
  TGestionnaire::PostError(text);
}

void TInstCrt::ResetEngine() {
  TGestionnaire::ResetEngine();
  state_ = TCrtState::CRT_IDLE;
}

// Keywords in the order they are tested; "UV" after "V" is safe because the test is
// at the first character.
bool TInstCrt::MatchKeyword(std::string_view line, TCrtOp& op, size_t& length) {
  struct TKeyword {
    std::string_view word;
    TCrtOp op;
  };
  static constexpr TKeyword kKeywords[] = {
      {"prompt", TCrtOp::OP_PROMPT}, {"wait", TCrtOp::OP_WAIT}, {"RS", TCrtOp::OP_RS},
      {"NP", TCrtOp::OP_NP},         {"FI", TCrtOp::OP_FI},     {"V", TCrtOp::OP_V},
      {"T", TCrtOp::OP_T},           {"UV", TCrtOp::OP_UV},     {"Q", TCrtOp::OP_Q},
      {"Z", TCrtOp::OP_Z},           {"FY", TCrtOp::OP_FY},     {"M", TCrtOp::OP_M},
      {"FU", TCrtOp::OP_FU},         {"L", TCrtOp::OP_L},
  };
  for (const TKeyword& k : kKeywords) {
    if (StartsWith(line, k.word)) {
      op = k.op;
      length = k.word.size();
      return true;
    }
  }
  return false;
}

TInstCrt::TCrtState TInstCrt::FirstState(TCrtOp op) {
  switch (op) {
    case TCrtOp::OP_PROMPT:
      return TCrtState::CRT_PROMPT;
    case TCrtOp::OP_WAIT:
      return TCrtState::CRT_WAIT_START;
    case TCrtOp::OP_V:
    case TCrtOp::OP_UV:
      return TCrtState::CRT_WRITE_SEND;
    case TCrtOp::OP_T:
      return TCrtState::CRT_VERSION_SEND;
    case TCrtOp::OP_M:
      return TCrtState::CRT_PING_SEND;
    case TCrtOp::OP_L:
      return TCrtState::CRT_L_SEND;
    default:
      return TCrtState::CRT_COMMAND_SEND;
  }
}

// Why an accepted line cannot run: the damaged-line texts, each quoting the line.
std::string TInstCrt::LineFault(TCrtOp op, std::string_view line, const std::string& argument,
                                uint32_t& wait_ms) {
  const std::string quoted(line);
  if (op == TCrtOp::OP_WAIT) {
    return ParseDecimalU32(argument, wait_ms) ? "" : "Invalid wait time in line : " + quoted;
  }
  const bool needs_argument = op == TCrtOp::OP_V || op == TCrtOp::OP_T || op == TCrtOp::OP_UV ||
                              op == TCrtOp::OP_Q || op == TCrtOp::OP_Z || op == TCrtOp::OP_M;
  if (needs_argument && argument.empty()) return "Missing argument in line : " + quoted;
  if (op == TCrtOp::OP_V && Trim(std::string_view(argument).substr(1)).empty()) {
    return "Missing version in line : " + quoted;
  }
  if (op == TCrtOp::OP_M && (argument[0] < '0' || argument[0] > '9')) {
    return "Invalid card number in line : " + quoted;
  }
  return {};
}

TCrtInstruction TInstCrt::ParseInstruction(std::string_view line) {
  TCrtOp op = TCrtOp::OP_PROMPT;
  return Parse(line, op);
}

TCrtInstruction TInstCrt::Parse(std::string_view line, TCrtOp& op) {
  TCrtInstruction parsed;
  size_t keyword_length = 0;
  if (!MatchKeyword(line, op, keyword_length)) return parsed;
  std::string argument = Trim(line.substr(keyword_length));
  // A bridge number outside 0..5, or an "L" not followed by "0", belongs to nobody
  // here: stay idle without a trace. A bare "Q" is taken and fails as damaged.
  if (op == TCrtOp::OP_Q && !argument.empty() && (argument[0] < '0' || argument[0] > '5')) {
    return parsed;
  }
  if (op == TCrtOp::OP_L && (argument.empty() || argument[0] != '0')) return parsed;
  parsed.Accepted = true;
  parsed.Keyword = std::string(line.substr(0, keyword_length));
  parsed.Fault = LineFault(op, line, argument, parsed.WaitMs);
  parsed.Argument = std::move(argument);
  return parsed;
}

void TInstCrt::Idle() {
  if (Busy) return;
  TCrtOp op = TCrtOp::OP_PROMPT;
  TCrtInstruction parsed = Parse(Instruction, op);
  if (!parsed.Accepted) return;

  op_ = op;
  line_ = Instruction;
  fault_ = parsed.Fault;
  wait_duration_ = parsed.WaitMs;
  code_.clear();
  state_ = FirstState(op);
  // "prompt", "wait", "RS", "NP" and "FI" keep their line until their first item.
  const bool keeps_line = op == TCrtOp::OP_PROMPT || op == TCrtOp::OP_WAIT || op == TCrtOp::OP_RS ||
                          op == TCrtOp::OP_NP || op == TCrtOp::OP_FI;
  if (!keeps_line) Instruction = std::move(parsed.Argument);
  SetBusy();
  if (op == TCrtOp::OP_L) SetMaxProgress(2);
}

void TInstCrt::Prompt() {
  Instruction = Trim(std::string_view(Instruction).substr(6));
  PostInfo(Instruction);
  state_ = TCrtState::CRT_DONE;
}

void TInstCrt::WaitStart() {
  Instruction = Trim(std::string_view(Instruction).substr(4));
  if (Refused()) return;
  wait_tick_ = clock_.TickCount();
  wait_elapsed_ = 0;
  state_ = TCrtState::CRT_WAIT_TIME;
}

// The tick counter wraps every 2^32 ms, and the longest wait is 2^32 - 1 ms, which
// a 32-bit elapsed time could never pass. Each Step adds the ticks since the last
// one (unsigned: right across a wrap) to a 64-bit sum instead.
void TInstCrt::WaitTime() {
  const uint32_t now = clock_.TickCount();
  wait_elapsed_ += static_cast<uint32_t>(now - wait_tick_);
  wait_tick_ = now;
  if (wait_elapsed_ > wait_duration_) state_ = TCrtState::CRT_DONE;
}

std::optional<uint32_t> TInstCrt::TimedWaitLeftMs() const {
  if (state_ != TCrtState::CRT_WAIT_TIME) return std::nullopt;
  const uint64_t elapsed = wait_elapsed_ + static_cast<uint32_t>(clock_.TickCount() - wait_tick_);
  const uint64_t end = uint64_t{wait_duration_} + 1;  // "more than" the duration
  // The longest wait has 2^32 ms to go when it begins: one more than the result holds.
  return static_cast<uint32_t>(elapsed >= end ? 0 : std::min<uint64_t>(end - elapsed, UINT32_MAX));
}

void TInstCrt::CommandSend() {
  switch (op_) {
    case TCrtOp::OP_RS:
      PostInfo("Reset");
      SendLine("RS");
      break;
    case TCrtOp::OP_NP:
      SendLine("NP");
      break;
    case TCrtOp::OP_FI:
      SendLine("FI");
      break;
    case TCrtOp::OP_FY:
      PostInfo(" Starting ");
      SendLine("FY");
      break;
    case TCrtOp::OP_FU:
      PostInfo("End Update");
      SendLine("FU");
      break;
    case TCrtOp::OP_Q:
    case TCrtOp::OP_Z: {
      if (Refused()) return;
      code_ = Instruction.substr(0, 1);
      const bool bridge_start = op_ == TCrtOp::OP_Q;
      PostInfo(bridge_start ? "Start Bridge : " + code_ : "End   Bridge" + code_);
      SendLine((bridge_start ? "Q" : "Z") + code_);
      DropCode();
      break;
    }
    default:
      break;
  }
  state_ = TCrtState::CRT_COMMAND_ACK;
}

void TInstCrt::CommandAck() {
  if (ReceiveAck()) state_ = TCrtState::CRT_DONE;
}

// "V" + c, or the bare "UV"; the version text follows the device's ".".
void TInstCrt::WriteSend() {
  if (Refused()) return;
  if (op_ == TCrtOp::OP_V) {
    code_ = Instruction.substr(0, 1);
    SendLine("V" + code_);
  } else {
    SendLine("UV");
  }
  state_ = TCrtState::CRT_WRITE_ACK;
}

void TInstCrt::WriteAck() {
  if (!ReceiveAck()) return;
  if (op_ == TCrtOp::OP_V) DropCode();
  SetMaxProgress(2);
  StepProgress();
  SendLine(Instruction);
  state_ = TCrtState::CRT_WRITE_RESULT;
}

void TInstCrt::WriteResult() {
  if (!ReceiveDone("Error while writing version number !!!")) return;
  StepProgress();
  state_ = TCrtState::CRT_DONE;
}

void TInstCrt::VersionSend() {
  if (Refused()) return;
  code_ = Instruction.substr(0, 1);
  SendLine("T" + code_);
  state_ = TCrtState::CRT_VERSION_ACK;
}

void TInstCrt::VersionAck() {
  if (!ReceiveAck()) return;
  SetMaxProgress(2);
  StepProgress();
  state_ = TCrtState::CRT_VERSION_READ;
}

// A version differing from the expected one is not an error: it completes silently.
// "X" in front fails the read unless a complete version stands there ("X123.").
void TInstCrt::VersionRead() {
  PullInput();
  if (InputStartsWith('X') && BufIn.find('.') != kVersionLength) {
    ConsumeInput(1);
    PostError("Error while reading version number !!!");
    return;
  }
  if (AlignDataReply(kVersionLength, kVersionLength, IsTextChar)) {
    const std::string read = BufIn.substr(0, kVersionLength);
    const std::string expected = Trim(std::string_view(Instruction).substr(1));
    if (read == expected && OnVersionSame) OnVersionSame(this, CardCodeIndex(code_));
    ClearInput();
    StepProgress();
    state_ = TCrtState::CRT_DONE;
  }
}

void TInstCrt::PingSend() {
  if (Refused()) return;
  const char c = Instruction[0];
  code_ = std::string(1, c);
  ping_card_ = c - '0';
  PostInfo("Ping Card " + code_);
  SendLine("M" + code_);
  DropCode();
  state_ = TCrtState::CRT_PING_REPLY;
}

// A card that does not answer is skipped by the sequencer; the engine succeeds.
void TInstCrt::PingReply() {
  const char reply = AwaitReply(".XI");
  if (reply == '.') {
    ConsumeInput(1);
    PostInfo("Ping OK");
    if (OnCardReady) OnCardReady(this, ping_card_);
    state_ = TCrtState::CRT_DONE;
  } else if (reply == 'X' || reply == 'I') {
    ConsumeInput(1);
    PostInfo("Ping Error");
    if (OnCardError) OnCardError(this, ping_card_);
    state_ = TCrtState::CRT_DONE;
  }
}

void TInstCrt::LSend() {
  StepProgress();
  SendLine("L" + Instruction);
  state_ = TCrtState::CRT_L_ACK;
}

void TInstCrt::LAck() {
  if (!ReceiveAck()) return;
  StepProgress();
  state_ = TCrtState::CRT_DONE;
}

std::string TInstCrt::AwaitedReply() const {
  if (state_ == TCrtState::CRT_VERSION_READ) return "the version of component " + code_;
  return TGestionnaire::AwaitedReply();
}

void TInstCrt::Done() {
  state_ = TCrtState::CRT_IDLE;
  ClearBusy();
}

bool TInstCrt::Refused() {
  if (fault_.empty()) return false;
  PostError(fault_);
  return true;
}

void TInstCrt::DropCode() {
  if (!Instruction.empty()) Instruction = Trim(std::string_view(Instruction).substr(1));
}
