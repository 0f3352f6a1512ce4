#include "emulator/line_pace.h"

#include <algorithm>

void TLinePace::Push(std::string_view bytes, int64_t ready, int64_t byte_ns) {
  if (bytes.empty()) return;
  const int64_t start = std::max(ready, busy_until_);
  const int64_t span = static_cast<int64_t>(bytes.size()) * byte_ns;
  busy_until_ = start + span;
  runs_.push_back(TRun{std::string(bytes), start, byte_ns});
  queued_ += bytes.size();
  bytes_ += bytes.size();
  line_ns_ += span;
}

size_t TLinePace::CrossedInFront(int64_t now) const {
  if (runs_.empty()) return 0;
  const TRun& run = runs_.front();
  if (now < run.Start + run.ByteNs) return 0;
  if (run.ByteNs == 0) return run.Bytes.size();
  const auto crossed = static_cast<size_t>((now - run.Start) / run.ByteNs);
  return std::min(crossed, run.Bytes.size());
}

int64_t TLinePace::CrossingInFront(size_t index) const {
  const TRun& run = runs_.front();
  return run.Start + static_cast<int64_t>(index + 1) * run.ByteNs;
}

std::string_view TLinePace::Front() const {
  return runs_.empty() ? std::string_view() : std::string_view(runs_.front().Bytes);
}

int64_t TLinePace::FrontByteNs() const { return runs_.empty() ? 0 : runs_.front().ByteNs; }

std::string TLinePace::TakeFront(size_t n) {
  if (runs_.empty()) return {};
  TRun& run = runs_.front();
  n = std::min(n, run.Bytes.size());
  std::string taken;
  if (n == run.Bytes.size()) {
    taken = std::move(run.Bytes);
    runs_.pop_front();
  } else {
    taken = run.Bytes.substr(0, n);
    run.Bytes.erase(0, n);
    run.Start += static_cast<int64_t>(n) * run.ByteNs;
  }
  queued_ -= taken.size();
  return taken;
}

std::optional<int64_t> TLinePace::NextDue(size_t chunk) const {
  if (runs_.empty()) return std::nullopt;
  const size_t size = runs_.front().Bytes.size();
  return CrossingInFront(std::min(size, std::max<size_t>(chunk, 1)) - 1);
}
