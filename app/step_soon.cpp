// TMainFich's step soon: after a step that leaves work to do at once (an operation
// or a line finished, the next one to hand over, an engine with a command to send),
// the core asks its front end for one more step as soon as the event loop is free,
// instead of leaving that work to the next tick of Timer1; after a step inside a
// timed wait, for one step at the wait's end. The states below are the
// only ones that act without the device and without time passing; a state that
// waits (on a reply, on a time-out counted in ticks, on a timed wait) never asks,
// so a run asks at most a few times per operation and never spins.
#include <algorithm>

#include "app/main_fich.h"
#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"

namespace {

// The sequencer's states whose step acts at once. The switches have no default, so
// a new state (of the sequencer or of an engine) that is missing fails the build.
bool ActsAtOnce(TSeqState state) {
  using S = TSeqState;
  switch (state) {
    case S::SEQ_OPEN:
    case S::SEQ_WAKE:
    case S::SEQ_BOOT_SYNC:
    case S::SEQ_LOAD_SCRIPT:
    case S::SEQ_PING:
    case S::SEQ_NEXT_LINE:
    case S::SEQ_NEXT_CARD_LINE:
    case S::SEQ_NORMAL_BOOT:
    case S::SEQ_CLOSE:
    case S::SEQ_DONE:
    case S::SEQ_ERROR:
    case S::SEQ_ERROR_REPORT:
      return true;
    case S::SEQ_IDLE:  // idle steps keep the timer's pace
    case S::SEQ_WAIT_TYPE:
    case S::SEQ_WAIT_UPDATER:
    case S::SEQ_WAIT_BOOT_SYNC:
    case S::SEQ_WAIT_BRIDGE_BOOT:
    case S::SEQ_WAIT_PING:
    case S::SEQ_WAIT_BRIDGE_OPEN:
    case S::SEQ_WAIT_L0:
    case S::SEQ_WAIT_BRIDGE_CLOSE:
    case S::SEQ_WAIT_LINE:
    case S::SEQ_WAIT_CARD_LINE:
    case S::SEQ_WAIT_NORMAL_BOOT:
    case S::SEQ_WAIT_REBRIDGE_BOOT:
    case S::SEQ_WAIT_END_BRIDGE_OPEN:
    case S::SEQ_WAIT_END_UPDATE:
    case S::SEQ_WAIT_END_BRIDGE_CLOSE:
    case S::SEQ_WAIT_FINISH:
      return false;
  }
  return false;
}

// The boot loader's synchronisation sends "%" again on every other step until the
// device answers: its pace stays the timer's.
bool ActsAtOnce(TProgBoot::TBootState state) {
  using B = TProgBoot::TBootState;
  switch (state) {
    case B::BOOT_LOAD:
    case B::BOOT_VERIFY_SEND:
    case B::BOOT_DONE:
      return true;
    case B::BOOT_IDLE:
    case B::BOOT_SYNC_SEND:
    case B::BOOT_SYNC_WAIT:
    case B::BOOT_TYPE_WAIT:
    case B::BOOT_ID_WAIT:
    case B::BOOT_ERASE_ACK:
    case B::BOOT_ERASE_DONE:
    case B::BOOT_UPLOAD:
    case B::BOOT_VERIFY_WAIT:
    case B::BOOT_ERROR:
      return false;
  }
  return false;
}

// "wait" counts its time on the clock, polled by the ticks.
bool ActsAtOnce(TInstCrt::TCrtState state) {
  using C = TInstCrt::TCrtState;
  switch (state) {
    case C::CRT_PROMPT:
    case C::CRT_WAIT_START:
    case C::CRT_COMMAND_SEND:
    case C::CRT_WRITE_SEND:
    case C::CRT_VERSION_SEND:
    case C::CRT_PING_SEND:
    case C::CRT_L_SEND:
    case C::CRT_DONE:
      return true;
    case C::CRT_IDLE:
    case C::CRT_WAIT_TIME:
    case C::CRT_COMMAND_ACK:
    case C::CRT_WRITE_ACK:
    case C::CRT_WRITE_RESULT:
    case C::CRT_VERSION_ACK:
    case C::CRT_VERSION_READ:
    case C::CRT_PING_REPLY:
    case C::CRT_L_ACK:
    case C::CRT_ERROR:
      return false;
  }
  return false;
}

bool ActsAtOnce(TProgPsd::TPsdState state) {
  using P = TProgPsd::TPsdState;
  switch (state) {
    case P::PSD_BANK_CHECK:
    case P::PSD_VERIFY_SEND:
    case P::PSD_E_LOAD:
    case P::PSD_ID_SEND:
    case P::PSD_FINISH_SEND:
    case P::PSD_DONE:
      return true;
    case P::PSD_IDLE:
    case P::PSD_ERASE_ACK:
    case P::PSD_ERASE_DONE:
    case P::PSD_UPLOAD:
    case P::PSD_E_UPLOAD:
    case P::PSD_VERIFY_WAIT:
    case P::PSD_E_ACK:
    case P::PSD_ID_ACK:
    case P::PSD_ID_DATA:
    case P::PSD_FINISH_ACK:
    case P::PSD_ERROR:
      return false;
  }
  return false;
}

// The pause before an Effect file plays counts its time on the clock.
bool ActsAtOnce(TProgJtag::TJtagState state) {
  using J = TProgJtag::TJtagState;
  switch (state) {
    case J::JTAG_ID_SEND:
    case J::JTAG_PLAY_CHECK:
    case J::JTAG_FINISH_SEND:
    case J::JTAG_DONE:
      return true;
    case J::JTAG_IDLE:
    case J::JTAG_ID_ACK:
    case J::JTAG_ID_DATA:
    case J::JTAG_PLAY_ACK:
    case J::JTAG_PAUSE:
    case J::JTAG_PLAY:
    case J::JTAG_END_WAIT:
    case J::JTAG_FINISH_ACK:
    case J::JTAG_ERROR:
      return false;
  }
  return false;
}

template <typename Engine>
bool BusyAndActsAtOnce(const Engine& engine) {
  return engine.Busy && ActsAtOnce(engine.State());
}

}  // namespace

bool TMainFich::StepActsAtOnce() const {
  return ActsAtOnce(seq_state_) || BusyAndActsAtOnce(*prog_boot_) ||
         BusyAndActsAtOnce(*inst_crt_) || BusyAndActsAtOnce(*prog_psd_) ||
         BusyAndActsAtOnce(*prog_jtag_);
}

// The sequencer's and the engines' states in one number, to tell whether a step
// moved any of them.
uint64_t TMainFich::StatesMark() const {
  return static_cast<uint64_t>(seq_state_) | static_cast<uint64_t>(prog_boot_->State()) << 8 |
         static_cast<uint64_t>(inst_crt_->State()) << 16 |
         static_cast<uint64_t>(prog_psd_->State()) << 24 |
         static_cast<uint64_t>(prog_jtag_->State()) << 32;
}

bool TMainFich::InputPending() const {
  return !rx_buffer_.empty() || (rx_holder_ != nullptr && !rx_holder_->BufIn.empty());
}

// Called at the end of a step and after START or Read Id opened a run. A step takes
// one part of a reply that came whole ("." then a version, then "."): when it moved
// on and text is left, the next part is taken at once too. A step that moved
// nothing leaves text it cannot use yet (a reply still coming) to the next one.
void TMainFich::AskStepSoon(bool states_changed) {
  if (closed_) return;
  if (StepActsAtOnce() || (states_changed && InputPending())) {
    RaiseStepSoon();
  } else {
    AskStepAtWaitEnd();
  }
}

// A timed wait is polled by the steps: the one at its end is asked for by time.
void TMainFich::AskStepAtWaitEnd() {
  if (!OnStepAfter) return;
  std::optional<uint32_t> left;
  if (inst_crt_->Busy) left = inst_crt_->TimedWaitLeftMs();
  if (!left && prog_jtag_->Busy) left = prog_jtag_->PauseLeftMs();
  if (!left) return;
  step_soon_ = true;
  OnStepAfter(std::min(*left, kLongestStepAfterMs));
}

// A value the device reported in the variable protocol (DEV, UPDATER) is taken by
// the step after it, in the states where received text is followed by a step.
void TMainFich::AskStepSoonOnReport() {
  if (!closed_ && StepsOnReceive(seq_state_)) RaiseStepSoon();
}

// A handler that calls StepSoon at once (instead of posting it) finds a step under
// way and is ignored; the next tick then does the work, as it would without it.
void TMainFich::RaiseStepSoon() {
  step_soon_ = true;
  if (!OnStepSoon) return;
  const bool in_step = in_step_;
  in_step_ = true;
  OnStepSoon();
  in_step_ = in_step;
}

void TMainFich::StepSoon() {
  if (!step_soon_ || in_step_ || closed_) return;  // served by another step, or re-entered
  Timer1.Enabled = false;
  SequencerStep();
  Timer1.Enabled = !closed_;
  Changed();
}
