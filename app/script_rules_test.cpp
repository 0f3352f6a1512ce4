#include "app/script_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/comp_sel_dlg.h"

namespace {

using Lines = std::vector<std::string>;

const Lines kCardScript = {"T3 0102",     "P0 a.hex", " P7 b.hex", "V3 0102",     "V7 0102",
                           "P8 prom.svf", "V8 0001",  "P9 p2.svf", "PA cpld.svf", "PE edid.hex",
                           "PB boot.hex", "  ",       "rem P0"};

TEST(ScriptRules, SameVersionOfAMicrocontrollerSkipsAllEightButNotThePromLines) {
  Lines lines = kCardScript;
  SkipSameVersion(lines, 3);
  EXPECT_EQ(lines,
            (Lines{"T3 0102", "rem", "rem", "rem", "rem", "P8 prom.svf", "V8 0001", "P9 p2.svf",
                   "PA cpld.svf", "PE edid.hex", "PB boot.hex", "  ", "rem P0"}));
}

TEST(ScriptRules, SameVersionOfAPromSkipsOnlyItsOwnLines) {
  Lines lines = kCardScript;
  SkipSameVersion(lines, 8);
  EXPECT_EQ(lines,
            (Lines{"T3 0102", "P0 a.hex", " P7 b.hex", "V3 0102", "V7 0102", "rem", "rem",
                   "P9 p2.svf", "PA cpld.svf", "PE edid.hex", "PB boot.hex", "  ", "rem P0"}));
  Lines cpld = kCardScript;
  SkipSameVersion(cpld, 10);
  EXPECT_EQ(cpld[8], "rem");
  EXPECT_EQ(cpld[10], "PB boot.hex");  // "B" is not a component code
}

TEST(ScriptRules, AbsentCardSkipsEveryLineNamingIt) {
  Lines main = {"C1", "CM", "C3 extra", " C3", "C 3", "c3", "C30", "C5"};
  SkipOptionCardLines(main, 3);
  EXPECT_EQ(main, (Lines{"C1", "CM", "rem", "rem", "C 3", "c3", "rem", "C5"}));
}

TEST(ScriptRules, CardSelectionSkipsCardsWhoseBoxIsCleared) {
  TCompSelDlg d;
  d.CBSCANSD.Checked = false;
  d.CBUD3.Checked = false;
  Lines main = {"CM", "C0", "C1", "C2", "C3", "C4", "C5", "PB x.hex"};
  ApplyCardSelection(main, d);
  EXPECT_EQ(main, (Lines{"rem", "C0", "rem", "rem", "C3", "C4", "C5", "PB x.hex"}));

  TCompSelDlg others;
  others.CBKeyb3.Checked = false;
  others.CBSCANHD.Checked = false;
  others.CBExtIn.Checked = false;
  Lines again = {"CM", "C0", "C1", "C2", "C3", "C4", "C5"};
  ApplyCardSelection(again, others);
  EXPECT_EQ(again, (Lines{"CM", "rem", "C1", "C2", "rem", "rem", "rem"}));
}

TEST(ScriptRules, ComponentSelectionAppliesTheBoxesOfTheLoadedCard) {
  TCompSelDlg d;
  d.CBUD3PROM1.Checked = false;
  d.CBSCANSDMCU.Checked = false;
  d.CBExtInEDID.Checked = false;

  Lines main_card = kCardScript;
  ApplyComponentSelection(main_card, kMainCardSlot, d);
  EXPECT_EQ(main_card[5], "rem");
  EXPECT_EQ(main_card[6], "rem");
  EXPECT_EQ(main_card[1], "P0 a.hex");

  Lines scan = kCardScript;
  ApplyComponentSelection(scan, 2, d);
  EXPECT_EQ(scan,
            (Lines{"T3 0102", "rem", "rem", "rem", "rem", "P8 prom.svf", "V8 0001", "P9 p2.svf",
                   "PA cpld.svf", "PE edid.hex", "PB boot.hex", "  ", "rem P0"}));

  Lines ext = {"PC cplds.svf", "PE edid.hex", "VE 0001"};
  ApplyComponentSelection(ext, 5, d);
  EXPECT_EQ(ext, (Lines{"PC cplds.svf", "rem", "rem"}));

  Lines hd = kCardScript;
  ApplyComponentSelection(hd, 3, d);  // no HD box cleared
  EXPECT_EQ(hd, kCardScript);
}

TEST(ScriptRules, ExtendedInputRewriteBothWays) {
  struct Case {
    const char* line;
    bool present;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"P8 opt_in\\ext.svf", false, "P8 ext.svf"},
      {"P8 ext.svf", true, "P8 opt_in\\ext.svf"},
      {"  P9 a\\b\\c.svf  ", false, "P9 c.svf"},
      {"PA d:cpld.svf", true, "PA opt_in\\cpld.svf"},
      {"PA ext.svf", false, "PA ext.svf"},  // stable: no blank added
      {"P8 opt_in\\ext.svf", true, "P8 opt_in\\ext.svf"},
      {"P0 mcu.hex", false, "P0 mcu.hex"},
      {"  PB opt_in\\boot.hex", false, "  PB opt_in\\boot.hex"},
      {"rem P8 opt_in\\x", false, "rem P8 opt_in\\x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RewriteExtendedInputLine(c.line, c.present), c.expected) << c.line;
  }
}

TEST(ScriptRules, RewritingTwiceWithoutTheCardIsStable) {
  Lines lines = {"T8 0001", "P8 opt_in\\ext8.svf", "P9 opt_in\\ext9.svf", "PA opt_in\\cpld.svf",
                 "P0 mcu.hex"};
  RewriteExtendedInputLines(lines, false);
  const Lines once = lines;
  RewriteExtendedInputLines(lines, false);
  EXPECT_EQ(lines, once);
  EXPECT_EQ(once, (Lines{"T8 0001", "P8 ext8.svf", "P9 ext9.svf", "PA cpld.svf", "P0 mcu.hex"}));
  RewriteExtendedInputLines(lines, true);
  EXPECT_EQ(lines, (Lines{"T8 0001", "P8 opt_in\\ext8.svf", "P9 opt_in\\ext9.svf",
                          "PA opt_in\\cpld.svf", "P0 mcu.hex"}));
}

TEST(ScriptRules, NonEmptyLinesCountBlankLines) {
  EXPECT_EQ(NonEmptyLineCount({"", " ", "x", "", "\t"}), 3);
  EXPECT_EQ(NonEmptyLineCount({}), 0);
}

}  // namespace
