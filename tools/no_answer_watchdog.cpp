#include "tools/no_answer_watchdog.h"

#include "app/run_story.h"

namespace {
constexpr size_t kLastSentShown = 48;  // escaped characters of the last piece sent
}  // namespace

TNoAnswerWatchdog::TNoAnswerWatchdog(TMsClock& clock, uint32_t timeout_ms)
    : clock_(clock), timeout_ms_(timeout_ms), stuck_since_(clock.TickCount()) {}

void TNoAnswerWatchdog::Progressed() { stuck_since_ = clock_.TickCount(); }

bool TNoAnswerWatchdog::Expired(bool waiting) {
  if (timeout_ms_ == 0) return false;
  const uint32_t now = clock_.TickCount();
  if (!waiting) {
    stuck_since_ = now;
    return false;
  }
  return now - stuck_since_ >= timeout_ms_;  // unsigned: survives a tick wrap
}

std::string NoAnswerMessage(uint32_t timeout_ms, const std::string& awaited,
                            const std::string& last_sent) {
  std::string text =
      "No answer from the device for " + SecondsText(timeout_ms) + " while waiting for " + awaited;
  if (!last_sent.empty()) {
    std::string sent = EscapeBytes(last_sent);
    if (sent.size() > kLastSentShown) sent = sent.substr(0, kLastSentShown - 3) + "...";
    text += " (last sent: \"" + sent + "\")";
  }
  return text;
}

std::string NoProgressMessage(uint32_t timeout_ms, const std::string& awaited, uint64_t received,
                              std::string_view sample) {
  return "The device sent nothing the run could use while waiting for " + awaited + ": received " +
         QuotedSample(sample, received) + " (" + std::to_string(received) +
         (received == 1 ? " byte in " : " bytes in ") + SecondsText(timeout_ms) + ")";
}
