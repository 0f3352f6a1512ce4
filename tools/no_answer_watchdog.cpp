#include "tools/no_answer_watchdog.h"

#include <cstdio>

#include "tools/runner_output.h"

TNoAnswerWatchdog::TNoAnswerWatchdog(TMsClock& clock, uint32_t timeout_ms)
    : clock_(clock), timeout_ms_(timeout_ms), silent_since_(clock.TickCount()) {}

void TNoAnswerWatchdog::Arrived() { silent_since_ = clock_.TickCount(); }

bool TNoAnswerWatchdog::Expired(bool waiting) {
  if (timeout_ms_ == 0) return false;
  uint32_t now = clock_.TickCount();
  if (!waiting) {
    silent_since_ = now;
    return false;
  }
  return now - silent_since_ >= timeout_ms_;  // unsigned: survives a tick wrap
}

std::string NoAnswerMessage(uint32_t timeout_ms, TSeqState state, const std::string& last_sent) {
  std::string seconds = std::to_string(timeout_ms / 1000);
  if (timeout_ms % 1000 != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03u", timeout_ms % 1000);
    seconds += fraction;
    seconds.erase(seconds.find_last_not_of('0') + 1);
  }
  std::string text = "No answer from the device for " + seconds + " s in " + SeqStateName(state);
  if (!last_sent.empty()) {
    std::string sent = EscapeBytes(last_sent);
    if (sent.size() > 48) sent = sent.substr(0, 45) + "...";
    text += " (last sent: \"" + sent + "\")";
  }
  return text;
}
