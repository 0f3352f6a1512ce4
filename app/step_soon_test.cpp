// The step soon: whole runs against the emulated device with the core's requests
// served between ticks (as the event loop serves them) and without (the ticks alone
// do the work) must pass through the same states, write the same bytes and raise
// the same events, in fewer ticks; a request is never served by re-entering a step,
// and the time-outs still count ticks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/emulated_run.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kRunTicks = 20000;

// What a run showed of itself: the states after each handler (repeats merged) and
// every run event, in order.
struct TRunTrace {
  Lines States;
  Lines Events;
};

void Record(TMainFich& core, TRunTrace& trace) {
  core.OnChanged = [&core, &trace] {
    const std::string state = SeqStateName(core.SeqState());
    if (trace.States.empty() || trace.States.back() != state) trace.States.push_back(state);
  };
  core.OnEngineInfo = [&trace](const std::string& text) { trace.Events.push_back("info " + text); };
  core.OnTimedWaitBegin = [&trace] { trace.Events.push_back("wait begin"); };
  core.OnTimedWaitEnd = [&trace] { trace.Events.push_back("wait end"); };
  core.OnComponentSkipped = [&trace](int card, int component, const std::string& version) {
    trace.Events.push_back("skipped " + std::to_string(card) + " " + std::to_string(component) +
                           " " + version);
  };
  core.OnCardAbsent = [&trace](int card) {
    trace.Events.push_back("absent " + std::to_string(card));
  };
  core.OnRunEnd = [&trace](TRunEnd end, const std::string& message, const std::string& script) {
    trace.Events.push_back("end " + std::to_string(static_cast<int>(end)) + " " + message + " " +
                           script);
  };
}

struct TCase {
  const char* Name;
  const char* Rev;  // the package's revision folder
  TDeviceConfig Device;
  int Runs;  // runs one after the other (the second finds versions current)
};

TDeviceConfig RevisionZero() {
  TDeviceConfig config;
  config.BootType = 27;
  return config;
}

TDeviceConfig EraseFails() {
  TDeviceConfig config;
  TFaultRule erase;
  erase.Kind = TFaultKind::FK_ERASE_FAIL;
  erase.Memory = TMemSelector{TMemKind::MK_BANK, 1, 2};  // card 1, bank 2
  config.Faults.Rules.push_back(erase);
  return config;
}

TDeviceConfig CardsAbsentAndResends() {
  TDeviceConfig config;
  config.CardPresent = {true, false, true, false, true, true};
  TFaultRule resend;
  resend.Kind = TFaultKind::FK_RESEND;
  resend.RatePercent = 10;
  config.Faults.Rules.push_back(resend);
  return config;
}

// One case run with the requests served or not.
struct TOutcome {
  TRunTrace Trace;
  std::string Wire;
  Lines Log;
  Lines Errors;
  int Ticks = 0;
  int Requests = 0;
};

// `lines` with each run's own package folder written as "<package>/".
Lines Portable(Lines lines, const std::string& dir) {
  for (std::string& line : lines) {
    for (size_t at = line.find(dir); at != std::string::npos; at = line.find(dir, at)) {
      line.replace(at, dir.size(), "<package>/");
    }
  }
  return lines;
}

TOutcome RunCase(const TCase& c, bool step_soon) {
  TEmulatedRun run(c.Device, {}, [step_soon](TRunHarnessOptions& o) { o.StepSoon = step_soon; });
  run.package.WriteStandard(c.Rev);
  TOutcome out;
  Record(run.core(), out.Trace);
  for (int i = 0; i < c.Runs; ++i) {
    std::string why;
    EXPECT_TRUE(run.h.RunStart(kRunTicks, &why)) << c.Name << ": " << why;
  }
  out.Trace.Events = Portable(out.Trace.Events, run.package.Dir());
  out.Wire = run.h.Wire;
  out.Log = Portable(run.h.Log(), run.package.Dir());
  out.Errors = Portable(run.h.view.Errors, run.package.Dir());
  out.Ticks = run.h.Ticks;
  out.Requests = run.h.StepSoonRequests;
  return out;
}

TEST(StepSoon, SameStatesBytesAndEventsInFewerTicks) {
  const TCase cases[] = {
      {"update, revision 1", "rev1", {}, 1},
      {"update then everything current", "rev1", {}, 2},
      {"revision 0 device", "rev0", RevisionZero(), 1},
      {"erase fails in a card script", "rev1", EraseFails(), 1},
      {"absent cards, resent lines", "rev1", CardsAbsentAndResends(), 1},
  };
  for (const TCase& c : cases) {
    const TOutcome ticks = RunCase(c, false);
    const TOutcome soon = RunCase(c, true);
    EXPECT_EQ(soon.Trace.States, ticks.Trace.States) << c.Name;
    EXPECT_EQ(soon.Trace.Events, ticks.Trace.Events) << c.Name;
    EXPECT_EQ(soon.Wire, ticks.Wire) << c.Name;
    EXPECT_EQ(soon.Log, ticks.Log) << c.Name;
    EXPECT_EQ(soon.Errors, ticks.Errors) << c.Name;
    EXPECT_GT(ticks.Requests, 0) << c.Name;
    EXPECT_LT(soon.Ticks, ticks.Ticks)
        << c.Name << ": " << soon.Ticks << " ticks served, " << ticks.Ticks << " unserved";
  }
}

// A handler that calls StepSoon itself, inside the step that asks, is ignored (a
// re-entered step would trip the core's assertion); the ticks then do the work.
TEST(StepSoon, CallFromInsideTheRequestIsIgnored) {
  TEmulatedRun plain;
  plain.package.WriteStandard("rev1");
  std::string why;
  ASSERT_TRUE(plain.h.RunStart(kRunTicks, &why)) << why;

  TEmulatedRun run;
  run.package.WriteStandard("rev1");
  int calls = 0;
  int changes = 0;
  run.core().OnChanged = [&changes] { ++changes; };
  run.core().OnStepSoon = [&run, &calls, &changes] {
    ++calls;
    const TSeqState before = run.core().SeqState();
    const int changes_before = changes;
    run.core().StepSoon();
    EXPECT_EQ(run.core().SeqState(), before);
    EXPECT_EQ(changes, changes_before);
  };
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  EXPECT_GT(calls, 0);
  EXPECT_EQ(run.h.Wire, plain.h.Wire);
  EXPECT_EQ(run.h.Log(), plain.h.Log());
  EXPECT_EQ(run.h.Ticks, plain.h.Ticks);

  // Served late, after a tick has stepped since the request: nothing more happens.
  const int before = changes;
  run.core().StepSoon();
  EXPECT_EQ(changes, before);
}

// The wake-up's time-outs count ticks of Timer1, never the steps in between: a
// device that never answers makes both runs give up the same ticks after "?".
TEST(StepSoon, TimeOutsCountTicksOnly) {
  TDeviceConfig silent;
  silent.Silent = true;
  int ticks[2] = {0, 0};
  for (const bool step_soon : {false, true}) {
    TEmulatedRun run(silent, {}, [step_soon](TRunHarnessOptions& o) { o.StepSoon = step_soon; });
    run.package.WriteStandard("rev1");
    run.core().StartClick();
    std::string why;
    ASSERT_TRUE(run.h.RunUntil([&run] { return run.h.Wire == "?"; }, kRunTicks, &why)) << why;
    const int asked = run.h.Ticks;
    ASSERT_TRUE(run.h.RunUntil(
        [&run] {
          const Lines& log = run.h.Log();
          return !log.empty() && log.back() == "Switch ON the device";
        },
        kRunTicks, &why))
        << why;
    ticks[step_soon ? 1 : 0] = run.h.Ticks - asked;
  }
  EXPECT_EQ(ticks[1], ticks[0]);
  EXPECT_EQ(ticks[0], 100);  // 1000 ms at 10 ms a tick
}

}  // namespace

namespace {

// The clock's time at each begin and end of a timed wait of one whole run.
std::vector<uint32_t> TimedWaitLengths(bool step_soon) {
  TEmulatedRun run({}, {}, [step_soon](TRunHarnessOptions& o) { o.StepSoon = step_soon; });
  run.package.WriteStandard("rev1");
  run.package.WriteLines("rev1/VI3/script.ini", {"T0 0102", "P0 vi3_b0.hex", "V0 0102", "wait 30",
                                                 "P8 vi3_8.svf", "wait 253"});
  std::vector<uint32_t> lengths;
  uint32_t begin = 0;
  run.core().OnTimedWaitBegin = [&run, &begin] { begin = run.h.clock.TickCount(); };
  run.core().OnTimedWaitEnd = [&run, &begin, &lengths] {
    lengths.push_back(run.h.clock.TickCount() - begin);
  };
  std::string why;
  EXPECT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  return lengths;
}

}  // namespace

// A "wait N" ends N + 1 ms after it began (the first step after more than N ms) and
// the pause before an Effect file plays ends 1000 ms after it began, on the clock's
// millisecond, when the front end serves the core's request for a step at that
// time; on the ticks alone each ends on the first tick after that.
TEST(StepSoon, TimedWaitsEndOnTheirTime) {
  const std::vector<uint32_t> on_time = TimedWaitLengths(true);
  const std::vector<uint32_t> on_ticks = TimedWaitLengths(false);
  ASSERT_EQ(on_time.size(), on_ticks.size());
  EXPECT_EQ(on_time, (std::vector<uint32_t>{31, 1000, 254, 1000}));
  for (size_t i = 0; i < on_time.size(); ++i) {
    EXPECT_LE(on_time[i], on_ticks[i]) << i;
    EXPECT_LT(on_ticks[i] - on_time[i], 10u) << i;
  }
}

// The longest "wait" (2^32 - 1 ms) is asked for in steps a timer can hold: the
// first request is the longest one, never a value that would wrap a timer's int.
TEST(StepSoon, TheLongestWaitAsksForNoMoreThanATimerHolds) {
  TEmulatedRun run;
  run.package.WriteStandard("rev1");
  run.package.WriteLines("rev1/VI3/script.ini", {"T0 0102", "wait 4294967295"});
  std::vector<uint32_t> asked;
  run.core().OnStepAfter = [&asked](uint32_t ms) { asked.push_back(ms); };
  run.core().StartClick();
  std::string why;
  ASSERT_TRUE(run.h.RunUntil([&asked] { return !asked.empty(); }, kRunTicks, &why)) << why;
  EXPECT_EQ(asked.front(), TMainFich::kLongestStepAfterMs);
}
