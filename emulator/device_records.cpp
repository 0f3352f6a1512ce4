// Record lines and what they go to: data, end and verify records for the boot
// area, a flash bank or the "E" memory; statement records, raw TDI blocks and
// captured-data acknowledgements for a JTAG playback. A damaged line gets "R", a
// line that cannot be carried out "X".
#include <string>

#include "emulator/emulated_device.h"
#include "emulator/hex_record.h"

namespace {

constexpr size_t kMaxLine = 600;  // ":" + 255 data bytes and the fields fit in 521
constexpr char kEsc = '\x1B';
constexpr uint8_t kData = 0x00, kEnd = 0x01, kVerify = 0x0C;

}  // namespace

TMemRef TEmulatedDevice::TargetRef() const {
  switch (target_) {
    case TTarget::TG_BOOT:
      return {TMemKind::MK_BOOT, 6, 0};
    case TTarget::TG_BANK:
      return {TMemKind::MK_BANK, target_card_, target_index_};
    case TTarget::TG_EMEM:
      return {TMemKind::MK_EMEM, target_card_, 0};
    case TTarget::TG_JTAG:
      return {TMemKind::MK_JTAG, target_card_, 8 + target_index_};
    case TTarget::TG_NONE:
      break;
  }
  return {TMemKind::MK_ANY, target_card_, 0};
}

void TEmulatedDevice::CloseTarget() {
  target_ = TTarget::TG_NONE;
  session_.reset();
}

void TEmulatedDevice::FeedRecord(char c) {
  if (c == '\r') return;
  if (c != '\n') {
    if (text_.size() < kMaxLine) {
      text_ += c;
    } else {
      line_overflow_ = true;
    }
    return;
  }
  state_ = TDevState::DS_COMMAND;
  HandleRecordLine();
}

void TEmulatedDevice::HandleRecordLine() {
  if (target_ == TTarget::TG_NONE) return Reply(":", "X");  // nothing to write to
  TDeviceRecord record;
  if (line_overflow_ || ParseRecordLine(text_, record) != TRecordVerdict::RV_OK) {
    return Reply(":", "R");
  }
  if (MayAskAgain(record) && faults_.FireOnMemory(TFaultKind::FK_RESEND, TargetRef())) {
    return Reply(":", "R");
  }
  if (target_ == TTarget::TG_JTAG) return HandleJtagRecord(record);
  HandleMemoryRecord(record);
}

// A resend fault stands for a record that arrived damaged, and the device asks
// again only for what the host sends again: every line of an upload, the verify
// record, every statement record and raw block of a playback. The end record of a
// playback is not among them: the host takes "R" to it as the end of the playback
// ("Too Many Transmission Error !!!"), so the device takes it as it comes.
bool TEmulatedDevice::MayAskAgain(const TDeviceRecord& record) const {
  return !(target_ == TTarget::TG_JTAG && record.Type == kEnd);
}

void TEmulatedDevice::HandleMemoryRecord(const TDeviceRecord& record) {
  if (record.Type == kData) {
    if (faults_.FireOnMemory(TFaultKind::FK_WRITE_FAIL, TargetRef()) || !WriteData(record)) {
      return Reply(":", "X");
    }
    return Reply(":", ".");
  }
  if (record.Type == kVerify && target_ != TTarget::TG_EMEM) {
    const bool fail = faults_.FireOnMemory(TFaultKind::FK_VERIFY_FAIL, TargetRef());
    const bool match = record.Data.size() == 2 &&
                       TargetSum() == static_cast<uint16_t>(record.Data[0] << 8 | record.Data[1]);
    CloseTarget();  // the transfer ends with its verdict
    return Reply(":", match && !fail ? "." : "X");
  }
  // End records, and the address records a 16-bit image does not use.
  if (record.Type == kEnd || (record.Type >= 0x02 && record.Type <= 0x05)) return Reply(":", ".");
  Reply(":", "X");
}

bool TEmulatedDevice::WriteData(const TDeviceRecord& record) {
  // Each memory takes only the addresses it has. Flash only clears bits: writing
  // over data that was not erased leaves the AND of both, as a real part does.
  const size_t begin = record.Address;
  const size_t end = begin + record.Data.size();
  std::vector<uint8_t>* memory = nullptr;
  size_t base = 0;
  size_t limit = 0;
  bool flash = true;
  TCard& card = cards_[static_cast<size_t>(target_card_)];
  switch (target_) {
    case TTarget::TG_BOOT:
      memory = &boot_area_, base = kBootBase, limit = kBootBase + kBootSize;
      break;
    case TTarget::TG_BANK:
      memory = &card.banks[static_cast<size_t>(target_index_)];
      base = target_index_ == 0 ? 0 : kBankSize;
      limit = base + kBankSize;
      break;
    case TTarget::TG_EMEM:
      memory = &card.e_memory, base = 0, limit = kEMemorySize, flash = false;
      break;
    default:
      return false;
  }
  if (begin < base || end > limit) return false;
  for (size_t i = 0; i < record.Data.size(); ++i) {
    uint8_t& cell = (*memory)[begin - base + i];
    cell = flash ? static_cast<uint8_t>(cell & record.Data[i]) : record.Data[i];
  }
  return true;
}

uint16_t TEmulatedDevice::TargetSum() const {
  const std::vector<uint8_t>& memory =
      target_ == TTarget::TG_BOOT
          ? boot_area_
          : cards_[static_cast<size_t>(target_card_)].banks[static_cast<size_t>(target_index_)];
  uint16_t sum = 0;
  for (uint8_t b : memory) sum = static_cast<uint16_t>(sum + b);
  return sum;
}

void TEmulatedDevice::HandleJtagRecord(const TDeviceRecord& record) {
  if (record.Type != kEnd && faults_.FireOnMemory(TFaultKind::FK_WRITE_FAIL, TargetRef())) {
    return Reply(":", "X");
  }
  HandleJtagResult(session_->Execute(record), ":");
}

void TEmulatedDevice::HandleJtagResult(const TJtagResult& result, std::string_view key) {
  switch (result.Outcome) {
    case TJtagOutcome::JO_DONE:
      return Reply(key, ".");
    case TJtagOutcome::JO_FAILED:
      return Reply(key, "X");
    case TJtagOutcome::JO_RAW_BAD:
      return Reply(key, "R");
    case TJtagOutcome::JO_END:
      CloseTarget();
      return Reply(key, ".");
    case TJtagOutcome::JO_RAW_WANTED:
      raw_length_ = result.RawLength;
      text_.clear();
      state_ = TDevState::DS_RAW_BLOCK;
      return Reply(key, std::string{kEsc, '.'});
    case TJtagOutcome::JO_CAPTURED:
      captured_ = result.Captured;
      if (!captured_.empty() && faults_.FireOnMemory(TFaultKind::FK_VERIFY_FAIL, TargetRef())) {
        captured_[0] = static_cast<uint8_t>(captured_[0] ^ 0xFF);
      }
      state_ = TDevState::DS_CAPTURE_ACK;
      return SendCapture(key);
  }
}

void TEmulatedDevice::SendCapture(std::string_view key) {
  const bool corrupt = faults_.FireOnMemory(TFaultKind::FK_CAPTURE_CHECKSUM, TargetRef());
  Reply(key, EncodeCapturedData(captured_, corrupt));
}

void TEmulatedDevice::FeedRawBlock(char c) {
  text_ += c;
  if (text_.size() < raw_length_) return;
  state_ = TDevState::DS_COMMAND;
  if (faults_.FireOnMemory(TFaultKind::FK_RESEND, TargetRef())) return Reply("raw", "R");
  HandleJtagResult(session_->ExecuteRawBlock(text_), "raw");
}

void TEmulatedDevice::FeedCaptureAck(char c) {
  if (c == '.') {
    state_ = TDevState::DS_COMMAND;
    return Reply("ack", ".");  // the statement is complete
  }
  if (c == 'R') return SendCapture("ack");
  if (c == ':') {
    state_ = TDevState::DS_COMMAND;  // the host moved on without acknowledging
    FeedCommand(c);
  }
}
