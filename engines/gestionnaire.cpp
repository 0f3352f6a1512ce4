#include "engines/gestionnaire.h"

#include <algorithm>

#include "engines/text_util.h"

namespace {
// How much of the text sent last the default AwaitedReply quotes.
constexpr size_t kQuotedSendBytes = 24;
}  // namespace

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
  upload_path_.clear();
  sent_file_line_ = 0;
  ResetNoise();
}

void TGestionnaire::ResetNoise() {
  skip_to_dot_ = false;
  noise_count_ = 0;
  noise_run_ = 0;
  noise_run_open_ = false;
  noise_sample_.clear();
}

std::string TGestionnaire::NoiseSample() const { return EscapeForMessage(noise_sample_); }

void TGestionnaire::SetBusy() {
  ResetNoise();
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
  sent_file_line_ = 0;
  BufOut = text;
  Raise(OnSend);
}

void TGestionnaire::PullInput() {
  Raise(OnReceive);
  if (BufIn.size() <= kInputCap) return;
  AddNoise(BufIn.size() - kInputCap, std::string_view(BufIn).substr(kInputCap));
  BufIn.resize(kInputCap);
  Raise(OnChangeBufIn);
}

void TGestionnaire::ConsumeInput(size_t count) {
  EndNoiseRun();
  BufIn.erase(0, count);  // erase clamps to the buffer's length
  Raise(OnChangeBufIn);
}

void TGestionnaire::ClearInput() {
  EndNoiseRun();
  BufIn.clear();
  Raise(OnChangeBufIn);
}

void TGestionnaire::AddNoise(uint64_t count, std::string_view bytes) {
  if (count == 0) return;
  if (!noise_run_open_) {
    noise_run_open_ = true;
    noise_run_ = 0;
    noise_sample_.clear();
  }
  noise_count_ += count;
  noise_run_ += count;
  const size_t room = kNoiseSampleBytes - std::min(kNoiseSampleBytes, noise_sample_.size());
  noise_sample_.append(bytes.substr(0, room));
}

void TGestionnaire::CountNoise(std::string_view bytes) { AddNoise(bytes.size(), bytes); }

bool TGestionnaire::WithinNoiseLimit() {
  if (noise_run_ <= kNoiseLimit) return true;
  const bool cut = noise_run_ > noise_sample_.size();
  PostError("The device sent " + std::to_string(noise_run_) +
            " unexpected bytes while waiting for " + AwaitedReply() + ": \"" + NoiseSample() +
            (cut ? "...\"" : "\""));
  return false;
}

bool TGestionnaire::DropNoise(size_t count) {
  count = std::min(count, BufIn.size());
  if (count == 0) return true;
  AddNoise(count, std::string_view(BufIn).substr(0, count));
  BufIn.erase(0, count);
  Raise(OnChangeBufIn);
  return WithinNoiseLimit();
}

bool TGestionnaire::DropNoiseBefore(std::string_view starts) {
  const size_t first = BufIn.find_first_of(starts);
  return DropNoise(first == std::string::npos ? BufIn.size() : first);
}

bool TGestionnaire::DropStaleData(size_t longest, std::string_view marks) {
  const size_t mark = BufIn.find_first_of(marks);
  const size_t end = mark == std::string::npos ? BufIn.size() : mark;
  return DropNoise(end > longest ? end - longest : 0);
}

bool TGestionnaire::AlignDataReply(size_t shortest, size_t longest, bool (*can_begin)(char)) {
  size_t drop = 0;  // everything before it is noise
  for (;;) {
    if (skip_to_dot_) {  // a text already too long to be the reply: up to its "."
      const size_t dot = BufIn.find('.', drop);
      if (dot == std::string::npos) {
        drop = BufIn.size();
        break;
      }
      drop = dot + 1;
      skip_to_dot_ = false;
    }
    while (drop < BufIn.size() && !can_begin(BufIn[drop])) ++drop;
    const size_t dot = BufIn.find('.', drop);
    if (dot == std::string::npos) {
      skip_to_dot_ = BufIn.size() - drop > longest;
      if (skip_to_dot_) drop = BufIn.size();
      break;
    }
    if (dot - drop >= shortest && dot - drop <= longest) break;  // a complete reply
    drop = dot + 1;  // a "." at the wrong place ends a text that is no reply
  }
  if (!DropNoise(drop)) return false;
  const size_t dot = BufIn.find('.');
  return dot != std::string::npos && dot >= shortest && dot <= longest;
}

bool TGestionnaire::IsHexDigitChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool TGestionnaire::IsTextChar(char c) { return static_cast<unsigned char>(c) >= 0x20 && c != '.'; }

char TGestionnaire::AwaitReply(std::string_view replies) {
  PullInput();
  if (!DropNoiseBefore(replies)) return 0;
  return BufIn.empty() ? 0 : BufIn.front();
}

std::string TGestionnaire::AwaitedReply() const {
  if (sent_file_line_ > 0) {
    return "the answer to line " + std::to_string(sent_file_line_) + " of " + upload_path_;
  }
  const bool cut = BufOut.size() > kQuotedSendBytes;
  return "the answer to \"" +
         EscapeForMessage(std::string_view(BufOut).substr(0, kQuotedSendBytes)) +
         (cut ? "...\"" : "\"");
}

void TGestionnaire::SetDeviceID(uint16_t n) {
  DeviceID = n;
  Raise(OnChangeDeviceID);
}

void TGestionnaire::SpeedDown() { Raise(OnSpeedDown); }

bool TGestionnaire::ReceiveAck() {
  const char reply = AwaitReply(".I");
  if (reply == '.') {
    ConsumeInput(1);
    return true;
  }
  if (reply == 'I') {
    ConsumeInput(1);
    PostError(kInstructionUnknown);
  }
  return false;
}

bool TGestionnaire::ReceiveDone(const char* failure) {
  if (AwaitReply(".X") == 0) return false;
  return TakeVerdict(failure) == TRecordReply::RECORD_TAKEN;
}

TGestionnaire::TRecordReply TGestionnaire::ReceiveRecordReply(const char* failure) {
  if (AwaitReply(".XR") == 0) return TRecordReply::RECORD_NONE;
  return TakeRecordReply(failure);
}

TGestionnaire::TRecordReply TGestionnaire::TakeRecordReply(const char* failure) {
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
  sent_file_line_ = index + 1;
}

bool TGestionnaire::UploadStep(const std::vector<std::string>& lines, int32_t& next) {
  const char reply = AwaitReply(".XRI");
  if (reply == 0) return false;
  if (reply == 'I') {
    const int32_t line = sent_file_line_;
    ConsumeInput(1);
    PostError(upload_path_ + " line " + std::to_string(line) +
              ": the device cannot take this line (it answered \"I\")");
    return false;
  }
  switch (TakeRecordReply("Error while writing!!!")) {
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
