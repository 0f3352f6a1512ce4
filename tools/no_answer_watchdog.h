// The runner's watchdog (--timeout, on by default): ends a run that has made no
// progress for too long while it waits on the device. Progress is the run moving on
// (the core's TProgressWatch: a state, a line, an engine step), not bytes arriving,
// so a device that keeps sending what the run cannot use is ended too. The caller
// says when the run waits on the device (WaitsOnDevice of app/sequencer.h, outside
// the core's timed waits), so time spent in "wait" lines, the JTAG engine's settling
// pause and the sequencer's own time-outs does not count. Reads the injected clock;
// plain C++, single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engines/ms_clock.h"

// The default time-out: well above the longest time a sound device takes for one
// step (a flash bank erase takes seconds; a long RUNTEST of an Effect file runs
// inside one statement), so only a run that cannot go on reaches it.
inline constexpr uint32_t kDefaultTimeoutMs = 60000;

class TNoAnswerWatchdog {
 public:
  // `timeout_ms` 0 turns the watchdog off.
  TNoAnswerWatchdog(TMsClock& clock, uint32_t timeout_ms);

  // The run made progress: the time without it starts again.
  void Progressed();
  // One check. `waiting` says whether the run now waits on the device; while it
  // does not, the time starts again. True once the run has waited on the device for
  // the whole time-out without progress (and on every later check until Progressed).
  bool Expired(bool waiting);
  uint32_t TimeoutMs() const { return timeout_ms_; }

 private:
  TMsClock& clock_;
  uint32_t timeout_ms_;   // 0: off
  uint32_t stuck_since_;  // tick of the last progress or of the last pause
};

// The device sent nothing: "No answer from the device for 60 s while waiting for the
// boot loader (last sent: \"%\")"; the part in brackets only when something was sent.
std::string NoAnswerMessage(uint32_t timeout_ms, const std::string& awaited,
                            const std::string& last_sent);
// The device sent `received` bytes (the first of them in `sample`) that moved
// nothing: "The device sent nothing the run could use while waiting for the
// boot loader: received \"ZZZ\\x01...\" (4096 bytes in 60 s)".
std::string NoProgressMessage(uint32_t timeout_ms, const std::string& awaited, uint64_t received,
                              std::string_view sample);
