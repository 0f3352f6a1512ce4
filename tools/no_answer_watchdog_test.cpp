// The no-answer watchdog on a fake clock: it fires only after a whole time-out of
// silence while the run waits on the device, and names the state exactly.
#include "tools/no_answer_watchdog.h"

#include <gtest/gtest.h>

TEST(NoAnswerWatchdog, FiresAfterAWholeTimeoutOfSilence) {
  TFakeClock clock;
  TNoAnswerWatchdog watchdog(clock, 2000);
  clock.Advance(1999);
  EXPECT_FALSE(watchdog.Expired(true));
  clock.Advance(1);
  EXPECT_TRUE(watchdog.Expired(true));
  EXPECT_TRUE(watchdog.Expired(true)) << "stays expired until something arrives";
  watchdog.Arrived();
  EXPECT_FALSE(watchdog.Expired(true));
}

TEST(NoAnswerWatchdog, ArrivalsAndPausesRestartTheSilence) {
  TFakeClock clock;
  TNoAnswerWatchdog watchdog(clock, 1000);
  clock.Advance(900);
  watchdog.Arrived();
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

TEST(NoAnswerWatchdog, Message) {
  const struct {
    uint32_t ms;
    TSeqState state;
    std::string sent, text;
  } cases[] = {
      {2000, TSeqState::SEQ_WAIT_CARD_LINE, "P0",
       "No answer from the device for 2 s in SEQ_WAIT_CARD_LINE (last sent: \"P0\")"},
      {1500, TSeqState::SEQ_WAIT_BOOT_SYNC, "%",
       "No answer from the device for 1.5 s in SEQ_WAIT_BOOT_SYNC (last sent: \"%\")"},
      {250, TSeqState::SEQ_WAIT_PING, "", "No answer from the device for 0.25 s in SEQ_WAIT_PING"},
      {1000, TSeqState::SEQ_WAIT_LINE, ":020000040000FA\r\n",
       "No answer from the device for 1 s in SEQ_WAIT_LINE (last sent: "
       "\":020000040000FA\\r\\n\")"},
      {1000, TSeqState::SEQ_WAIT_LINE, std::string(80, 'A'),
       "No answer from the device for 1 s in SEQ_WAIT_LINE (last sent: \"" + std::string(45, 'A') +
           "...\")"},
  };
  for (const auto& c : cases) EXPECT_EQ(NoAnswerMessage(c.ms, c.state, c.sent), c.text);
}
