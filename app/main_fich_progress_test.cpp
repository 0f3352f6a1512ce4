// A run's progress as the core sees it: what counts as progress (not bytes merely
// arriving), the still-waiting note the window's status log gets once per wait, and
// what the run waits for in the operator's words, at each kind of step.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/progress_watch.h"
#include "app/run_story.h"
#include "app/testing/emulated_run.h"
#include "emulator/fault_plan.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kRunTicks = 20000;

int CountStartingWith(const Lines& lines, const std::string& start) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.starts_with(start);
  }));
}

class StillWaiting : public ::testing::Test {
 protected:
  TRunHarnessOptions Options() const {
    TRunHarnessOptions o;
    o.ProgramFolder = package.Dir();
    o.WorkingFolder = package.Dir();
    return o;
  }
  // Starts a run and ticks until the sequencer waits for the boot loader.
  // The package is empty: these runs never get past the boot loader, so the check
  // that would refuse it is off.
  void StartToBootSync(TRunHarness& h) {
    h.core->SetPackageCheck(false);
    h.core->StartClick();
    std::string why;
    ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 1000, &why)) << why;
  }
  // Ticks until a line beginning with `start` is logged; the ticks it took.
  static int TicksUntilLogged(TRunHarness& h, const std::string& start, int max_ticks) {
    for (int tick = 1; tick <= max_ticks; ++tick) {
      h.Tick();
      if (CountStartingWith(h.Log(), start) > 0) return tick;
    }
    return -1;
  }
  TTestPackage package;
};

TEST_F(StillWaiting, ASilentDeviceGetsOneNoteAfterThirtySeconds) {
  TRunHarness h(Options());
  StartToBootSync(h);
  const std::string note =
      "No answer from the device for 30 s while waiting for the boot loader (still waiting; "
      "press STOP to end the run)";
  // 3000 ticks of 10 ms, the one that began the wait included.
  EXPECT_EQ(TicksUntilLogged(h, "No answer", 5000), 2999) << h.LastLogLines();
  EXPECT_EQ(h.Log().back(), note);
  for (int i = 0; i < 9000; ++i) h.Tick();
  EXPECT_EQ(CountStartingWith(h.Log(), "No answer"), 1) << "once per wait";
  EXPECT_EQ(h.core->SeqState(), TSeqState::SEQ_WAIT_BOOT_SYNC) << "the run still waits";
}

// Bytes that the boot loader's synchronisation cannot use are no progress: the note
// says what came.
TEST_F(StillWaiting, AnUnreadableDeviceGetsANoteThatQuotesWhatCame) {
  TScriptedDevice device;
  device.reply = [](const std::string& write) { return write == "%" ? "Z\x01" : ""; };
  TRunHarness h(Options(), &device);
  StartToBootSync(h);
  EXPECT_EQ(TicksUntilLogged(h, "Nothing usable", 5000), 2999) << h.LastLogLines();
  EXPECT_EQ(
      h.Log().back(),
      "Nothing usable from the device for 30 s while waiting for the boot loader: "
      "received \"Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01Z\\x01"
      "Z\\x01Z\\x01Z\\x01...\" (2998 bytes) (still waiting; press STOP to end the run)");
}

// Each wait without progress has its note; progress in between starts a new wait.
TEST_F(StillWaiting, EveryWaitHasItsOwnNoteAndZeroTurnsItOff) {
  package.WriteStandard("rev1");
  TScriptedDevice device;
  // The boot loader answers the greeting, then nothing: the device type is awaited.
  device.reply = [](const std::string& write) { return std::string(write == "%" ? "." : ""); };
  TRunHarness h(Options(), &device);
  StartToBootSync(h);
  // The type is proposed two ticks into the wait for the boot loader.
  ASSERT_EQ(TicksUntilLogged(h, "No answer", 5000), 3001) << h.LastLogLines();
  EXPECT_EQ(h.Log().back(),
            "No answer from the device for 30 s while waiting for the boot loader (device type "
            "37 proposed) (still waiting; press STOP to end the run)");
  h.DeviceSays(".");  // type accepted; then the identification, and the bridge image waits
  h.Tick();
  h.DeviceSays("6A5C01A7.");
  ASSERT_EQ(TicksUntilLogged(h, "Device ID", 10), 1) << h.LastLogLines();
  // Counted from the bridge image's erase command, two ticks after the identification.
  EXPECT_EQ(
      TicksUntilLogged(h, "No answer from the device for 30 s while waiting for the bridge", 5000),
      3002)
      << h.LastLogLines();
  EXPECT_EQ(h.Log().back(),
            "No answer from the device for 30 s while waiting for the bridge boot image to be "
            "programmed (erasing) (still waiting; press STOP to end the run)");

  TRunHarness off(Options());
  off.core->StillWaitingNoteMs = 0;
  StartToBootSync(off);
  for (int i = 0; i < 6000; ++i) off.Tick();
  EXPECT_EQ(CountStartingWith(off.Log(), "No answer"), 0);
}

TEST(ProgressWatch, ADifferentMilestoneIsProgressAndBytesAreOnlyRecorded) {
  TProgressWatch watch;
  TRunMilestone m;
  EXPECT_FALSE(watch.Observe(m));
  watch.Received("abc");
  EXPECT_FALSE(watch.Observe(m)) << "bytes are not progress";
  EXPECT_EQ(watch.StalledBytes(), 3u);
  watch.Received(std::string(40, 'x'));
  EXPECT_EQ(watch.StalledBytes(), 43u);
  EXPECT_EQ(watch.StalledSample(), "abc" + std::string(29, 'x')) << "32 bytes are kept";
  m.Bars[0] = 1;
  EXPECT_TRUE(watch.Observe(m));
  EXPECT_EQ(watch.ProgressCount(), 1u);
  EXPECT_EQ(watch.StalledBytes(), 0u);
  EXPECT_EQ(watch.StalledSample(), "");
  m.EngineStates[2] = 4;
  EXPECT_TRUE(watch.Observe(m));
  EXPECT_EQ(watch.ProgressCount(), 2u);
}

// Where the device stops answering, the core says what the run waits for.
TEST(Awaited, WordsForEachKindOfStep) {
  struct Case {
    std::string hang;  // the command after which the device answers nothing
    TSeqState state;   // where the run then waits
    std::string words;
  };
  const std::vector<Case> cases = {
      {"M3", TSeqState::SEQ_WAIT_PING,
       "the option cards to answer their pings (card 3, HD scaler)"},
      {"Q0", TSeqState::SEQ_WAIT_BRIDGE_OPEN, "the bridge to the keyboard card to open"},
      {"T0", TSeqState::SEQ_WAIT_CARD_LINE, "the version to be read (card script line 1: T0 0102)"},
      {"P0", TSeqState::SEQ_WAIT_CARD_LINE,
       "the bank 0 flash to be programmed (erasing; card script line 2: P0 vi3_b0.hex)"},
      {"P8", TSeqState::SEQ_WAIT_CARD_LINE,
       "Effect file opt_in\\vi3_8.svf to be played on chain 8 (card script line 4: P8 "
       "opt_in\\vi3_8.svf)"},
      {"PE", TSeqState::SEQ_WAIT_CARD_LINE,
       "the EDID memory to be programmed (card script line 2: PE edid.hex)"},
      {"D2", TSeqState::SEQ_WAIT_CARD_LINE,
       "the microcontroller identifier (card script line 3: D2)"},
  };
  for (const Case& c : cases) {
    TDeviceConfig config;
    TFaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFaultRule("hang,cmd=" + c.hang, rule, error)) << error;
    config.Faults.Rules.push_back(rule);
    TEmulatedRun run(config);
    run.package.WriteStandard("rev1");
    run.core().StartClick();
    std::string why;
    ASSERT_TRUE(run.h.RunUntil(
        [&] {
          const Lines commands = run.Commands();
          return !commands.empty() && commands.back() == c.hang;
        },
        kRunTicks, &why))
        << c.hang << ": " << why;
    for (int i = 0; i < 100; ++i) run.h.Tick();
    EXPECT_EQ(run.core().SeqState(), c.state) << c.hang;
    EXPECT_EQ(run.core().Awaited(), c.words) << c.hang;
  }
}

TEST(RunStory, Notes) {
  EXPECT_EQ(AbsentCardNote(2), "Card 2 (SD scaler) not present: skipped");
  EXPECT_EQ(AbsentCardNote(5), "Card 5 (extended input) not present: skipped");
  EXPECT_EQ(CardNotSelectedNote(0), "Card 0 (keyboard) not selected: skipped");
  EXPECT_EQ(CardNotSelectedNote(255), "Main card (VI3) not selected: skipped");
  EXPECT_EQ(ComponentNotSelectedNote(255, 10), "VI3 CPLD not selected: skipped");
  EXPECT_EQ(ComponentNotSelectedNote(3, 9), "HD1 PROM 2 not selected: skipped");
  EXPECT_EQ(EffectPlayedNote("opt_in\\a.svf", "A", 57),
            "Effect file opt_in\\a.svf played on chain A: 57 statements");
  EXPECT_EQ(EffectPlayedNote("b.svf", "8", 1), "Effect file b.svf played on chain 8: 1 statement");
  EXPECT_EQ(EscapeBytes(std::string("a\\\r\n\t\x1b\x7f\x00", 8)), "a\\\\\\r\\n\\t\\e\\x7F\\x00");
  EXPECT_EQ(QuotedSample("ab", 2), "\"ab\"");
  EXPECT_EQ(QuotedSample("ab", 3), "\"ab...\"");
  EXPECT_EQ(SecondsText(60000), "60 s");
  EXPECT_EQ(SecondsText(1250), "1.25 s");
}

}  // namespace
