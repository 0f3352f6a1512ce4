#include "engines/prog_psd.h"

#include "engines/file_access.h"
#include "engines/intel_hex.h"
#include "engines/text_util.h"

namespace {

constexpr uint8_t kVerifyRecordType = 0x0C;

bool IsBankDigit(char c) { return c >= '0' && c <= '7'; }

// The text after its first character, trimmed.
std::string DropFirst(const std::string& s) {
  return s.empty() ? std::string() : Trim(std::string_view(s).substr(1));
}

}  // namespace

void TProgPsd::Step() {
  switch (state_) {
    case TPsdState::PSD_IDLE:
      Idle();
      break;
    case TPsdState::PSD_BANK_CHECK:
      BankCheck();
      break;
    case TPsdState::PSD_ERASE_ACK:
      EraseAck();
      break;
    case TPsdState::PSD_ERASE_DONE:
      EraseDone();
      break;
    case TPsdState::PSD_UPLOAD:
    case TPsdState::PSD_E_UPLOAD:
      Upload();
      break;
    case TPsdState::PSD_VERIFY_SEND:
      VerifySend();
      break;
    case TPsdState::PSD_VERIFY_WAIT:
      VerifyWait();
      break;
    case TPsdState::PSD_E_LOAD:
      ELoad();
      break;
    case TPsdState::PSD_E_ACK:
      EAck();
      break;
    case TPsdState::PSD_ID_SEND:
      IdSend();
      break;
    case TPsdState::PSD_ID_ACK:
      IdAck();
      break;
    case TPsdState::PSD_ID_DATA:
      IdData();
      break;
    case TPsdState::PSD_FINISH_SEND:
      FinishSend();
      break;
    case TPsdState::PSD_FINISH_ACK:
      FinishAck();
      break;
    case TPsdState::PSD_DONE:
      Done();
      break;
    case TPsdState::PSD_ERROR:
      break;
  }
}

void TProgPsd::PostError(const std::string& text) {
  Lines.clear();
  ClearBusy();
  state_ = TPsdState::PSD_ERROR;
  TGestionnaire::PostError(text);
}

void TProgPsd::ResetEngine() {
  Lines.clear();
  TGestionnaire::ResetEngine();
  state_ = TPsdState::PSD_IDLE;
}

std::string TProgPsd::BankDigit() const { return std::string(1, HexDigit(Bank)); }

TPsdInstruction TProgPsd::ParseInstruction(std::string_view line) {
  using K = TPsdInstruction::TKind;
  TPsdInstruction parsed;
  if (line.empty()) return parsed;
  const char keyword = line.front();
  if (keyword != 'P' && keyword != 'D' && keyword != 'F') return parsed;
  const std::string rest = DropFirst(std::string(line));
  if (!rest.empty() && IsBankDigit(rest.front())) {
    parsed.Kind = keyword == 'P' ? K::PSD_PROGRAM : keyword == 'D' ? K::PSD_ID : K::PSD_FINISH;
    parsed.Bank = HexDigitValue(rest.front());
    if (keyword == 'P') parsed.File = DropFirst(rest);
  } else if (keyword == 'P' && StartsWith(rest, "E")) {
    parsed.Kind = K::PSD_E;
    parsed.File = DropFirst(rest);
  }
  return parsed;
}

void TProgPsd::Idle() {
  using K = TPsdInstruction::TKind;
  if (Busy) return;
  const TPsdInstruction parsed = ParseInstruction(Instruction);
  if (parsed.Kind == K::PSD_NONE) {
    // Reading "P", "D" or "F" removes the keyword even from a line another engine
    // takes; the sequencer hands every engine the line afresh.
    if (!Instruction.empty() &&
        std::string_view("PDF").find(Instruction.front()) != std::string_view::npos) {
      Instruction = DropFirst(Instruction);
    }
    return;
  }
  SetBusy();
  Bank = parsed.Bank;
  Instruction = DropFirst(Instruction);
  switch (parsed.Kind) {
    case K::PSD_PROGRAM:
      state_ = TPsdState::PSD_BANK_CHECK;
      break;
    case K::PSD_E:
      Instruction = DropFirst(Instruction);
      state_ = TPsdState::PSD_E_LOAD;
      break;
    case K::PSD_ID:
      state_ = TPsdState::PSD_ID_SEND;
      break;
    default:
      state_ = TPsdState::PSD_FINISH_SEND;
      break;
  }
}

bool TProgPsd::LoadFile(const std::string& name, const THexImageRules& rules) {
  if (!LoadTextLines(CurentDir + name, Lines)) {
    PostError(CurentDir + name + " File not found !!!");
    return false;
  }
  if (Lines.empty()) {
    PostError("Keyb File Empty !!!");
    return false;
  }
  const std::string fault = HexFileError(Lines, rules, CurentDir + name);
  if (fault.empty()) return true;
  PostError(fault);
  return false;
}

void TProgPsd::BankCheck() {
  if (!UpdateAllowed) {
    PostError("Update Not Allowed !!!");
    state_ = TPsdState::PSD_DONE;  // the engine ends up idle, not in error
    return;
  }
  Instruction = DropFirst(Instruction);
  StartRetransmissionCount();
  if (!LoadFile(Instruction, BankImageRules(Bank))) return;
  SendLine("P" + BankDigit());
  state_ = TPsdState::PSD_ERASE_ACK;
}

void TProgPsd::EraseAck() {
  if (!ReceiveAck()) return;
  PostInfo("Erase Bank" + BankDigit());
  state_ = TPsdState::PSD_ERASE_DONE;
}

void TProgPsd::StartUpload(TPsdState next) {
  LineIndex = 0;
  SetMaxProgress(static_cast<int32_t>(Lines.size()) + 1);
  if (next == TPsdState::PSD_UPLOAD) PostInfo("Upload Bank" + BankDigit());
  BeginUpload(CurentDir + Instruction);  // Instruction holds the file name
  // Line 0 goes out now and, once acknowledged, once more: the device expects the
  // first line twice, so the upload takes one acknowledgement more than lines.
  SendFileLine(Lines, 0);
  state_ = next;
}

void TProgPsd::EraseDone() {
  if (ReceiveDone("Error while erasing !!!")) StartUpload(TPsdState::PSD_UPLOAD);
}

// A bank upload goes on to its verify; a "PE" upload is done after its last line.
void TProgPsd::Upload() {
  if (!UploadStep(Lines, LineIndex)) return;
  state_ = state_ == TPsdState::PSD_UPLOAD ? TPsdState::PSD_VERIFY_SEND : TPsdState::PSD_DONE;
}

void TProgPsd::VerifySend() {
  PostInfo("Verify Bank" + BankDigit());
  // Bank 0 lies in the lower 32 KiB of the file's image, every other bank above it.
  const uint16_t sum =
      Bank == 0 ? HexImageSum(Lines, 0x0000, 0x7FFF) : HexImageSum(Lines, 0x8000, 0xFFFF);
  SendLine(BuildHexRecord(kVerifyRecordType, 0, WordToHex(sum)) + "\r\n");
  state_ = TPsdState::PSD_VERIFY_WAIT;
}

// An "R" has the record rebuilt and announced again on the next Step.
void TProgPsd::VerifyWait() {
  const TRecordReply reply = ReceiveRecordReply("Checksum Error");
  if (reply == TRecordReply::RECORD_TAKEN) {
    ClearInput();
    state_ = TPsdState::PSD_DONE;
  }
  if (reply == TRecordReply::RECORD_RESEND) state_ = TPsdState::PSD_VERIFY_SEND;
}

void TProgPsd::ELoad() {
  StartRetransmissionCount();
  if (!LoadFile(Instruction, EImageRules())) return;
  SendLine("PE");
  state_ = TPsdState::PSD_E_ACK;
}

void TProgPsd::EAck() {
  if (ReceiveAck()) StartUpload(TPsdState::PSD_E_UPLOAD);
}

void TProgPsd::IdSend() {
  SendLine("D" + BankDigit());
  state_ = TPsdState::PSD_ID_ACK;
}

void TProgPsd::IdAck() {
  if (!ReceiveAck()) return;
  PostInfo("Extract MCU ID");
  state_ = TPsdState::PSD_ID_DATA;
}

void TProgPsd::IdData() {
  PullInput();
  if (!AlignDataReply(2, 2, IsTextChar)) return;  // two identifier characters, then "."
  PostInfo("ID Number : " + BufIn.substr(0, 2));
  ClearInput();
  state_ = TPsdState::PSD_DONE;
}

void TProgPsd::FinishSend() {
  SendLine("F" + BankDigit());
  state_ = TPsdState::PSD_FINISH_ACK;
}

void TProgPsd::FinishAck() {
  if (ReceiveAck()) state_ = TPsdState::PSD_DONE;
}

std::string TProgPsd::AwaitedReply() const {
  switch (state_) {
    case TPsdState::PSD_ERASE_DONE:
      return "the erase of bank " + BankDigit() + " to end";
    case TPsdState::PSD_VERIFY_WAIT:
      return "the verdict on the checksum of bank " + BankDigit();
    case TPsdState::PSD_ID_DATA:
      return "the identifier of the microcontroller";
    default:
      return TGestionnaire::AwaitedReply();
  }
}

void TProgPsd::Done() {
  Lines.clear();
  ClearBusy();
  state_ = TPsdState::PSD_IDLE;
}
