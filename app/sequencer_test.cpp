// The sequencer's header and the events a run raises for a front end: the states'
// names and what each says about the device, then, in whole runs against the
// emulated device, the order and the arguments of the core's events.
#include "app/sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_fich.h"
#include "app/run_story.h"
#include "app/testing/emulated_run.h"
#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "link/com_driver.h"

namespace {

using Lines = std::vector<std::string>;
using S = TSeqState;

constexpr int kRunTicks = 20000;

std::vector<TSeqState> AllStates() {
  std::vector<TSeqState> states;
  for (int i = 0; i <= static_cast<int>(S::SEQ_ERROR_REPORT); ++i) {
    states.push_back(static_cast<TSeqState>(i));
  }
  return states;
}

TEST(SequencerStates, NamesAreTheEnumeratorsOnceEach) {
  static_assert(std::string_view(SeqStateName(S::SEQ_WAIT_L0)) == "SEQ_WAIT_L0");
  std::set<std::string> names;
  for (TSeqState state : AllStates()) {
    const std::string name = SeqStateName(state);
    EXPECT_TRUE(name.starts_with("SEQ_")) << name;
    EXPECT_TRUE(names.insert(name).second) << name << " twice";
  }
  EXPECT_STREQ(SeqStateName(S::SEQ_IDLE), "SEQ_IDLE");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_BOOT_SYNC), "SEQ_WAIT_BOOT_SYNC");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_L0), "SEQ_WAIT_L0");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_CARD_LINE), "SEQ_WAIT_CARD_LINE");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_END_BRIDGE_CLOSE), "SEQ_WAIT_END_BRIDGE_CLOSE");
  EXPECT_STREQ(SeqStateName(S::SEQ_ERROR_REPORT), "SEQ_ERROR_REPORT");
  EXPECT_STREQ(SeqStateName(static_cast<TSeqState>(200)), "SEQ_IDLE");
}

// Only idle, the link's opening, the two wake-up waits (they give up by themselves)
// and the end of a run do not wait on the device; only idle, the link's opening and
// reopening and the two states that close it take no step on received text.
TEST(SequencerStates, WaitingOnTheDeviceAndSteppingOnReceivedText) {
  const std::set<TSeqState> not_waiting = {S::SEQ_IDLE,      S::SEQ_OPEN,         S::SEQ_WAKE,
                                           S::SEQ_WAIT_TYPE, S::SEQ_WAIT_UPDATER, S::SEQ_DONE,
                                           S::SEQ_ERROR,     S::SEQ_ERROR_REPORT};
  const std::set<TSeqState> no_step = {S::SEQ_IDLE, S::SEQ_OPEN, S::SEQ_BOOT_SYNC, S::SEQ_ERROR,
                                       S::SEQ_DONE};
  for (TSeqState state : AllStates()) {
    EXPECT_EQ(WaitsOnDevice(state), !not_waiting.contains(state)) << SeqStateName(state);
    EXPECT_EQ(StepsOnReceive(state), !no_step.contains(state)) << SeqStateName(state);
  }
}

// Subscribes to every event of the core and writes each down as one line, with
// the last command the host had sent at that moment.
struct TEventLog {
  explicit TEventLog(TEmulatedRun& run) : run_(run) {
    TMainFich& core = run.core();
    core.OnEngineInfo = [this](const std::string& text) { Info.push_back(text); };
    core.OnTimedWaitBegin = [this] {
      wait_began_ = run_.h.clock.TickCount();
      Add("wait begin");
    };
    core.OnTimedWaitEnd = [this] {
      WaitLengths.push_back(run_.h.clock.TickCount() - wait_began_);
      Add("wait end");
    };
    core.OnComponentSkipped = [this](int card, int component, const std::string& version) {
      Add("skipped " + std::to_string(card) + " " + std::to_string(component) + " " + version);
    };
    core.OnCardAbsent = [this](int card) { Add("absent " + std::to_string(card)); };
    core.OnRunEnd = [this](TRunEnd end, const std::string& message, const std::string& script) {
      const char* names[] = {"completed", "failed", "stopped"};
      Add(std::string("end ") + names[static_cast<int>(end)] + " '" + message + "' " + script);
      TMainFich& c = run_.core();
      AtEnd = {SeqStateName(c.SeqState()), c.Link().ConType() == CON_NONE ? "closed" : "open",
               c.ProgBoot().Busy || c.InstCrt().Busy || c.ProgPsd().Busy || c.ProgJtag().Busy
                   ? "busy"
                   : "idle",
               std::to_string(run_.h.view.Errors.size()) + " boxes"};
    };
  }
  void Add(const std::string& event) {
    const Lines commands = run_.Commands();
    Events.push_back(event + " after " + (commands.empty() ? "-" : commands.back()));
  }

  Lines Events;                       // every event but OnEngineInfo, in order
  Lines Info;                         // OnEngineInfo's texts
  std::vector<uint32_t> WaitLengths;  // ms from each begin to its end
  Lines AtEnd;                        // the core when OnRunEnd came

 private:
  TEmulatedRun& run_;
  uint32_t wait_began_ = 0;
};

// `text` with each "<relative/path>" made a path below `dir`, with the platform's
// separator.
std::string ExpandPaths(const std::string& text, const std::string& dir) {
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t close = text.find('>', at);
    if (text[at] != '<' || close == std::string::npos) {
      out += text[at];
      continue;
    }
    std::string relative = text.substr(at + 1, close - at - 1);
    std::replace(relative.begin(), relative.end(), '/', kPathSeparator);
    out += dir + relative;
    at = close;
  }
  return out;
}

// True when `part` appears in `whole` in the same order, maybe with gaps.
bool IsSubsequence(const Lines& part, const Lines& whole) {
  auto at = whole.begin();
  for (const std::string& line : part) {
    at = std::find(at, whole.end(), line);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

TEST(SequencerEvents, AnUpdateRaisesItsEventsInOrder) {
  struct Case {
    const char* name;
    bool manual;
    Lines events;
  };
  const std::vector<Case> cases = {
      {"auto",
       false,
       {"absent 1 after M1", "absent 4 after M4",
        "skipped 255 0 0102 after T0",  // P0 and V0 are skipped: the wait follows T0
        "wait begin after T0", "wait end after T0", "wait begin after P8", "wait end after P8",
        "skipped 0 1 0102 after T1",
        "end completed 'Program operation completed' <rev1/script.ini> after FI"}},
      {"manual: nothing is skipped for its version",
       true,
       {"absent 1 after M1", "absent 4 after M4", "wait begin after 0102", "wait end after 0102",
        "wait begin after P8", "wait end after P8",
        "end completed 'Program operation completed' <rev1/script.ini> after FI"}},
  };
  for (const Case& k : cases) {
    TDeviceConfig config;
    config.CardPresent[1] = false;
    config.CardPresent[4] = false;
    config.InitialVersion = "0102";  // what the scripts name: current
    TEmulatedRun run(config);
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", {"CM", "C0", "C1"});
    run.package.WriteLines("rev1/VI3/script.ini",
                           {"T0 0102", "P0 vi3_b0.hex", "V0 0102", "wait 30", "P8 vi3_8.svf"});
    if (k.manual) run.core().MManualClick();
    TEventLog log(run);
    std::string why;
    ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << k.name << ": " << why;
    ASSERT_TRUE(run.h.view.Errors.empty()) << k.name << ": " << run.h.view.Errors.front();

    Lines expected = k.events;
    expected.back() = ExpandPaths(expected.back(), run.package.Dir());
    EXPECT_EQ(log.Events, expected) << k.name;
    // "wait 30" lasts more than 30 ms; the JTAG engine settles for one second.
    ASSERT_EQ(log.WaitLengths.size(), 2u) << k.name;
    EXPECT_GT(log.WaitLengths[0], 30u) << k.name;
    EXPECT_GE(log.WaitLengths[1], TProgJtag::kPauseMs) << k.name;
    EXPECT_EQ(log.AtEnd, (Lines{"SEQ_IDLE", "closed", "idle", "0 boxes"})) << k.name;

    // Every information text, the ones the status log drops included, in the order
    // the engines raised them: the log's engine lines are among them in that order.
    EXPECT_EQ(std::count(log.Info.begin(), log.Info.end(), "Ping OK"), 4) << k.name;
    EXPECT_EQ(std::count(log.Info.begin(), log.Info.end(), "Ping Error"), 2) << k.name;
    EXPECT_TRUE(IsSubsequence({"Ping Card 0", "Ping OK", "Ping Card 1", "Ping Error"}, log.Info))
        << k.name;
    Lines engine_lines;  // not the core's own lines
    for (auto line = run.h.Log().begin() + 1; line != run.h.Log().end() - 2; ++line) {
      if (*line != AbsentCardNote(1) && *line != AbsentCardNote(4) &&
          !line->starts_with("Effect file ")) {
        engine_lines.push_back(*line);
      }
    }
    EXPECT_TRUE(IsSubsequence(engine_lines, log.Info))
        << k.name << ": " << ::testing::PrintToString(engine_lines);
  }
}

// Each run ends with exactly one OnRunEnd, the last event of the run, after the
// error box and once the link is closed and the engines are reset.
TEST(SequencerEvents, ARunEndsOnceWithHowAndWhere) {
  struct Case {
    const char* name;
    Lines main_script;
    Lines card_script;  // the main card's, when not empty
    S stop_in;          // STOP is pressed on reaching this state; SEQ_IDLE: never
    bool stop_in_wait;  // ... or on the first timed wait
    std::string end;    // the event, "<path>" below the program folder
    Lines at_end;
  };
  const std::vector<Case> cases = {
      {"completed",
       {"rem"},
       {},
       S::SEQ_IDLE,
       false,
       "end completed 'Program operation completed' <rev1/script.ini> after FI",
       {"SEQ_IDLE", "closed", "idle", "0 boxes"}},
      {"failed in the main script",
       {"Hello"},
       {},
       S::SEQ_IDLE,
       false,
       "end failed 'Syntax Error in script file line : 1' <rev1/script.ini> after Z0",
       {"SEQ_IDLE", "closed", "idle", "1 boxes"}},
      {"failed in a card script",
       {"CM"},
       {"T0 0102", "P3 absent.hex"},
       S::SEQ_IDLE,
       false,
       "end failed '<rev1/VI3/absent.hex> File not found !!!' <rev1/VI3/script.ini> after T0",
       {"SEQ_IDLE", "closed", "idle", "1 boxes"}},
      {"stopped in a timed wait",
       {"CM"},
       {"wait 5000"},
       S::SEQ_IDLE,
       true,
       "end stopped '' <rev1/VI3/script.ini> after Z0",
       {"SEQ_IDLE", "closed", "idle", "0 boxes"}},
      {"stopped in the synchronisation",
       {"rem"},
       {},
       S::SEQ_WAIT_BOOT_SYNC,
       false,
       "end stopped '' <script.ini> after 254yU",
       {"SEQ_IDLE", "closed", "idle", "0 boxes"}},
  };
  for (const Case& k : cases) {
    TEmulatedRun run;
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", k.main_script);
    if (!k.card_script.empty()) run.package.WriteLines("rev1/VI3/script.ini", k.card_script);
    TEventLog log(run);
    TMainFich& core = run.core();
    // The ends of runs that start; a package refused before it starts ends its run
    // too (package_check_run_test.cpp).
    core.SetPackageCheck(false);
    core.StartClick();
    std::string why;
    if (k.stop_in != S::SEQ_IDLE || k.stop_in_wait) {
      ASSERT_TRUE(run.h.RunUntil(
          [&] { return k.stop_in_wait ? !log.Events.empty() : core.SeqState() == k.stop_in; },
          kRunTicks, &why))
          << k.name << ": " << why;
      core.StartClick();
    }
    ASSERT_TRUE(run.h.RunUntil([&] { return !log.AtEnd.empty(); }, kRunTicks, &why))
        << k.name << ": " << why;
    for (int i = 0; i < 3; ++i) run.h.Tick();  // nothing more comes after the end

    const std::string end = ExpandPaths(k.end, run.package.Dir());
    ASSERT_FALSE(log.Events.empty()) << k.name;
    EXPECT_EQ(log.Events.back(), end) << k.name;
    EXPECT_EQ(std::count_if(log.Events.begin(), log.Events.end(),
                            [](const std::string& e) { return e.starts_with("end "); }),
              1)
        << k.name;
    EXPECT_EQ(log.AtEnd, k.at_end) << k.name;
    if (k.stop_in_wait) {
      // The wait ends when the idle step resets the engines, before the run's end.
      EXPECT_EQ(log.Events, (Lines{"wait begin after Z0", "wait end after Z0", end})) << k.name;
    }
  }
}

}  // namespace
