#include "engines/prog_boot.h"

#include <string_view>
#include <utility>

#include "engines/file_access.h"
#include "engines/intel_hex.h"
#include "engines/text_util.h"

namespace {
constexpr uint8_t kVerifyRecordType = 0x0C;
// The extended boot area whose sum the device verifies.
constexpr uint16_t kBootLow = 0x4000;
constexpr uint16_t kBootHigh = 0x5FFF;
// The boot loader reports its checksum offset by this base.
constexpr uint16_t kBootChecksumBase = 0x6000;
const char kCrLf[] = "\r\n";

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// "<file> [checksum]": the name is the text before the first blank.
void SplitFileAndChecksum(std::string_view text, std::string& file, std::string& checksum) {
  size_t name_end = 0;
  while (name_end < text.size() && !IsBlank(text[name_end])) ++name_end;
  file = std::string(text.substr(0, name_end));
  checksum = Trim(text.substr(name_end));
}

bool IsChecksumText(const std::string& text) {
  if (text.size() != 4) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}
}  // namespace

TBootInstruction TProgBoot::ParseInstruction(std::string_view line) {
  TBootInstruction parsed;
  if (StartsWith(line, "SYN")) {
    parsed.Kind = TBootInstruction::TKind::BOOT_SYN;
    return parsed;
  }
  if (!StartsWith(line, "P")) return parsed;
  const std::string rest = Trim(line.substr(1));
  if (!StartsWith(rest, "B")) return parsed;
  parsed.Kind = TBootInstruction::TKind::BOOT_PB;
  SplitFileAndChecksum(TrimLeft(std::string_view(rest).substr(1)), parsed.File, parsed.Checksum);
  if (!parsed.Checksum.empty() && !IsChecksumText(parsed.Checksum)) {
    parsed.Fault = "checksum text '" + parsed.Checksum + "' is not four upper-case hex digits";
  }
  return parsed;
}

TProgBoot::TProgBoot() = default;

void TProgBoot::Step() {
  switch (state_) {
    case TBootState::BOOT_IDLE:
      Idle();
      break;
    case TBootState::BOOT_SYNC_SEND:
      SyncSend();
      break;
    case TBootState::BOOT_SYNC_WAIT:
      SyncWait();
      break;
    case TBootState::BOOT_TYPE_WAIT:
      TypeWait();
      break;
    case TBootState::BOOT_ID_WAIT:
      IdWait();
      break;
    case TBootState::BOOT_LOAD:
      Load();
      break;
    case TBootState::BOOT_ERASE_ACK:
      EraseAck();
      break;
    case TBootState::BOOT_ERASE_DONE:
      EraseDone();
      break;
    case TBootState::BOOT_UPLOAD:
      Upload();
      break;
    case TBootState::BOOT_VERIFY_SEND:
      VerifySend();
      break;
    case TBootState::BOOT_VERIFY_WAIT:
      VerifyWait();
      break;
    case TBootState::BOOT_DONE:
      Done();
      break;
    case TBootState::BOOT_ERROR:
      break;
  }
}

void TProgBoot::PostError(const std::string& text) {
  Lines.clear();
  ClearBusy();
  state_ = TBootState::BOOT_ERROR;
  TGestionnaire::PostError(text);
}

void TProgBoot::ResetEngine() {
  Lines.clear();
  TGestionnaire::ResetEngine();
  state_ = TBootState::BOOT_IDLE;
}

// "P" then "B", blanks allowed between them: "PB x", "P B x". "PA", "P8" are not ours.
void TProgBoot::Idle() {
  if (Busy) return;
  const TBootInstruction parsed = ParseInstruction(Instruction);
  if (parsed.Kind == TBootInstruction::TKind::BOOT_SYN) {
    SetBusy();
    state_ = TBootState::BOOT_SYNC_SEND;
    return;
  }
  if (parsed.Kind != TBootInstruction::TKind::BOOT_PB) return;
  line_ = Instruction;
  Instruction = Trim(std::string_view(Instruction).substr(1));
  SetBusy();
  state_ = TBootState::BOOT_LOAD;
}

void TProgBoot::SyncSend() {
  SendLine("%");
  state_ = TBootState::BOOT_SYNC_WAIT;
}

// The device may answer several "%" sent while it was starting; everything received
// before "37" is sent is stale, so the whole buffer is dropped once a "." is seen.
// What is not a "." is counted as noise, without a limit: a device that starts may
// first send anything for as long as it likes.
void TProgBoot::SyncWait() {
  PullInput();
  if (BufIn.empty()) {
    state_ = TBootState::BOOT_SYNC_SEND;
    return;
  }
  const bool ready = BufIn.find('.') != std::string::npos;
  std::string noise;
  for (const char c : BufIn) {
    if (c != '.') noise += c;
  }
  CountNoise(noise);
  ClearInput();
  if (!ready) return;
  PostInfo("Verify Device Type");
  DeviceType = 37;
  SendLine("37");
  state_ = TBootState::BOOT_TYPE_WAIT;
}

void TProgBoot::TypeWait() {
  const char reply = AwaitReply(".X");
  if (reply == '.') {
    Raise(OnDeviceType);
    ConsumeInput(1);
    state_ = TBootState::BOOT_ID_WAIT;
  } else if (reply == 'X') {
    if (DeviceType == 37) {
      ConsumeInput(1);
      DeviceType = 27;
      SendLine("27");
    } else {
      PostError("Bad type of device !!!");
      ConsumeInput(1);
    }
  }
}

// Reply: checksum (4 hex digits), identifier (4 hex digits), for type 27 four more
// characters, then ".". Only a "." at exactly that place completes it; the late
// answers to a "%" repeated while the line was slow (leading dots, a whole run in
// one drop) are noise.
void TProgBoot::IdWait() {
  PullInput();
  const size_t length = DeviceType == 27 ? 12 : 8;
  if (!AlignDataReply(length, length, IsHexDigitChar)) return;
  const uint16_t checksum = HexToWord(BufIn);
  PostInfo("Boot Checksum : " + WordToHex(checksum - kBootChecksumBase));
  const std::string id_text = BufIn.substr(4, 4);
  PostInfo("Device ID : " + id_text);
  SetDeviceID(HexToWord(id_text));
  ClearInput();
  state_ = TBootState::BOOT_DONE;
}

// Instruction holds "B <file> [checksum]". The file is looked for in CurentDir.
// Nothing is sent, and so nothing erased, unless every line of the file is a
// record the device can take and the checksum text is one it can compare.
void TProgBoot::Load() {
  Instruction = TrimLeft(std::string_view(Instruction).substr(1));
  std::string name, checksum;
  SplitFileAndChecksum(Instruction, name, checksum);
  StartRetransmissionCount();
  if (!LoadTextLines(CurentDir + name, Lines)) {
    PostError(CurentDir + Instruction + " File not found !!!");
    return;
  }
  if (!ParseInstruction(line_).Fault.empty()) {
    PostError("Invalid checksum in line : " + line_);
    return;
  }
  if (Lines.empty()) {
    PostError("Boot File Empty !!!");
    return;
  }
  const std::string fault =
      HexFileError(Lines, BootImageRules(!checksum.empty()), CurentDir + name);
  if (!fault.empty()) {
    PostError(fault);
    return;
  }
  BeginUpload(CurentDir + name);
  Instruction = checksum;
  ExpectedChecksum = Instruction;
  SetMaxProgress(static_cast<int32_t>(Lines.size()) + 2);
  SendLine("PB");
  state_ = TBootState::BOOT_ERASE_ACK;
}

void TProgBoot::EraseAck() {
  if (!ReceiveAck()) return;
  PostInfo("Erase Extended Boot");
  state_ = TBootState::BOOT_ERASE_DONE;
}

// Line 0 goes now and again after its acknowledgement: the progress maximum (lines
// + 2) counts the erase and lines + 1 acknowledgements.
void TProgBoot::EraseDone() {
  if (!ReceiveDone("Error while erasing !!!")) return;
  StepProgress();
  LineIndex = 0;
  PostInfo("Upload Extended Boot");
  SendFileLine(Lines, 0);
  state_ = TBootState::BOOT_UPLOAD;
}

void TProgBoot::Upload() {
  if (UploadStep(Lines, LineIndex)) state_ = TBootState::BOOT_VERIFY_SEND;
}

void TProgBoot::VerifySend() {
  PostInfo("Verify Checksum");
  const std::string checksum = !ExpectedChecksum.empty()
                                   ? ExpectedChecksum
                                   : WordToHex(HexImageSum(Lines, kBootLow, kBootHigh));
  SendLine(BuildHexRecord(kVerifyRecordType, 0, checksum) + kCrLf);
  state_ = TBootState::BOOT_VERIFY_WAIT;
}

// An "R" has the record rebuilt and announced again on the next Step.
void TProgBoot::VerifyWait() {
  const TRecordReply reply = ReceiveRecordReply("Checksum Error");
  if (reply == TRecordReply::RECORD_TAKEN) state_ = TBootState::BOOT_DONE;
  if (reply == TRecordReply::RECORD_RESEND) state_ = TBootState::BOOT_VERIFY_SEND;
}

std::string TProgBoot::AwaitedReply() const {
  switch (state_) {
    case TBootState::BOOT_ID_WAIT:
      return "the boot checksum and device identifier";
    case TBootState::BOOT_ERASE_DONE:
      return "the erase of the extended boot to end";
    case TBootState::BOOT_VERIFY_WAIT:
      return "the verdict on the boot checksum";
    default:
      return TGestionnaire::AwaitedReply();
  }
}

void TProgBoot::Done() {
  Lines.clear();
  state_ = TBootState::BOOT_IDLE;
  ClearBusy();
}
