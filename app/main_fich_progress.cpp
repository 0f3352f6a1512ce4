// TMainFich and the progress of a run: the milestone taken after every step (what
// counts as progress, as opposed to bytes merely arriving), the still-waiting note
// that the status log gets on the timer when the device has been silent or
// unreadable for a while, and what the run waits for in the operator's words.
#include <string>

#include "app/main_fich.h"
#include "app/run_story.h"
#include "engines/card_table.h"
#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/text_util.h"

namespace {

// The boot loader is greeted with "%" again and again until it answers: going round
// between sending and waiting is not progress.
int BootMilestoneState(TProgBoot::TBootState state) {
  using B = TProgBoot::TBootState;
  return static_cast<int>(state == B::BOOT_SYNC_SEND ? B::BOOT_SYNC_WAIT : state);
}

std::string LinesSent(int32_t sent, size_t total) {
  return "line " + std::to_string(sent) + " of " + std::to_string(total) + " sent";
}

// "what (detail; context)", leaving out what is empty.
std::string Phrase(const std::string& what, const std::string& detail, const std::string& context) {
  std::string inside = detail;
  if (!context.empty()) inside += (inside.empty() ? "" : "; ") + context;
  return inside.empty() ? what : what + " (" + inside + ")";
}

std::string BootDetail(const TProgBoot& boot) {
  using B = TProgBoot::TBootState;
  switch (boot.State()) {
    case B::BOOT_TYPE_WAIT:
      return "device type " + std::to_string(boot.DeviceType) + " proposed";
    case B::BOOT_ID_WAIT:
      return "the device identifier";
    case B::BOOT_ERASE_ACK:
    case B::BOOT_ERASE_DONE:
      return "erasing";
    case B::BOOT_UPLOAD:
      return LinesSent(boot.LineIndex, boot.Lines.size());
    case B::BOOT_VERIFY_SEND:
    case B::BOOT_VERIFY_WAIT:
      return "verifying";
    default:
      return "";
  }
}

std::string PsdWords(const TProgPsd& psd, std::string& detail) {
  using P = TProgPsd::TPsdState;
  const std::string bank = "the bank " + std::to_string(psd.Bank) + " flash";
  switch (psd.State()) {
    case P::PSD_ERASE_ACK:
    case P::PSD_ERASE_DONE:
      detail = "erasing";
      return bank + " to be programmed";
    case P::PSD_UPLOAD:
      detail = LinesSent(psd.LineIndex, psd.Lines.size());
      return bank + " to be programmed";
    case P::PSD_VERIFY_SEND:
    case P::PSD_VERIFY_WAIT:
      detail = "verifying";
      return bank + " to be programmed";
    case P::PSD_E_LOAD:
    case P::PSD_E_ACK:
    case P::PSD_E_UPLOAD:
      detail = psd.State() == P::PSD_E_UPLOAD ? LinesSent(psd.LineIndex, psd.Lines.size()) : "";
      return "the EDID memory to be programmed";
    case P::PSD_ID_SEND:
    case P::PSD_ID_ACK:
    case P::PSD_ID_DATA:
      return "the microcontroller identifier";
    default:
      return bank + " to be closed";
  }
}

std::string JtagWords(const TProgJtag& jtag, const std::string& line, std::string& detail) {
  using J = TProgJtag::TJtagState;
  // The line handed over: "P", the chain's code, the Effect file.
  const std::string rest = Trim(std::string_view(line).substr(line.empty() ? 0 : 1));
  const std::string chain = rest.empty() ? "?" : rest.substr(0, 1);
  switch (jtag.State()) {
    case J::JTAG_ID_SEND:
    case J::JTAG_ID_ACK:
    case J::JTAG_ID_DATA:
      return "the identifiers of JTAG chain " + chain;
    case J::JTAG_PLAY_CHECK:
    case J::JTAG_PLAY_ACK:
    case J::JTAG_PAUSE:
    case J::JTAG_PLAY:
    case J::JTAG_END_WAIT:
      if (jtag.State() == J::JTAG_PLAY) detail = LinesSent(jtag.LineNumber, jtag.LineCount);
      if (jtag.State() == J::JTAG_END_WAIT) detail = "end record sent";
      return "Effect file " + Trim(std::string_view(rest).substr(rest.empty() ? 0 : 1)) +
             " to be played on chain " + chain;
    default:
      return "JTAG chain " + chain + " to be closed";
  }
}

std::string CrtWords(const TInstCrt& crt) {
  using C = TInstCrt::TCrtState;
  switch (crt.State()) {
    case C::CRT_PING_SEND:
    case C::CRT_PING_REPLY:
      return "the card to answer its ping";
    case C::CRT_VERSION_SEND:
    case C::CRT_VERSION_ACK:
    case C::CRT_VERSION_READ:
      return "the version to be read";
    case C::CRT_WRITE_SEND:
    case C::CRT_WRITE_ACK:
    case C::CRT_WRITE_RESULT:
      return "the version to be written";
    default:
      return "the command to be carried out";
  }
}

}  // namespace

TRunMilestone TMainFich::Milestone() const {
  TRunMilestone m;
  m.State = seq_state_;
  m.LineIndex = line_index_;
  m.CardLineIndex = card_line_index_;
  m.EngineStates = {BootMilestoneState(prog_boot_->State()), static_cast<int>(inst_crt_->State()),
                    static_cast<int>(prog_psd_->State()), static_cast<int>(prog_jtag_->State())};
  m.Positions = {prog_boot_->LineIndex, prog_psd_->LineIndex, prog_jtag_->LineNumber};
  m.Bars = {ProgressBar1.Position(), ProgressBar2.Position(), ProgressBar3.Position()};
  return m;
}

void TMainFich::WatchProgress() {
  if (!progress_.Observe(Milestone())) return;
  still_waiting_ms_ = 0;
  still_waiting_noted_ = false;
}

// Counted in the timer's nominal intervals, as the sequencer's own time-outs are.
void TMainFich::WatchStillWaiting() {
  if (!WaitsOnDevice(seq_state_) || timed_wait_) {
    still_waiting_ms_ = 0;
    still_waiting_noted_ = false;
    progress_.Restart();
    return;
  }
  still_waiting_ms_ += Timer1.Interval;
  if (StillWaitingNoteMs == 0 || still_waiting_noted_ || still_waiting_ms_ < StillWaitingNoteMs) {
    return;
  }
  still_waiting_noted_ = true;
  LogInfo(StillWaitingNote(still_waiting_ms_, Awaited(), progress_.StalledBytes(),
                           progress_.StalledSample()));
}

std::string TMainFich::Awaited() const {
  using S = TSeqState;
  std::string detail;
  switch (seq_state_) {
    case S::SEQ_WAIT_LINE:
    case S::SEQ_WAIT_CARD_LINE:
      break;
    case S::SEQ_PING:
    case S::SEQ_WAIT_PING:
      return Phrase(SeqStateAwaits(seq_state_), "", AwaitedPingCard());
    default:
      if (prog_boot_->Busy) detail = BootDetail(*prog_boot_);
      return Phrase(SeqStateAwaits(seq_state_), detail, "");
  }
  const bool card = seq_state_ == S::SEQ_WAIT_CARD_LINE;
  const std::string context = std::string(card ? "card" : "main") + " script line " +
                              std::to_string(card ? card_line_index_ : line_index_) + ": " +
                              current_line_;
  std::string what = SeqStateAwaits(seq_state_);
  if (prog_boot_->Busy) {
    what = "the boot image to be programmed";
    detail = BootDetail(*prog_boot_);
  } else if (inst_crt_->Busy) {
    what = CrtWords(*inst_crt_);
  } else if (prog_psd_->Busy) {
    what = PsdWords(*prog_psd_, detail);
  } else if (prog_jtag_->Busy) {
    what = JtagWords(*prog_jtag_, current_line_, detail);
  }
  return Phrase(what, detail, context);
}

std::string TMainFich::AwaitedPingCard() const {
  if (line_index_ < 0 || line_index_ >= kOptionCardCount) return "";
  return "card " + std::to_string(line_index_) + ", " + CardKind(line_index_);
}
