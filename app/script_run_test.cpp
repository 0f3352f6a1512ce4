// The script rules in whole runs against the emulated device: same-version skips
// in Auto mode, the operator's selection in Manual mode, absent cards, and the
// rewrite of the main card's card script for the extended input card.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_fich.h"
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
}

TEST(ScriptRulesRun, AbsentCardSkipsEveryLineNamingIt) {
  TDeviceConfig config;
  config.CardPresent[3] = false;
  TRulesRun r({"C3", "CM", " C3 again"}, {"T0 0100"}, config);
  r.Run();
  EXPECT_EQ(ScriptCommands(r.run), (Lines{"T0"}));
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

TEST(ScriptRulesRun, MainCardScriptThatCannotBeRewrittenEndsTheRun) {
  {
    TRulesRun r({"rem"}, {});
    std::filesystem::remove(r.run.package.FsPath("rev1/VI3/script.ini"));
    std::string why;
    ASSERT_TRUE(r.run.h.RunStart(kRunTicks, &why)) << why;
    const std::string file =
        r.run.package.Dir() + "rev1" + kPathSeparator + "VI3" + kPathSeparator + "script.ini";
    const std::string main = r.run.package.Dir() + "rev1" + kPathSeparator + "script.ini";
    EXPECT_EQ(r.run.h.view.Errors, Lines{file + " File not found !!!\r\n" + main});
    EXPECT_EQ(r.run.Commands().back(), "M5");
  }
  {
    TRulesRun r({"rem"}, {"P8 ext.svf"});
    // The replacement is written beside the file first; a folder in its way makes
    // the write fail, and the script must stay as it was.
    std::filesystem::create_directories(r.run.package.FsPath("rev1/VI3/script.ini.tmp~/x"));
    std::string why;
    ASSERT_TRUE(r.run.h.RunStart(kRunTicks, &why)) << why;
    const std::string file =
        r.run.package.Dir() + "rev1" + kPathSeparator + "VI3" + kPathSeparator + "script.ini";
    ASSERT_EQ(r.run.h.view.Errors.size(), 1u);
    EXPECT_EQ(r.run.h.view.Errors[0].rfind("Error while writing " + file + " !!!\r\n", 0), 0u)
        << r.run.h.view.Errors[0];
    EXPECT_EQ(r.run.package.Read("rev1/VI3/script.ini"), "P8 ext.svf\r\n");
  }
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
