#include "app/progress_watch.h"

bool TProgressWatch::Observe(const TRunMilestone& now) {
  if (now == last_) return false;
  last_ = now;
  ++progress_count_;
  Restart();
  return true;
}

void TProgressWatch::Received(std::string_view bytes) {
  stalled_bytes_ += bytes.size();
  if (sample_.size() < kSampleBytes) {
    sample_.append(bytes.substr(0, kSampleBytes - sample_.size()));
  }
}

void TProgressWatch::Restart() {
  stalled_bytes_ = 0;
  sample_.clear();
}
