#include "engines/gestionnaire.h"

TGestionnaire::TGestionnaire() { TGestionnaire::ResetEngine(); }

void TGestionnaire::PostError(const std::string& text) {
  ErrorText = text;
  Raise(OnError);
}

void TGestionnaire::ResetEngine() {
  Instruction.clear();
  BufIn.clear();
  BufOut.clear();
  ErrorText.clear();
  InfoText.clear();
  MaxProgress = 100;
  Busy = false;
  DeviceID = 0;
  UpdateAllowed = false;
  ErrorCount = 0;
}

void TGestionnaire::SetBusy() {
  Busy = true;
  Raise(OnChangeBusy);
}

void TGestionnaire::ClearBusy() {
  Busy = false;
  Raise(OnChangeBusy);
}

void TGestionnaire::PostInfo(const std::string& text) {
  InfoText = text;
  Raise(OnInfo);
}

void TGestionnaire::SetMaxProgress(int32_t n) {
  MaxProgress = n;
  Raise(OnChangeMaxProgress);
}

void TGestionnaire::StepProgress() { Raise(OnStepProgress); }

void TGestionnaire::SendLine(const std::string& text) {
  BufOut = text;
  Raise(OnSend);
}

void TGestionnaire::PullInput() { Raise(OnReceive); }

void TGestionnaire::ConsumeInput(size_t count) {
  BufIn.erase(0, count);  // erase clamps to the buffer's length
  Raise(OnChangeBufIn);
}

void TGestionnaire::ClearInput() {
  BufIn.clear();
  Raise(OnChangeBufIn);
}

void TGestionnaire::SetDeviceID(uint16_t n) {
  DeviceID = n;
  Raise(OnChangeDeviceID);
}

void TGestionnaire::SpeedDown() { Raise(OnSpeedDown); }

bool TGestionnaire::ReceiveAck() {
  PullInput();
  if (InputStartsWith('.')) {
    ConsumeInput(1);
    return true;
  }
  if (InputStartsWith('I')) {
    ConsumeInput(1);
    PostError(kInstructionUnknown);
  }
  return false;
}

bool TGestionnaire::ReceiveDone(const char* failure) {
  PullInput();
  return TakeVerdict(failure) == TRecordReply::RECORD_TAKEN;
}

TGestionnaire::TRecordReply TGestionnaire::ReceiveRecordReply(const char* failure) {
  PullInput();
  if (InputStartsWith('R')) {
    ConsumeInput(1);
    return CountRetransmission() ? TRecordReply::RECORD_RESEND : TRecordReply::RECORD_FAILED;
  }
  return TakeVerdict(failure);
}

TGestionnaire::TRecordReply TGestionnaire::TakeVerdict(const char* failure) {
  if (InputStartsWith('.')) {
    ConsumeInput(1);
    return TRecordReply::RECORD_TAKEN;
  }
  if (InputStartsWith('X')) {
    ConsumeInput(1);
    PostError(failure);
    return TRecordReply::RECORD_FAILED;
  }
  return TRecordReply::RECORD_NONE;
}

void TGestionnaire::SendFileLine(const std::vector<std::string>& lines, int32_t index) {
  SendLine(lines[static_cast<size_t>(index)] + "\r\n");
}

bool TGestionnaire::UploadStep(const std::vector<std::string>& lines, int32_t& next) {
  switch (ReceiveRecordReply("Error while writing!!!")) {
    case TRecordReply::RECORD_TAKEN:
      StepProgress();
      if (next >= static_cast<int32_t>(lines.size())) return true;
      SendFileLine(lines, next);
      ++next;
      break;
    case TRecordReply::RECORD_RESEND:
      SendFileLine(lines, next > 0 ? next - 1 : 0);
      break;
    case TRecordReply::RECORD_NONE:
    case TRecordReply::RECORD_FAILED:
      break;
  }
  return false;
}

bool TGestionnaire::CountRetransmission() {
  ++ErrorCount;
  if (ErrorCount <= kMaxRetransmissions) return true;
  PostError(kTooManyRetransmissions);
  return false;
}
