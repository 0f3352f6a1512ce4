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

const char* SeqStateName(TSeqState state) {
  static const char* const kNames[] = {
      "SEQ_IDLE",
      "SEQ_OPEN",
      "SEQ_WAKE",
      "SEQ_WAIT_TYPE",
      "SEQ_WAIT_UPDATER",
      "SEQ_BOOT_SYNC",
      "SEQ_WAIT_BOOT_SYNC",
      "SEQ_LOAD_SCRIPT",
      "SEQ_WAIT_BRIDGE_BOOT",
      "SEQ_PING",
      "SEQ_WAIT_PING",
      "SEQ_WAIT_BRIDGE_OPEN",
      "SEQ_WAIT_L0",
      "SEQ_WAIT_BRIDGE_CLOSE",
      "SEQ_NEXT_LINE",
      "SEQ_WAIT_LINE",
      "SEQ_NEXT_CARD_LINE",
      "SEQ_WAIT_CARD_LINE",
      "SEQ_NORMAL_BOOT",
      "SEQ_WAIT_NORMAL_BOOT",
      "SEQ_CLOSE",
      "SEQ_WAIT_REBRIDGE_BOOT",
      "SEQ_WAIT_END_BRIDGE_OPEN",
      "SEQ_WAIT_END_UPDATE",
      "SEQ_WAIT_END_BRIDGE_CLOSE",
      "SEQ_WAIT_FINISH",
      "SEQ_DONE",
      "SEQ_ERROR",
      "SEQ_ERROR_REPORT",
  };
  size_t index = static_cast<size_t>(state);
  return index < sizeof kNames / sizeof kNames[0] ? kNames[index] : "SEQ_IDLE";
}

bool WaitsOnDevice(TSeqState state) {
  switch (state) {
    case TSeqState::SEQ_IDLE:
    case TSeqState::SEQ_OPEN:
    case TSeqState::SEQ_WAKE:
    case TSeqState::SEQ_WAIT_TYPE:
    case TSeqState::SEQ_WAIT_UPDATER:
    case TSeqState::SEQ_DONE:
    case TSeqState::SEQ_ERROR:
    case TSeqState::SEQ_ERROR_REPORT:
      return false;
    default:
      return true;
  }
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
