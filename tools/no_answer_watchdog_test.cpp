// The watchdog on a fake clock: it fires only after a whole time-out without
// progress while the run waits on the device, and its two messages say exactly what
// was awaited and what came.
#include "tools/no_answer_watchdog.h"

#include <gtest/gtest.h>

TEST(NoAnswerWatchdog, FiresAfterAWholeTimeoutWithoutProgress) {
  TFakeClock clock;
  TNoAnswerWatchdog watchdog(clock, 2000);
  clock.Advance(1999);
  EXPECT_FALSE(watchdog.Expired(true));
  clock.Advance(1);
  EXPECT_TRUE(watchdog.Expired(true));
  EXPECT_TRUE(watchdog.Expired(true)) << "stays expired until the run moves on";
  watchdog.Progressed();
  EXPECT_FALSE(watchdog.Expired(true));
}

TEST(NoAnswerWatchdog, ProgressAndPausesRestartTheTime) {
  TFakeClock clock;
  TNoAnswerWatchdog watchdog(clock, 1000);
  clock.Advance(900);
  watchdog.Progressed();
  clock.Advance(900);
  EXPECT_FALSE(watchdog.Expired(true));
  // A timed wait of 5 s: not waiting on the device, so none of it counts.
  clock.Advance(5000);
  EXPECT_FALSE(watchdog.Expired(false));
  clock.Advance(999);
  EXPECT_FALSE(watchdog.Expired(true));
  clock.Advance(1);
  EXPECT_TRUE(watchdog.Expired(true));
}

TEST(NoAnswerWatchdog, OffWhenTheTimeoutIsZero) {
  TFakeClock clock;
  TNoAnswerWatchdog watchdog(clock, 0);
  clock.Advance(100000000);
  EXPECT_FALSE(watchdog.Expired(true));
}

TEST(NoAnswerWatchdog, SurvivesTheTickCounterWrapping) {
  TFakeClock clock;
  clock.Set(0xFFFFFF00u);
  TNoAnswerWatchdog watchdog(clock, 1000);
  clock.Advance(0x200);  // wraps past zero
  EXPECT_FALSE(watchdog.Expired(true));
  clock.Advance(1000);
  EXPECT_TRUE(watchdog.Expired(true));
}

TEST(NoAnswerWatchdog, Messages) {
  const std::string awaited = "the bank 2 flash to be programmed (erasing)";
  const struct {
    std::string text, expected;
  } cases[] = {
      {NoAnswerMessage(60000, awaited, "P2"),
       "No answer from the device for 60 s while waiting for the bank 2 flash to be programmed "
       "(erasing) (last sent: \"P2\")"},
      {NoAnswerMessage(1500, "the boot loader", "%"),
       "No answer from the device for 1.5 s while waiting for the boot loader (last sent: \"%\")"},
      {NoAnswerMessage(250, "the boot loader", ""),
       "No answer from the device for 0.25 s while waiting for the boot loader"},
      {NoAnswerMessage(1000, "x", ":020000040000FA\r\n"),
       "No answer from the device for 1 s while waiting for x (last sent: "
       "\":020000040000FA\\r\\n\")"},
      {NoAnswerMessage(1000, "x", std::string(80, 'A')),
       "No answer from the device for 1 s while waiting for x (last sent: \"" +
           std::string(45, 'A') + "...\")"},
      {NoProgressMessage(60000, "the boot loader", 4096, std::string("ZZZ\x01", 4)),
       "The device sent nothing the run could use while waiting for the boot loader: "
       "received \"ZZZ\\x01...\" (4096 bytes in 60 s)"},
      {NoProgressMessage(2000, "the boot loader", 1, "\x1b"),
       "The device sent nothing the run could use while waiting for the boot loader: "
       "received \"\\e\" (1 byte in 2 s)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}
