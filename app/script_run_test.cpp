// The script rules in whole runs against the emulated device: same-version skips
// in Auto mode, the operator's selection in Manual mode, absent cards, and the
// rewrite of the main card's card script for the extended input card.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/settings_file.h"
#include "app/testing/emulated_run.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kRunTicks = 20000;

// Commands sent after the pings and the bridge exchange, up to the normal boot image.
Lines ScriptCommands(const TEmulatedRun& run) {
  const Lines all = run.Commands();
  auto from = std::find(all.begin(), all.end(), "M5");
  if (from == all.end()) return {};
  from += 1;
  if (from != all.end() && *from == "Q0" && from + 2 < all.end() && *(from + 1) == "L0") from += 3;
  auto to = all.end();
  if (to != from && *(to - 1) == "FI") --to;
  if (to != from && *(to - 1) == "PB") --to;
  return Lines(from, to);
}

struct TRulesRun {
  TRulesRun(const Lines& main, const Lines& main_card, TDeviceConfig config = {})
      : run(std::move(config)) {
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", main);
    run.package.WriteLines("rev1/VI3/script.ini", main_card);
  }
  void Manual(const std::function<void(TCompSelDlg&)>& choose) {
    run.h.view.OnComponentSelection = choose;
    run.core().MManualClick();
  }
  void Run() {
    std::string why;
    ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
    ASSERT_TRUE(run.h.view.Errors.empty()) << run.h.view.Errors.front();
  }
  TEmulatedRun run;
};

TEST(ScriptRulesRun, AutoModeSkipsComponentsWhoseVersionIsCurrent) {
  struct Case {
    const char* name;
    char current;  // component whose version the device already holds
    Lines card_script;
    Lines sent;
  };
  const std::vector<Case> cases = {
      {"microcontroller",
       '3',
       {"T3 0102", "P0 vi3_b0.hex", "V0 0102", "P7 vi3_hi.hex", "V7 0102", "P8 vi3_8.svf",
        "V8 0102"},
       {"T3", "P8", "7856341214", "V8", "0102"}},
      {"programmable memory",
       '8',
       {"T8 0102", "P8 vi3_8.svf", "V8 0102", "P0 vi3_b0.hex", "V0 0102"},
       {"T8", "P0", "V0", "0102"}},
      {"different version", '5', {"T4 0102", "P4 vi3_hi.hex"}, {"T4", "P4"}},
  };
  for (const Case& k : cases) {
    TRulesRun r({"CM"}, k.card_script);
    r.run.device.SetVersion(255, k.current, "0102");
    r.Run();
    EXPECT_EQ(ScriptCommands(r.run), k.sent) << k.name;
  }
}

TEST(ScriptRulesRun, SameVersionInTheMainScriptSkipsNothing) {
  TRulesRun r({"T0 0102", "CM"}, {"P0 vi3_b0.hex"});
  r.run.device.SetVersion(255, '0', "0102");
  r.Run();
  EXPECT_EQ(ScriptCommands(r.run), (Lines{"T0", "P0"}));
}

TEST(ScriptRulesRun, ManualModeIgnoresVersionsAndAppliesTheBoxes) {
  TRulesRun same({"CM"}, {"T8 0102", "P8 vi3_8.svf", "P0 vi3_b0.hex"});
  same.run.device.SetVersion(255, '8', "0102");
  same.Manual([](TCompSelDlg&) {});
  same.Run();
  EXPECT_EQ(ScriptCommands(same.run), (Lines{"T8", "P8", "7856341214", "P0"}));

  TRulesRun boxes({"CM", "C1"}, {"T8 0102", "P8 vi3_8.svf", "V0 0102", "P0 vi3_b0.hex", "PA x"});
  boxes.run.package.WriteLines("rev1/SCAN/script.ini", {"Q1", "P2 scan_b2.hex", "P9 x", "Z1"});
  boxes.Manual([](TCompSelDlg& d) {
    d.CBVi3MCU.Checked = false;
    d.CBUD3CPLD.Checked = false;
    d.CBSCANSDPROM2.Checked = false;
  });
  boxes.Run();
  EXPECT_EQ(ScriptCommands(boxes.run), (Lines{"T8", "P8", "7856341214", "Q1", "P2", "Z1"}));
  // One log line per box that left lines out, when its card script loads.
  Lines notes;
  for (const std::string& line : boxes.run.h.Log()) {
    if (line.ends_with("not selected: skipped")) notes.push_back(line);
  }
  EXPECT_EQ(notes, (Lines{"VI3 MCU not selected: skipped", "VI3 CPLD not selected: skipped",
                          "SCAN1 PROM 2 not selected: skipped"}));
}

TEST(ScriptRulesRun, AbsentCardSkipsEveryLineNamingIt) {
  TDeviceConfig config;
  config.CardPresent[3] = false;
  TRulesRun r({"C3", "CM", " C3 again"}, {"T0 0100"}, config);
  r.Run();
  EXPECT_EQ(ScriptCommands(r.run), (Lines{"T0"}));
  EXPECT_EQ(std::count(r.run.h.Log().begin(), r.run.h.Log().end(),
                       "Card 3 (HD scaler) not present: skipped"),
            1);
  EXPECT_EQ(r.run.core().ScriptLines(), (Lines{"rem", "CM", "rem"}));
}

TEST(ScriptRulesRun, ClearedCardBoxesSkipTheirCardLinesBeforeTheRun) {
  TRulesRun r({"C1", "C2", "CM", "C0"}, {"T0 0100"});
  r.Manual([](TCompSelDlg& d) {
    d.CBSCANSD.Checked = false;
    d.CBSCANSDClick();
    d.CBUD3.Checked = false;
    d.CBUD3Click();
  });
  r.Run();
  EXPECT_EQ(r.run.core().ScriptLines(), (Lines{"rem", "rem", "rem", "C0"}));
  const Lines& log = r.run.h.Log();
  const Lines notes = {"Card 1 (SD scaler) not selected: skipped",
                       "Card 2 (SD scaler) not selected: skipped",
                       "Main card (VI3) not selected: skipped"};
  auto first = std::find(log.begin(), log.end(), notes[0]);
  ASSERT_LE(first + 3, log.end()) << ::testing::PrintToString(log);
  EXPECT_EQ(Lines(first, first + 3), notes);
  EXPECT_EQ(ScriptCommands(r.run), (Lines{"Q0", "T1", "P1", "V1", "0102", "Z0"}));
}

TEST(ScriptRulesRun, ExtendedInputCardDecidesWhereTheMainCardImagesComeFrom) {
  const Lines main_card = {"P8 opt_in\\ext8.svf", "  P9 opt_in\\ext9.svf", "PA ext_a.svf",
                           "P0 vi3_b0.hex", "rem PA opt_in\\x"};
  TDeviceConfig absent;
  absent.CardPresent[5] = false;
  TRulesRun r({"rem"}, main_card, absent);
  const std::string plain =
      "P8 ext8.svf\r\nP9 ext9.svf\r\nPA ext_a.svf\r\nP0 vi3_b0.hex\r\nrem PA opt_in\\x\r\n";
  r.Run();
  EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"), plain);
  r.Run();  // a second run without the card changes nothing more
  EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"), plain);
  r.run.device.SetCardPresent(5, true);
  r.Run();
  EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"),
            "P8 opt_in\\ext8.svf\r\nP9 opt_in\\ext9.svf\r\nPA opt_in\\ext_a.svf\r\n"
            "P0 vi3_b0.hex\r\nrem PA opt_in\\x\r\n");
}

TEST(ScriptRulesRun, MainCardScriptThatCannotBeReadEndsTheRun) {
  TRulesRun r({"rem"}, {});
  std::filesystem::remove(r.run.package.FsPath("rev1/VI3/script.ini"));
  r.run.core().SetPackageCheck(false);  // the check refuses it before the run starts
  std::string why;
  ASSERT_TRUE(r.run.h.RunStart(kRunTicks, &why)) << why;
  const std::string file =
      r.run.package.Dir() + "rev1" + kPathSeparator + "VI3" + kPathSeparator + "script.ini";
  const std::string main = r.run.package.Dir() + "rev1" + kPathSeparator + "script.ini";
  EXPECT_EQ(r.run.h.view.Errors, Lines{file + " File not found !!!\r\n" + main});
  EXPECT_EQ(r.run.Commands().back(), "M5");
}

// The main card's card script is written only when the extended input rule changes
// a line of it: a file already in the right form keeps its bytes (here its LF line
// ends, which a write would turn into CR LF).
TEST(ScriptRulesRun, MainCardScriptIsWrittenOnlyWhenALineChanges) {
  TDeviceConfig absent;
  absent.CardPresent[5] = false;
  const struct {
    const char* name;
    TDeviceConfig config;
    std::string file;
  } cases[] = {
      {"present, already opt_in", {}, "P8 opt_in\\vi3_8.svf\nP0 vi3_b0.hex\n"},
      {"absent, already plain", absent, "P8 vi3_8.svf\nP0 vi3_b0.hex\n"},
  };
  for (const auto& c : cases) {
    TRulesRun r({"CM"}, {}, c.config);
    r.run.package.Write("rev1/VI3/script.ini", c.file);
    int writes = 0;
    r.run.core().WriteCardScript = [&writes](const std::string&, const Lines&, std::string*) {
      ++writes;
      return true;
    };
    r.Run();
    EXPECT_EQ(writes, 0) << c.name;
    EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"), c.file) << c.name;
  }
}

// A package that cannot be written (a read-only folder or medium) still runs: the
// edited lines are kept in memory for the card script, one note says so, and the
// file stays as it was. The fake writer fails as a read-only medium does.
TEST(ScriptRulesRun, AMainCardScriptThatCannotBeWrittenRunsFromMemory) {
  TDeviceConfig absent;
  absent.CardPresent[5] = false;
  TRulesRun r({"CM"}, {"P8 opt_in\\vi3_8.svf"}, absent);
  // Only the plain image exists: the file's own line would fail the run. The check
  // refuses such a package (a device with the card present could not run it); this
  // device lacks the card, so the run is made on purpose.
  std::filesystem::remove(r.run.package.FsPath("rev1/VI3/opt_in/vi3_8.svf"));
  r.run.core().SetPackageCheck(false);
  r.run.core().WriteCardScript = [](const std::string&, const Lines&, std::string* error) {
    *error = "Read-only file system";
    return false;
  };
  for (int run = 0; run < 2; ++run) {
    r.Run();
    const std::string file =
        r.run.package.Dir() + "rev1" + kPathSeparator + "VI3" + kPathSeparator + "script.ini";
    const Lines& log = r.run.h.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "Could not write " + file +
                             " (Read-only file system): this run goes on with the edited lines, "
                             "the file is left as it was"),
              run + 1);
    EXPECT_EQ(
        std::count(log.begin(), log.end(), "Effect file vi3_8.svf played on chain 8: 4 statements"),
        run + 1);
    EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"), "P8 opt_in\\vi3_8.svf\r\n");
  }
}

// With a real read-only folder. Permissions do not bind the superuser, so there the
// test says why it cannot show anything and skips.
TEST(ScriptRulesRun, AReadOnlyCardFolderRunsFromMemory) {
  TDeviceConfig absent;
  absent.CardPresent[5] = false;
  TRulesRun r({"CM"}, {"P8 opt_in\\vi3_8.svf"}, absent);
  namespace fs = std::filesystem;
  const fs::path folder = r.run.package.FsPath("rev1/VI3");
  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const bool binds = !FolderWritable(r.run.package.Path("rev1/VI3"));
  if (!binds) {
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
    GTEST_SKIP() << "folder permissions do not bind here (the superuser, or Windows, where a "
                    "folder's read-only attribute does not stop writes into it): a read-only "
                    "folder cannot be made; the fake writer's test covers the behaviour";
  }
  r.Run();
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  const Lines& log = r.run.h.Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.starts_with("Could not write "); }),
            1);
  EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"), "P8 opt_in\\vi3_8.svf\r\n");
}

TEST(ScriptRulesRun, RevisionZeroDevicesNeverRewriteTheMainCardScript) {
  TDeviceConfig config;
  config.BootType = 27;
  config.CardPresent[5] = false;
  TEmulatedRun run(config);
  run.package.WriteStandard("rev0");
  run.package.WriteLines("rev0/script.ini", {"rem"});
  run.package.Write("rev0/VI3/script.ini", "P8 opt_in\\ext8.svf\n");
  std::string why;
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  EXPECT_TRUE(run.h.view.Errors.empty());
  EXPECT_EQ(run.package.Read("rev0/VI3/script.ini"), "P8 opt_in\\ext8.svf\n");
}

}  // namespace
