// TPaceStats: what qelt-emulator measured of a session, from the device's side, for
// the end-to-end benchmark (benchmarks/end_to_end.sh): the bytes and the serial time
// each way, the time the device held its replies back, the Effect files it played,
// the host's turnarounds (from a reply's last byte written to the next command's
// first byte read) and how late the emulator itself wrote the replies' last bytes.
// The server reports the events; Text() renders the totals as "key value" lines.
// Plain C++, single-threaded, bounded memory (turnarounds go into a histogram).
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TLinePace;
struct TDeviceStats;

class TPaceStats {
 public:
  // The device's output ran empty with nothing from the host on its way: a reply's
  // last byte was written at `now`; it had crossed the line at `due`.
  void ReplyWritten(int64_t now, int64_t due);
  // Bytes from the host were read at `now`; the first after a reply ends a turnaround.
  void HostRead(int64_t now);

  // Turnarounds measured, and their median, 99th percentile (to the histogram's
  // resolution: 1 us below 10 ms, 1 ms up to 10 s) and sum, in nanoseconds.
  uint64_t Turnarounds() const { return count_; }
  int64_t TurnaroundPercentileNs(double fraction) const;
  int64_t TurnaroundTotalNs() const { return total_ns_; }
  // How late the emulator wrote the replies' last bytes: in all, and the worst.
  int64_t LateTotalNs() const { return late_total_ns_; }
  int64_t LateMaxNs() const { return late_max_ns_; }

  // "key value" lines: the two lines' totals, the device's held-back time and
  // Effect files, the turnarounds and the lateness (every time in microseconds).
  std::string Text(const TLinePace& to_device, const TLinePace& to_host,
                   const TDeviceStats& device) const;

 private:
  static constexpr int64_t kFineNs = 1'000;        // fine buckets: 1 us ...
  static constexpr size_t kFineBuckets = 10'000;   // ... up to 10 ms
  static constexpr int64_t kCoarseNs = 1'000'000;  // coarse buckets: 1 ms ...
  static constexpr size_t kCoarseBuckets = 9'990;  // ... up to 10 s; beyond: overflow

  std::array<uint32_t, kFineBuckets> fine_{};
  std::array<uint32_t, kCoarseBuckets> coarse_{};
  uint64_t overflow_ = 0;   // turnarounds of 10 s or more
  uint64_t count_ = 0;      // turnarounds measured
  int64_t total_ns_ = 0;    // their sum
  int64_t reply_end_ = -1;  // when the last reply ended; -1: none since the host spoke
  int64_t late_total_ns_ = 0;
  int64_t late_max_ns_ = 0;
  uint64_t replies_ = 0;  // replies whose last byte went out with nothing pending
};
