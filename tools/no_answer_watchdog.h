// The runner's no-answer watchdog (--timeout): ends a run whose device has sent
// nothing for too long while the run waits on it. The caller says when it does
// (WaitsOnDevice of app/sequencer.h, outside the core's timed waits), so time spent in
// "wait" lines, the JTAG engine's settling pause and the sequencer's own time-outs
// does not count. Reads the injected clock; plain C++, single-threaded.
#pragma once

#include <cstdint>
#include <string>

#include "app/sequencer.h"
#include "engines/ms_clock.h"

class TNoAnswerWatchdog {
 public:
  // `timeout_ms` 0 turns the watchdog off.
  TNoAnswerWatchdog(TMsClock& clock, uint32_t timeout_ms);

  // Bytes arrived from the device: the silence starts again.
  void Arrived();
  // One check. `waiting` says whether the run now waits on the device; while it
  // does not, the silence starts again. True once the device has been silent for
  // the whole time-out while waited on (and on every later check until Arrived).
  bool Expired(bool waiting);
  uint32_t TimeoutMs() const { return timeout_ms_; }

 private:
  TMsClock& clock_;
  uint32_t timeout_ms_;    // 0: off
  uint32_t silent_since_;  // tick of the last arrival or of the last pause
};

// "No answer from the device for 5 s in SEQ_WAIT_CARD_LINE (last sent: \"P0\")";
// the part in brackets only when something was sent.
std::string NoAnswerMessage(uint32_t timeout_ms, TSeqState state, const std::string& last_sent);
