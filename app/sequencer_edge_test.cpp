// The sequencer's edge cases in whole runs against the emulated device: script
// syntax, the operator's stop in every waiting state, engine failures inside card
// scripts, the status log's filter and text that arrives while no step may run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/emulated_run.h"
#include "engines/file_access.h"
#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "link/com_driver.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kRunTicks = 20000;
const char* const kIdle = "Click on button START to begin program operation";

std::string Rev1(const TTestPackage& p, const std::string& file) {
  return p.Dir() + "rev1" + kPathSeparator + file;
}

// Runs the standard package with `script` as the main script.
struct TScriptRun {
  explicit TScriptRun(const Lines& script, TDeviceConfig config = {}) : run(std::move(config)) {
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", script);
  }
  bool Run(std::string* why) { return run.h.RunStart(kRunTicks, why); }
  // The run's own errors come from packages the check before a run refuses: these
  // runs start unchecked, as qelt-update --skip-check starts them.
  void SkipCheck() { run.core().SetPackageCheck(false); }
  TEmulatedRun run;
};

TEST(SequencerEdge, EmptyOrCommentOnlyScriptStillBootsAndCloses) {
  const std::vector<Lines> scripts = {{}, {"", "   ", "rem one", "rem"}, {"\t", "remark"}};
  for (const Lines& script : scripts) {
    TScriptRun s(script);
    std::string why;
    ASSERT_TRUE(s.Run(&why)) << why;
    EXPECT_EQ(s.run.Commands(), (Lines{"?", "1yU", "254yU", "%", "37", "PB", "M0", "M1", "M2", "M3",
                                       "M4", "M5", "Q0", "L0", "Z0", "PB", "FI"}))
        << ::testing::PrintToString(script);
    EXPECT_EQ(s.run.h.Log()[s.run.h.Log().size() - 2], "Program operation completed");
    EXPECT_TRUE(s.run.h.view.Errors.empty());
  }
}

TEST(SequencerEdge, LinesNoEngineTakesAreSyntaxErrorsWithTheirNumber) {
  struct Case {
    Lines script;
    int line;
  };
  const std::vector<Case> cases = {
      {{"rem fine", "REM upper case is no comment"}, 2},
      {{"C6"}, 1},
      {{"rem", "", "C9"}, 3},
      {{"CA"}, 1},
      {{"CF"}, 1},
      {{"C 7"}, 1},
      {{"C"}, 1},   // a card line without its card
      {{"c1"}, 1},  // lower case: not a card line, and no engine takes it
      {{"Hello"}, 1},
      {{"Q6"}, 1},  // the card supervisor only bridges to cards 0 to 5
  };
  for (const Case& k : cases) {
    // Checked, the package is refused at the same line, before any byte is sent.
    TScriptRun checked(k.script);
    std::string why;
    ASSERT_TRUE(checked.Run(&why)) << why;
    ASSERT_EQ(checked.run.h.view.Errors.size(), 1u) << k.script.back();
    EXPECT_NE(
        checked.run.h.view.Errors[0].find("\r\nrev1/script.ini:" + std::to_string(k.line) + ": "),
        std::string::npos)
        << checked.run.h.view.Errors[0];
    EXPECT_TRUE(checked.run.h.Writes.empty()) << k.script.back();

    TScriptRun s(k.script);
    s.SkipCheck();
    ASSERT_TRUE(s.Run(&why)) << why;
    const std::string message = "Syntax Error in script file line : " + std::to_string(k.line);
    EXPECT_EQ(s.run.h.view.Errors, Lines{message + "\r\n" + Rev1(s.run.package, "script.ini")})
        << k.script.back();
    EXPECT_EQ(s.run.h.Log(), (Lines{"Synchronize...", "Verify Device Type", "Boot Checksum : 0A5C",
                                    "Device ID : 01A7", message, kIdle}))
        << k.script.back();
    const Lines commands = s.run.Commands();
    EXPECT_EQ(commands.back(), "Z0") << k.script.back();  // nothing after the bridge exchange
  }
}

TEST(SequencerEdge, EngineThatTakesALineAndRefusesItKeepsItsOwnMessage) {
  struct Case {
    const char* line;
    const char* message;
  };
  const std::vector<Case> cases = {{"V", "Missing argument in line : V"},
                                   {"wait soon", "Invalid wait time in line : wait soon"}};
  for (const Case& k : cases) {
    TScriptRun s({"rem", k.line});
    s.SkipCheck();
    std::string why;
    ASSERT_TRUE(s.Run(&why)) << why;
    EXPECT_EQ(s.run.h.view.Errors,
              Lines{std::string(k.message) + "\r\n" + Rev1(s.run.package, "script.ini")});
  }
}

TEST(SequencerEdge, CardLineWithAnyOtherCharacterSelectsTheKeyboardCard) {
  for (const char* line : {"Cx", "C a", "C-"}) {
    TScriptRun s({line});
    std::string why;
    ASSERT_TRUE(s.Run(&why)) << why;
    const Lines commands = s.run.Commands();
    EXPECT_EQ(Lines(commands.begin() + 15, commands.end()),
              (Lines{"Q0", "T1", "P1", "V1", "0102", "Z0", "PB", "FI"}))
        << line;
  }
}

TEST(SequencerEdge, CardScriptLinesAreNeverCardLinesAndNeedAnEngine) {
  TScriptRun s({"C1"});
  s.SkipCheck();
  s.run.package.WriteLines("rev1/SCAN/script.ini", {"Q1", "C1", "Z1"});
  std::string why;
  ASSERT_TRUE(s.Run(&why)) << why;
  EXPECT_EQ(s.run.h.view.Errors,
            Lines{"Syntax Error in script file line : 2\r\n" + Rev1(s.run.package, "SCAN") +
                  kPathSeparator + "script.ini"});
}

TEST(SequencerEdge, CardScriptRunsInItsFolderAndReturnsToTheRevisionFolder) {
  TScriptRun s({"C1", "T0 0100"});
  s.run.package.WriteLines("rev1/SCAN/script.ini", {"Q1", "P2 scan_b2.hex", "Z1"});
  s.run.h.Tick();  // the first idle step points the engines at the program folder
  std::vector<std::string> dirs;
  s.run.core().OnChanged = [&] {
    const std::string& dir = s.run.core().CurentCardDir();
    if (dirs.empty() || dirs.back() != dir) dirs.push_back(dir);
  };
  std::string why;
  ASSERT_TRUE(s.Run(&why)) << why;
  const std::string rev1 = Rev1(s.run.package, "");
  EXPECT_EQ(dirs, (Lines{s.run.package.Dir(), rev1, rev1 + "SCAN" + kPathSeparator, rev1,
                         s.run.package.Dir()}));
  EXPECT_TRUE(s.run.h.view.Errors.empty());
  EXPECT_EQ(s.run.core().ProgBoot().CurentDir, s.run.package.Dir());  // back home when idle
}

TEST(SequencerEdge, MissingScriptsEndWithTheirPath) {
  {
    TEmulatedRun run;  // no package at all
    run.core().SetPackageCheck(false);
    std::string why;
    ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
    const std::string path = Rev1(run.package, "script.ini");
    EXPECT_EQ(run.h.view.Errors, Lines{path + " File not found !!!\r\n" + path});
    EXPECT_EQ(run.Commands(), (Lines{"?", "1yU", "254yU", "%", "37"}));
  }
  {
    TScriptRun s({"C3"});
    s.SkipCheck();
    std::filesystem::remove(s.run.package.FsPath("rev1/HD/script.ini"));
    std::string why;
    ASSERT_TRUE(s.Run(&why)) << why;
    const std::string card = Rev1(s.run.package, "HD") + kPathSeparator + "script.ini";
    EXPECT_EQ(s.run.h.view.Errors, Lines{card + " File not found !!!\r\n" + card});
  }
}

TEST(SequencerEdge, ScriptsThatCannotBeReadSayWhy) {
  {
    // The package folder given where its main script belongs.
    TEmulatedRun run({}, {}, [](TRunHarnessOptions& o) {
      o.ScriptArgument = o.ProgramFolder;
      o.PackageCheck = false;  // the run's own error (the check's is pinned elsewhere)
    });
    std::string why;
    ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
    const std::string dir = run.package.Dir();
    EXPECT_EQ(
        run.h.view.Errors,
        Lines{dir + " File not found !!!\n" + dir +
              " is a folder: give the main script in it (script.ini or readid.ini)\r\n" + dir});
  }
  {
    TScriptRun s({"C3"});
    s.SkipCheck();
    const std::string card = Rev1(s.run.package, "HD") + kPathSeparator + "script.ini";
    std::filesystem::remove(PathFromUtf8(card));
    std::filesystem::create_directory(PathFromUtf8(card));  // a folder where the script should be
    std::string why;
    ASSERT_TRUE(s.Run(&why)) << why;
    EXPECT_EQ(s.run.h.view.Errors,
              Lines{card + " File not found !!!\n" + card + ": Is a directory\r\n" + card});
  }
}

TEST(SequencerEdge, EngineFailureInsideACardScriptShowsTheCardScriptPath) {
  TDeviceConfig config;
  TFaultRule erase;
  erase.Kind = TFaultKind::FK_ERASE_FAIL;
  erase.Memory = TMemSelector{TMemKind::MK_BANK, 1, 2};  // card 1, bank 2
  config.Faults.Rules.push_back(erase);
  TScriptRun s({"C1"}, config);
  std::string why;
  ASSERT_TRUE(s.Run(&why)) << why;
  const std::string card = Rev1(s.run.package, "SCAN") + kPathSeparator + "script.ini";
  EXPECT_EQ(s.run.h.view.Errors, Lines{"Error while erasing !!!\r\n" + card});
  EXPECT_EQ(s.run.h.Log()[s.run.h.Log().size() - 2], "Error while erasing !!!");
  EXPECT_EQ(s.run.core().Link().ConType(), CON_NONE);
  EXPECT_EQ(s.run.Commands().back(), "P2");
  // The next run starts cleanly: no engine is left in its error state.
  s.run.device.SetCardPresent(1, false);
  ASSERT_TRUE(s.Run(&why)) << why;
  EXPECT_EQ(s.run.h.view.Errors.size(), 1u);
  EXPECT_EQ(s.run.h.Log()[s.run.h.Log().size() - 2], "Program operation completed");
}

TEST(SequencerEdge, MissingFileNamedByACardScriptShowsTheCardScriptPath) {
  TScriptRun s({"CM"});
  s.SkipCheck();
  s.run.package.WriteLines("rev1/VI3/script.ini", {"P3 absent.hex"});
  std::string why;
  ASSERT_TRUE(s.Run(&why)) << why;
  const std::string dir = Rev1(s.run.package, "VI3") + kPathSeparator;
  EXPECT_EQ(s.run.h.view.Errors,
            Lines{dir + "absent.hex File not found !!!\r\n" + dir + "script.ini"});
}

TEST(SequencerEdge, StopInAnyWaitingStateReturnsToIdleOnTheNextTick) {
  const std::vector<TSeqState> states = {
      TSeqState::SEQ_WAIT_TYPE,        TSeqState::SEQ_WAIT_UPDATER,
      TSeqState::SEQ_WAIT_BOOT_SYNC,   TSeqState::SEQ_WAIT_BRIDGE_BOOT,
      TSeqState::SEQ_WAIT_PING,        TSeqState::SEQ_WAIT_BRIDGE_OPEN,
      TSeqState::SEQ_WAIT_L0,          TSeqState::SEQ_WAIT_BRIDGE_CLOSE,
      TSeqState::SEQ_WAIT_LINE,        TSeqState::SEQ_WAIT_CARD_LINE,
      TSeqState::SEQ_WAIT_NORMAL_BOOT, TSeqState::SEQ_WAIT_FINISH,
  };
  for (TSeqState state : states) {
    TScriptRun s({"T0 0100", "CM"});
    s.run.package.WriteLines("rev1/VI3/script.ini", {"P0 vi3_b0.hex"});
    TMainFich& c = s.run.core();
    c.StartClick();
    std::string why;
    ASSERT_TRUE(s.run.h.RunToState(state, kRunTicks, &why))
        << static_cast<int>(state) << ": " << why;
    const size_t writes = s.run.h.Writes.size();
    c.StartClick();
    s.run.h.Tick();
    EXPECT_EQ(c.SeqState(), TSeqState::SEQ_IDLE) << static_cast<int>(state);
    EXPECT_EQ(s.run.h.Log().back(), kIdle) << static_cast<int>(state);
    EXPECT_EQ(c.Link().ConType(), CON_NONE);
    EXPECT_EQ(s.run.h.Writes.size(), writes) << static_cast<int>(state);
    EXPECT_FALSE(c.ProgBoot().Busy || c.InstCrt().Busy || c.ProgPsd().Busy || c.ProgJtag().Busy);
    EXPECT_TRUE(s.run.h.view.Errors.empty());
    EXPECT_EQ(c.Start.Caption, "START");
  }
}

TEST(SequencerEdge, StopDuringTheClosingExchangeReturnsToIdle) {
  const std::vector<TSeqState> states = {
      TSeqState::SEQ_WAIT_REBRIDGE_BOOT, TSeqState::SEQ_WAIT_END_BRIDGE_OPEN,
      TSeqState::SEQ_WAIT_END_UPDATE, TSeqState::SEQ_WAIT_END_BRIDGE_CLOSE};
  for (TSeqState state : states) {
    TDeviceConfig config;
    config.Silent = true;  // no updater echo: the long closing
    TScriptRun s({"rem"}, config);
    s.run.core().StartClick();
    std::string why;
    ASSERT_TRUE(s.run.h.RunToState(state, kRunTicks, &why)) << why;
    s.run.core().StartClick();
    s.run.h.Tick();
    EXPECT_EQ(s.run.core().SeqState(), TSeqState::SEQ_IDLE);
    EXPECT_EQ(s.run.h.Log().back(), kIdle);
  }
}

TEST(SequencerEdge, StatusLogDropsTheEnginesStepTextsOnly) {
  const Lines prompts = {"Ping Card 3",
                         "ping card 3",
                         "Erase",
                         "erase",
                         "Device ID : 01A7",
                         "Upload",
                         "Verify Checksum",
                         "Reset",
                         "Erase Extended Boot",
                         "Upload Extended Boot",
                         "Erase Bank",
                         "Upload Bank",
                         "Verify Bank",
                         "Operation Bypassed",
                         "Updating Prom Devices",
                         "Ping OK",
                         "Ping Error",
                         "End Update",
                         "START BRIDGE : 4",
                         "end   bridge2",
                         "Erase Bank3",
                         "my Ping Card x",
                         "Hello",
                         "Hello"};
  Lines script;
  for (const std::string& p : prompts) script.push_back("prompt " + p);
  TScriptRun s(script);
  std::string why;
  ASSERT_TRUE(s.Run(&why)) << why;
  EXPECT_EQ(s.run.h.Log(), (Lines{"Synchronize...", "Verify Device Type", "Boot Checksum : 0A5C",
                                  "Device ID : 01A7", "erase", "Device ID : 01A7", "Erase Bank3",
                                  "Hello", "Program operation completed", kIdle}));
}

TEST(SequencerEdge, TextArrivingWhileNoStepMayRunIsKeptWithoutAStep) {
  // The run fails in a card script: the error is set, the link still open.
  TScriptRun failing({"CM"});
  failing.SkipCheck();
  failing.run.package.WriteLines("rev1/VI3/script.ini", {"P3 absent.hex"});
  failing.run.core().StartClick();
  std::string why;
  ASSERT_TRUE(failing.run.h.RunToState(TSeqState::SEQ_ERROR, kRunTicks, &why)) << why;
  size_t writes = failing.run.h.Writes.size();
  failing.run.h.DeviceSays("late");
  failing.run.h.Pump();
  EXPECT_EQ(failing.run.core().RxBuffer(), "late");
  EXPECT_EQ(failing.run.core().SeqState(), TSeqState::SEQ_ERROR);
  EXPECT_EQ(failing.run.h.Writes.size(), writes);
  failing.run.h.Tick();
  EXPECT_EQ(failing.run.core().RxBuffer(), "");  // emptied by the error step
  EXPECT_EQ(failing.run.core().SeqState(), TSeqState::SEQ_ERROR_REPORT);

  // The run succeeded: text after the last reply waits for the completion step.
  TScriptRun done({"rem"});
  done.run.core().StartClick();
  ASSERT_TRUE(done.run.h.RunToState(TSeqState::SEQ_DONE, kRunTicks, &why)) << why;
  writes = done.run.h.Writes.size();
  done.run.h.DeviceSays("x.");
  done.run.h.Pump();
  EXPECT_EQ(done.run.core().RxBuffer(), "x.");
  EXPECT_EQ(done.run.core().SeqState(), TSeqState::SEQ_DONE);
  EXPECT_EQ(done.run.h.Writes.size(), writes);
  done.run.h.Tick();
  EXPECT_EQ(done.run.core().RxBuffer(), "");
  EXPECT_EQ(done.run.h.Log().back(), "Program operation completed");

  // A device switched on too late: its application's text arrives in the variable
  // protocol while the boot-loader synchronisation is about to start.
  TDeviceConfig silent;
  silent.Silent = true;
  TScriptRun late({"rem"}, silent);
  late.run.core().StartClick();
  ASSERT_TRUE(late.run.h.RunToState(TSeqState::SEQ_BOOT_SYNC, kRunTicks, &why)) << why;
  writes = late.run.h.Writes.size();
  late.run.h.DeviceSays("DEV37\r\n");
  late.run.h.Pump();
  EXPECT_EQ(late.run.core().SeqState(), TSeqState::SEQ_BOOT_SYNC);
  EXPECT_EQ(late.run.h.Writes.size(), writes);
  EXPECT_EQ(late.run.core().RxBuffer(), "");
}

TEST(SequencerEdge, DeviceTypeAndIdentifierAreResetWhenIdle) {
  TDeviceConfig config;
  config.BootType = 27;
  config.BootId = 0xBEEF;
  TScriptRun s({"rem"}, config);
  s.run.package.WriteStandard("rev0");
  s.run.package.WriteLines("rev0/script.ini", {"rem"});
  s.run.core().StartClick();
  std::string why;
  ASSERT_TRUE(s.run.h.RunToState(TSeqState::SEQ_WAIT_BRIDGE_BOOT, kRunTicks, &why)) << why;
  EXPECT_EQ(s.run.core().Revision(), 0);
  EXPECT_EQ(s.run.core().DeviceID(), 0xBEEFu);
  EXPECT_TRUE(s.run.core().Identified());
  EXPECT_TRUE(s.run.core().ProgPsd().UpdateAllowed);
  EXPECT_TRUE(s.run.core().ProgJtag().UpdateAllowed);
  EXPECT_EQ(s.run.core().Caption(), "Corvane Qelt Updater  (Device Id : BEEF)");
  ASSERT_TRUE(s.run.h.RunUntil([&] { return s.run.core().SeqState() == TSeqState::SEQ_IDLE; },
                               kRunTicks, &why))
      << why;
  s.run.h.Tick();
  EXPECT_EQ(s.run.core().DeviceID(), 0u);
  EXPECT_FALSE(s.run.core().Identified());
  EXPECT_FALSE(s.run.core().ProgPsd().UpdateAllowed);
  EXPECT_EQ(s.run.core().Revision(), 0);
}

}  // namespace
