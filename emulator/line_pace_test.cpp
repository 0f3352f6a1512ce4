// The emulator's paced line and its session figures: when each byte crosses, what a
// push keeps together, and the totals and turnarounds the benchmark reads.
#include "emulator/line_pace.h"

#include <gtest/gtest.h>

#include <string>

#include "emulator/emulated_device.h"
#include "emulator/pace_stats.h"

namespace {

constexpr int64_t kFast = ByteNs(57600);

TEST(LinePace, ByteTimesAtTheTwoSpeeds) {
  EXPECT_EQ(ByteNs(57600), 173'611);
  EXPECT_EQ(ByteNs(9600), 1'041'666);
  EXPECT_EQ(ByteNs(0), 0);
}

TEST(LinePace, EachByteCrossesTenBitTimesAfterTheOneBefore) {
  TLinePace line;
  line.Push("P2", 1'000, kFast);
  struct TCase {
    int64_t now;
    size_t crossed;
  };
  const TCase table[] = {
      {1'000, 0},
      {1'000 + kFast - 1, 0},
      {1'000 + kFast, 1},
      {1'000 + 2 * kFast - 1, 1},
      {1'000 + 2 * kFast, 2},
      {1'000'000'000, 2},
  };
  for (const TCase& c : table) EXPECT_EQ(line.CrossedInFront(c.now), c.crossed) << c.now;
  EXPECT_EQ(line.CrossingInFront(1), 1'000 + 2 * kFast);
  EXPECT_EQ(line.NextDue(64), std::optional<int64_t>(1'000 + 2 * kFast));
  EXPECT_EQ(line.NextDue(1), std::optional<int64_t>(1'000 + kFast));
}

TEST(LinePace, APushWaitsForTheLineButAnIdleLineStartsAtItsReadyTime) {
  TLinePace line;
  line.Push("AB", 0, kFast);
  line.Push("C", kFast, kFast);  // ready while "B" is still on the line
  EXPECT_EQ(line.TakeFront(2), "AB");
  EXPECT_EQ(line.CrossingInFront(0), 3 * kFast);
  EXPECT_EQ(line.TakeFront(1), "C");
  // Idle since 3 * kFast: a reply made earlier (when its command crossed) starts then.
  line.Push("D", 10 * kFast, kFast);
  EXPECT_EQ(line.CrossingInFront(0), 11 * kFast);
}

TEST(LinePace, TakingKeepsEachPushApartAndMovesTheRestOn) {
  TLinePace line;
  line.Push("abcd", 0, kFast);
  line.Push("ef", 0, kFast);
  EXPECT_EQ(line.CrossedInFront(100 * kFast), 4u);  // never past the push
  EXPECT_EQ(line.TakeFront(3), "abc");
  EXPECT_EQ(line.Front(), "d");
  EXPECT_EQ(line.CrossingInFront(0), 4 * kFast);
  EXPECT_EQ(line.Queued(), 3u);
  EXPECT_EQ(line.TakeFront(9), "d");
  EXPECT_EQ(line.Front(), "ef");
  EXPECT_EQ(line.FrontByteNs(), kFast);
  EXPECT_EQ(line.TakeFront(2), "ef");
  EXPECT_TRUE(line.Empty());
  EXPECT_EQ(line.NextDue(64), std::nullopt);
  EXPECT_EQ(line.Bytes(), 6u);
  EXPECT_EQ(line.LineNs(), 6 * kFast);
}

TEST(LinePace, UnpacedBytesCrossAtOnce) {
  TLinePace line;
  line.Push("?", 500, 0);
  EXPECT_EQ(line.CrossedInFront(500), 1u);
  EXPECT_EQ(line.NextDue(64), std::optional<int64_t>(500));
  EXPECT_EQ(line.LineNs(), 0);
}

TEST(PaceStats, ATurnaroundRunsFromAReplysEndToTheHostsNextBytes) {
  TPaceStats stats;
  stats.HostRead(1'000);  // the host speaks first: no reply before it
  stats.ReplyWritten(10'000, 9'000);
  stats.HostRead(10'000 + 42'000);
  stats.HostRead(90'000);  // more bytes of the same command: not a turnaround
  stats.ReplyWritten(100'000, 100'000);
  stats.HostRead(100'000 + 12'000'000);  // 12 ms: a coarse bucket
  EXPECT_EQ(stats.Turnarounds(), 2u);
  EXPECT_EQ(stats.TurnaroundTotalNs(), 42'000 + 12'000'000);
  EXPECT_EQ(stats.TurnaroundPercentileNs(0.0), 42'000);
  EXPECT_EQ(stats.TurnaroundPercentileNs(1.0), 12'000'000);
  EXPECT_EQ(stats.LateTotalNs(), 1'000);
  EXPECT_EQ(stats.LateMaxNs(), 1'000);
}

TEST(PaceStats, TheMedianAndThe99thPercentileOfManyTurnarounds) {
  TPaceStats stats;
  int64_t now = 0;
  for (int i = 1; i <= 1000; ++i) {  // 1 us .. 1000 us
    stats.ReplyWritten(now, now);
    now += i * 1'000;
    stats.HostRead(now);
  }
  EXPECT_EQ(stats.TurnaroundPercentileNs(0.5), 500'000);
  EXPECT_EQ(stats.TurnaroundPercentileNs(0.99), 990'000);
}

TEST(PaceStats, TextNamesEveryFigureInMicroseconds) {
  TLinePace to_device;
  TLinePace to_host;
  to_device.Push("P2", 0, kFast);
  to_host.Push("..", 0, kFast);
  to_host.Push("X", 0, ByteNs(9600));
  TDeviceStats device;
  device.EffectPlays = 7;
  device.HeldBackMs = 25;
  TPaceStats stats;
  stats.ReplyWritten(2'000'000, 1'990'000);
  stats.HostRead(2'150'000);
  EXPECT_EQ(stats.Text(to_device, to_host, device),
            "# qelt-emulator session, from the device's side; times in microseconds\n"
            "host_bytes 2\n"
            "host_line_us 347\n"
            "device_bytes 3\n"
            "device_line_us 1388\n"
            "held_back_us 25000\n"
            "effect_plays 7\n"
            "replies 1\n"
            "turnarounds 1\n"
            "turnaround_median_us 150\n"
            "turnaround_p99_us 150\n"
            "turnaround_total_us 150\n"
            "late_total_us 10\n"
            "late_max_us 10\n");
}

}  // namespace
