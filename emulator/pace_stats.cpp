#include "emulator/pace_stats.h"

#include <algorithm>

#include "emulator/emulated_device.h"
#include "emulator/line_pace.h"

namespace {

int64_t Micros(int64_t ns) { return ns / 1000; }

std::string Entry(const char* key, int64_t value) {
  return std::string(key) + " " + std::to_string(value) + "\n";
}

}  // namespace

void TPaceStats::ReplyWritten(int64_t now, int64_t due) {
  const int64_t late = std::max<int64_t>(0, now - due);
  late_total_ns_ += late;
  late_max_ns_ = std::max(late_max_ns_, late);
  ++replies_;
  reply_end_ = now;
}

void TPaceStats::HostRead(int64_t now) {
  if (reply_end_ < 0) return;
  const int64_t gap = std::max<int64_t>(0, now - reply_end_);
  reply_end_ = -1;
  ++count_;
  total_ns_ += gap;
  if (gap < kFineNs * static_cast<int64_t>(kFineBuckets)) {
    ++fine_[static_cast<size_t>(gap / kFineNs)];
    return;
  }
  const auto coarse = static_cast<size_t>(gap / kCoarseNs) - kFineBuckets / 1000;
  if (coarse < kCoarseBuckets) {
    ++coarse_[coarse];
  } else {
    ++overflow_;
  }
}

// The lower bound of the bucket that holds the turnaround of rank `fraction`.
int64_t TPaceStats::TurnaroundPercentileNs(double fraction) const {
  if (count_ == 0) return 0;
  const auto rank = static_cast<uint64_t>(fraction * static_cast<double>(count_ - 1));
  uint64_t seen = 0;
  for (size_t i = 0; i < kFineBuckets; ++i) {
    seen += fine_[i];
    if (seen > rank) return static_cast<int64_t>(i) * kFineNs;
  }
  for (size_t i = 0; i < kCoarseBuckets; ++i) {
    seen += coarse_[i];
    if (seen > rank) return static_cast<int64_t>(i + kFineBuckets / 1000) * kCoarseNs;
  }
  return static_cast<int64_t>(kCoarseBuckets + kFineBuckets / 1000) * kCoarseNs;
}

std::string TPaceStats::Text(const TLinePace& to_device, const TLinePace& to_host,
                             const TDeviceStats& device) const {
  std::string text = "# qelt-emulator session, from the device's side; times in microseconds\n";
  text += Entry("host_bytes", static_cast<int64_t>(to_device.Bytes()));
  text += Entry("host_line_us", Micros(to_device.LineNs()));
  text += Entry("device_bytes", static_cast<int64_t>(to_host.Bytes()));
  text += Entry("device_line_us", Micros(to_host.LineNs()));
  text += Entry("held_back_us", static_cast<int64_t>(device.HeldBackMs) * 1000);
  text += Entry("effect_plays", device.EffectPlays);
  text += Entry("replies", static_cast<int64_t>(replies_));
  text += Entry("turnarounds", static_cast<int64_t>(count_));
  text += Entry("turnaround_median_us", Micros(TurnaroundPercentileNs(0.5)));
  text += Entry("turnaround_p99_us", Micros(TurnaroundPercentileNs(0.99)));
  text += Entry("turnaround_total_us", Micros(total_ns_));
  text += Entry("late_total_us", Micros(late_total_ns_));
  text += Entry("late_max_us", Micros(late_max_ns_));
  return text;
}
