#include "engines/prog_psd.h"

#include "engines/file_access.h"
#include "engines/intel_hex.h"
#include "engines/text_util.h"

namespace {

constexpr int32_t kMaxRetransmissions = 300;
constexpr uint8_t kVerifyRecordType = 0x0C;

bool IsBankDigit(char c) { return c >= '0' && c <= '7'; }

// The text after its first character, trimmed.
std::string DropFirst(const std::string& s) {
  return s.empty() ? std::string() : Trim(std::string_view(s).substr(1));
}

}  // namespace

void TProgPsd::Step() {
  switch (State) {
    case TPsdState::Idle:
      StepIdle();
      break;
    case TPsdState::Halted:
      break;
    case TPsdState::BankCheck:
      StepBankCheck();
      break;
    case TPsdState::EraseWaitAck:
      StepEraseWaitAck();
      break;
    case TPsdState::EraseWaitDone:
      StepEraseWaitDone();
      break;
    case TPsdState::Uploading:
      StepUploading(TPsdState::VerifySend);
      break;
    case TPsdState::VerifySend:
      StepVerifySend();
      break;
    case TPsdState::VerifyWait:
      StepVerifyWait();
      break;
    case TPsdState::ELoad:
      StepELoad();
      break;
    case TPsdState::EWaitAck:
      StepEWaitAck();
      break;
    case TPsdState::EUploading:
      StepUploading(TPsdState::Done);
      break;
    case TPsdState::IdSend:
      StepIdSend();
      break;
    case TPsdState::IdWaitAck:
      StepIdWaitAck();
      break;
    case TPsdState::IdWaitData:
      StepIdWaitData();
      break;
    case TPsdState::FinishSend:
      StepFinishSend();
      break;
    case TPsdState::FinishWaitAck:
      StepFinishWaitAck();
      break;
    case TPsdState::Done:
      StepDone();
      break;
  }
}

void TProgPsd::PostError(const std::string& text) {
  Lines.clear();
  ClearBusy();
  State = TPsdState::Halted;
  TGestionnaire::PostError(text);
}

void TProgPsd::ResetEngine() {
  Lines.clear();
  TGestionnaire::ResetEngine();
  State = TPsdState::Idle;
}

std::string TProgPsd::BankDigit() const { return std::string(1, HexDigit(Bank)); }

void TProgPsd::StepIdle() {
  if (Busy || Instruction.empty()) return;
  const char keyword = Instruction.front();
  if (keyword != 'P' && keyword != 'D' && keyword != 'F') return;
  Instruction = DropFirst(Instruction);
  if (!Instruction.empty() && IsBankDigit(Instruction.front())) {
    SetBusy();
    Bank = HexDigitValue(Instruction.front());
    State = keyword == 'P'   ? TPsdState::BankCheck
            : keyword == 'D' ? TPsdState::IdSend
                             : TPsdState::FinishSend;
  } else if (keyword == 'P' && StartsWith(Instruction, "E")) {
    SetBusy();
    Instruction = DropFirst(Instruction);
    State = TPsdState::ELoad;
  }
}

bool TProgPsd::LoadFile(const std::string& name) {
  if (LoadTextLines(CurentDir + name, Lines)) return true;
  PostError(CurentDir + name + " File not found !!!");
  return false;
}

void TProgPsd::SendFileLine(int32_t index) { SendLine(Lines[static_cast<size_t>(index)] + "\r\n"); }

bool TProgPsd::CountRetransmission() {
  ++ErrorCount;
  if (ErrorCount <= kMaxRetransmissions) return true;
  PostError("Too Many Transmission Error !!!");
  return false;
}

void TProgPsd::StepBankCheck() {
  if (!UpdateAllowed) {
    PostError("Update Not Allowed !!!");
    State = TPsdState::Done;  // the engine ends up Idle, not Halted
    return;
  }
  Instruction = DropFirst(Instruction);
  ErrorCount = 0;
  if (!LoadFile(Instruction)) return;
  SendLine("P" + BankDigit());
  State = TPsdState::EraseWaitAck;
}

void TProgPsd::StepEraseWaitAck() {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(".");
    PostInfo("Erase Bank" + BankDigit());
    State = TPsdState::EraseWaitDone;
  } else if (InputStartsWith('I')) {
    ConsumeInput("I");
    PostError("Instruction unknown");
  }
}

void TProgPsd::StartUpload(TPsdState next) {
  LineIndex = 0;
  SetMaxProgress(static_cast<int32_t>(Lines.size()) + 1);
  if (Lines.empty()) {
    PostError("Keyb File Empty !!!");
    return;
  }
  if (next == TPsdState::Uploading) PostInfo("Upload Bank" + BankDigit());
  // Line 0 goes out now and, once acknowledged, once more: the device expects the
  // first line twice, so the upload takes one acknowledgement more than lines.
  SendFileLine(0);
  State = next;
}

void TProgPsd::StepEraseWaitDone() {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(".");
    StartUpload(TPsdState::Uploading);
  } else if (InputStartsWith('X')) {
    ConsumeInput("X");
    PostError("Error while erasing !!!");
  }
}

void TProgPsd::StepUploading(TPsdState when_done) {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(".");
    StepProgress();
    if (LineIndex < static_cast<int32_t>(Lines.size())) {
      SendFileLine(LineIndex);
      ++LineIndex;
    } else {
      State = when_done;
    }
  } else if (InputStartsWith('X')) {
    ConsumeInput("X");
    PostError("Error while writing!!!");
  } else if (InputStartsWith('R')) {
    ConsumeInput("R");
    if (CountRetransmission()) SendFileLine(LineIndex > 0 ? LineIndex - 1 : 0);
  }
}

void TProgPsd::StepVerifySend() {
  PostInfo("Verify Bank" + BankDigit());
  // Bank 0 lies in the lower 32 KiB of the file's image, every other bank above it.
  const uint16_t sum =
      Bank == 0 ? HexImageSum(Lines, 0x0000, 0x7FFF) : HexImageSum(Lines, 0x8000, 0xFFFF);
  SendLine(BuildHexRecord(kVerifyRecordType, 0, WordToHex(sum)) + "\r\n");
  State = TPsdState::VerifyWait;
}

void TProgPsd::StepVerifyWait() {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(".");
    ClearInput();
    State = TPsdState::Done;
  } else if (InputStartsWith('X')) {
    ConsumeInput("X");
    PostError("Checksum Error");
  } else if (InputStartsWith('R')) {
    ConsumeInput("R");
    State = TPsdState::VerifySend;  // rebuilt and announced again on the next Step
    CountRetransmission();
  }
}

void TProgPsd::StepELoad() {
  ErrorCount = 0;
  if (!LoadFile(Instruction)) return;
  SendLine("PE");
  State = TPsdState::EWaitAck;
}

void TProgPsd::StepEWaitAck() {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(".");
    StartUpload(TPsdState::EUploading);
  } else if (InputStartsWith('I')) {
    ConsumeInput("I");
    PostError("Instruction unknown");
  }
}

void TProgPsd::StepIdSend() {
  SendLine("D" + BankDigit());
  State = TPsdState::IdWaitAck;
}

void TProgPsd::StepIdWaitAck() {
  PullInput();
  if (InputStartsWith('.')) {
    PostInfo("Extract MCU ID");
    ConsumeInput(".");
    State = TPsdState::IdWaitData;
  } else if (InputStartsWith('I')) {
    ConsumeInput("I");
    PostError("Instruction unknown");
  }
}

void TProgPsd::StepIdWaitData() {
  PullInput();
  if (BufIn.find('.') != 2) return;  // two identifier characters, then "."
  PostInfo("ID Number : " + BufIn.substr(0, 2));
  ClearInput();
  State = TPsdState::Done;
}

void TProgPsd::StepFinishSend() {
  SendLine("F" + BankDigit());
  State = TPsdState::FinishWaitAck;
}

void TProgPsd::StepFinishWaitAck() {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(".");
    State = TPsdState::Done;
  } else if (InputStartsWith('I')) {
    ConsumeInput("I");
    PostError("Instruction unknown");
  }
}

void TProgPsd::StepDone() {
  Lines.clear();
  ClearBusy();
  State = TPsdState::Idle;
}
