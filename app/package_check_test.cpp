// The package checker on small packages written to a temporary folder: a valid
// one, then one fault at a time, each pinned to the exact finding it gives.
#include "app/package_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace {

using Files = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

const char kBoot[] = ":0140000011AE\r\n:00000001FF\r\n";
const char kLow[] = ":0100000011EE\r\n:00000001FF\r\n";
const char kHigh[] = ":01800000116E\r\n:00000001FF\r\n";

// A valid revision-0 package: the main card with two banks and an Effect file, the
// SD scaler card with an "E" upload, and an identification script.
Files BasePackage() {
  return {
      {"rev0/script.ini", "rem test package\r\nCM\r\nC1\r\n"},
      {"rev0/BOOT_EXT_PONT.HEX", kBoot},
      {"rev0/BOOT_EXT_OPTION.HEX", kBoot},
      {"rev0/VI3/script.ini",
       "T0 0214\r\nP0 B0.HEX\r\nP1 B1.HEX\r\nV0 0214\r\nP8 PROM.svf\r\nwait 10\r\n"},
      {"rev0/VI3/B0.HEX", kLow},
      {"rev0/VI3/B1.HEX", kHigh},
      {"rev0/VI3/PROM.svf", "// PROM\r\nSIR 8 TDI (FE);\r\nRUNTEST 10 TCK;\r\n"},
      {"rev0/SCAN/script.ini", "Q1\r\nPE E.HEX\r\nZ1\r\n"},
      {"rev0/SCAN/E.HEX", ":020000001234B8\r\n:00000001FF\r\n"},
  };
}

// Writes `files` (an empty content removes a file from the base) and checks the
// package of `script`; returns every finding as the runner prints it.
Lines Check(const Files& changes, const std::string& script = "script.ini", bool base = true) {
  TTempDir dir;
  Files files = base ? BasePackage() : Files{};
  for (const auto& [path, content] : changes) files[path] = content;
  for (const auto& [path, content] : files) {
    if (content == "<folder>") {
      std::filesystem::create_directories(dir.path() / path);
    } else if (content != "<none>") {
      dir.Write(path, content);
    }
  }
  TPackageCheck check(dir.Dir() + script);
  check.Run();
  Lines out;
  for (const TFinding& f : check.Findings()) out.push_back(FormatFinding(f));
  return out;
}

TEST(PackageCheck, AValidPackageHasNoFinding) { EXPECT_EQ(Check({}), Lines{}); }

struct TFaultCase {
  const char* what;
  Files changes;
  Lines findings;
};

// Faults in the scripts: each is found at its line, with its reason.
TEST(PackageCheck, ScriptFaults) {
  const TFaultCase cases[] = {
      {"a last line no engine takes",
       {{"rev0/script.ini", "rem test package\r\nCM\r\nC1\r\nFOO 1\r\n"}},
       {"rev0/script.ini:4: no engine takes this line"}},
      {"an upper-case comment",
       {{"rev0/script.ini", "REM test package\r\nCM\r\n"}},
       {"rev0/script.ini:1: no engine takes this line (comments begin with 'rem' in lower "
        "case)",
        "rev0/SCAN/: warning: card folder that no script names",
        "rev0/SCAN/E.HEX: warning: no script names this file",
        "rev0/SCAN/script.ini: warning: no script names this file"}},
      {"option card 9",
       {{"rev0/script.ini", "CM\r\nC1\r\nC9\r\n"}},
       {"rev0/script.ini:3: no option card 9: option cards are C0 to C5"}},
      {"a card line without a number",
       {{"rev0/script.ini", "CM\r\nC1\r\nC\r\n"}},
       {"rev0/script.ini:3: card line without a card number (C0 to C5, or CM)"}},
      {"a card folder that is missing",
       {{"rev0/script.ini", "CM\r\nC3\r\nC1\r\n"}},
       {"rev0/script.ini:2: card script rev0/HD/script.ini not found"}},
      {"a card letter that reads as card 0",
       {{"rev0/script.ini", "CM\r\nC1\r\nCx\r\n"}},
       {"rev0/script.ini:3: warning: 'x' is no card number; a run reads this line as C0",
        "rev0/script.ini:3: card script rev0/KEYB3/script.ini not found"}},
      {"a card script line no engine takes",
       {{"rev0/SCAN/script.ini", "Q1\r\nPE E.HEX\r\nC1\r\nZ1\r\n"}},
       {"rev0/SCAN/script.ini:3: no engine takes this line"}},
      {"a damaged wait",
       {{"rev0/SCAN/script.ini", "Q1\r\nPE E.HEX\r\nwait 1s\r\nZ1\r\n"}},
       {"rev0/SCAN/script.ini:3: Invalid wait time in line : wait 1s"}},
      {"versions the device cannot report",
       {{"rev0/VI3/script.ini",
         "T0 214\r\nP0 B0.HEX\r\nP1 B1.HEX\r\nV0 02.4\r\nVB 0214\r\nP8 PROM.svf\r\nV8\r\n"}},
       {"rev0/VI3/script.ini:1: version '214' is not four characters: the device keeps and "
        "reports four",
        "rev0/VI3/script.ini:4: version '02.4' holds a character the device cannot report ('.' "
        "ends its reply)",
        "rev0/VI3/script.ini:5: 'B' is not a component code (0 to 9, A, C, E)",
        "rev0/VI3/script.ini:7: Missing version in line : V8"}},
      {"a bridge to a card that does not exist",
       {{"rev0/SCAN/script.ini", "Q1\r\nPE E.HEX\r\nZ7\r\nM6\r\n"}},
       {"rev0/SCAN/script.ini:3: no option card 7: the device bridges to and pings cards 0 to 5",
        "rev0/SCAN/script.ini:4: no option card 6: the device bridges to and pings cards 0 to "
        "5"}},
      {"a checksum text that is no checksum",
       {{"rev0/script.ini", "CM\r\nC1\r\nPB BOOT_EXT_PONT.HEX 12g4\r\n"}},
       {"rev0/script.ini:3: checksum text '12g4' is not four upper-case hex digits"}},
      {"lines that name no file",
       {{"rev0/VI3/script.ini", "P0 B0.HEX\r\nP1 B1.HEX\r\nP3\r\nP8 PROM.svf\r\nPA\r\n"}},
       {"rev0/VI3/script.ini:3: P3 names no file",
        "rev0/VI3/script.ini:5: PA names no Effect file"}},
      {"a missing main script",
       {{"rev0/script.ini", "<none>"}},
       {"rev0/script.ini: script not found", "rev0/VI3/: warning: card folder that no script names",
        "rev0/SCAN/: warning: card folder that no script names",
        "rev0/SCAN/E.HEX: warning: no script names this file",
        "rev0/SCAN/script.ini: warning: no script names this file",
        "rev0/VI3/B0.HEX: warning: no script names this file",
        "rev0/VI3/B1.HEX: warning: no script names this file",
        "rev0/VI3/PROM.svf: warning: no script names this file",
        "rev0/VI3/script.ini: warning: no script names this file"}},
  };
  for (const TFaultCase& c : cases) EXPECT_EQ(Check(c.changes), c.findings) << c.what;
}

// Faults in the files the lines name: each found at the file's line, with the
// reason the engine would give before sending it.
TEST(PackageCheck, FileFaults) {
  const TFaultCase cases[] = {
      {"a bank image that is missing",
       {{"rev0/VI3/B0.HEX", "<none>"}},
       {"rev0/VI3/script.ini:2: B0.HEX not found in rev0/VI3/"}},
      {"a bank image that is a folder",
       {{"rev0/VI3/B0.HEX", "<folder>"}},
       {"rev0/VI3/script.ini:2: B0.HEX is a folder"}},
      {"a blank line",
       {{"rev0/VI3/B0.HEX", ":0100000011EE\r\n\r\n:00000001FF\r\n"}},
       {"rev0/VI3/B0.HEX:2: blank line"}},
      {"garbage",
       {{"rev0/VI3/B0.HEX", ":0100000011EE\r\nxyz\r\n:00000001FF\r\n"}},
       {"rev0/VI3/B0.HEX:2: not a record: a line of an Intel HEX file begins with ':'"}},
      {"a truncated line",
       {{"rev0/VI3/B0.HEX", ":0200000011EE\r\n:00000001FF\r\n"}},
       {"rev0/VI3/B0.HEX:1: byte count 02 says 2 data bytes, the line holds 1"}},
      {"a wrong record checksum",
       {{"rev0/VI3/B1.HEX", ":01800000116F\r\n:00000001FF\r\n"}},
       {"rev0/VI3/B1.HEX:1: record checksum is 6F, the record's bytes need 6E"}},
      {"data outside the bank",
       {{"rev0/VI3/B1.HEX", kLow}},
       {"rev0/VI3/B1.HEX:1: data at 0000-0000 lies outside bank 1 (8000-FFFF)"}},
      {"data outside the boot area",
       {{"rev0/BOOT_EXT_OPTION.HEX", kHigh}},
       {"rev0/BOOT_EXT_OPTION.HEX:1: data at 8000-8000 lies outside the boot area (4000-5FFF)"}},
      {"no end record",
       {{"rev0/VI3/B0.HEX", ":0100000011EE\r\n"}},
       {"rev0/VI3/B0.HEX: no end record (:00000001FF)"}},
      {"a missing bridge boot image",
       {{"rev0/BOOT_EXT_PONT.HEX", "<none>"}},
       {"rev0/script.ini: the bridge boot image, which every run programs before the script: "
        "BOOT_EXT_PONT.HEX not found in rev0/"}},
      {"a missing boot image",
       {{"rev0/BOOT_EXT_OPTION.HEX", "<none>"}},
       {"rev0/script.ini: the boot image, which every update programs after the script: "
        "BOOT_EXT_OPTION.HEX not found in rev0/"}},
      {"an Effect statement the language lacks",
       {{"rev0/VI3/PROM.svf",
         "SIR 8 TDI (FE);\r\nFREQUENCY 1E6 HZ;\r\nHDR 0;\r\nPIO (HL);\r\n"
         "SDR 8 TDI (FF)\r\n\r\nSDR 600 TDI (00);\r\n"}},
       {"rev0/VI3/PROM.svf:2: FREQUENCY is not part of the Effect language",
        "rev0/VI3/PROM.svf:3: HDR is not part of the Effect language",
        "rev0/VI3/PROM.svf:4: PIO is not part of the Effect language",
        "rev0/VI3/PROM.svf:5: missing ';'", "rev0/VI3/PROM.svf:6: blank line",
        "rev0/VI3/PROM.svf:7: SDR longer than 512 bits"}},
      {"an empty Effect file",
       {{"rev0/VI3/PROM.svf", ""}},
       {"rev0/VI3/PROM.svf: empty Effect file"}},
  };
  for (const TFaultCase& c : cases) EXPECT_EQ(Check(c.changes), c.findings) << c.what;
}

TEST(PackageCheck, AFileWithManyFaultsShowsTheFirstTenAndCountsTheRest) {
  std::string effect;
  for (int i = 0; i < 25; ++i) effect += "HIR 0;\r\n";
  const Lines found = Check({{"rev0/VI3/PROM.svf", effect}});
  ASSERT_EQ(found.size(), 11u);
  EXPECT_EQ(found[9], "rev0/VI3/PROM.svf:10: HIR is not part of the Effect language");
  EXPECT_EQ(found[10], "rev0/VI3/PROM.svf: and 15 more faulty lines");
}

// Names resolve as the engines resolve them: backslashes and any case.
TEST(PackageCheck, NamesResolveAsARunResolvesThem) {
  EXPECT_EQ(Check({{"rev0/VI3/script.ini", "P0 sub\\b0.hex\r\nP1 B1.HEX\r\nP8 PROM.svf\r\n"},
                   {"rev0/VI3/B0.HEX", "<none>"},
                   {"rev0/VI3/Sub/B0.HEX", kLow}}),
            Lines{});
}

// The identification script beside the update script is checked with its own
// card scripts; its absence is no fault.
TEST(PackageCheck, TheIdentificationScriptBesideIsCheckedToo) {
  EXPECT_EQ(
      Check({{"rev0/readid.ini", "CM\r\n"}, {"rev0/VI3/readid.ini", "D0\r\nD9\r\nT8 01\r\n"}}),
      (Lines{"rev0/VI3/readid.ini:3: version '01' is not four characters: the device keeps "
             "and reports four"}));
  EXPECT_EQ(Check({{"rev0/readid.ini", "C1\r\n"}}),
            (Lines{"rev0/readid.ini:1: card script rev0/SCAN/readid.ini not found"}));
  // Checking the identification pass itself: no normal boot image is needed.
  EXPECT_EQ(Check({{"rev0/readid.ini", "rem\r\n"}, {"rev0/BOOT_EXT_OPTION.HEX", "<none>"}},
                  "readid.ini")[0],
            "rev0/VI3/: warning: card folder that no script names");
}

TEST(PackageCheck, EveryRevisionFolderPresentIsChecked) {
  Files both = {{"rev1/script.ini", "C1\r\n"},
                {"rev1/BOOT_EXT_PONT.HEX", kBoot},
                {"rev1/BOOT_EXT_OPTION.HEX", kBoot},
                {"rev1/VI3/script.ini", "rem\r\n"},
                {"rev1/SCAN/script.ini", "P2 B2.HEX\r\n"}};
  EXPECT_EQ(Check(both), (Lines{"rev1/SCAN/script.ini:1: B2.HEX not found in rev1/SCAN/"}));
  EXPECT_EQ(Check({}, "script.ini", false),
            (Lines{"script.ini: no revision folder (rev0 or rev1) beside this script"}));
  // A script given inside a revision folder: the hint says where it belongs.
  EXPECT_EQ(Check({{"rev1/script.ini", "CM\r\n"}}, "rev1/script.ini", false),
            (Lines{"script.ini: no revision folder (rev0 or rev1) beside this script; name the "
                   "script beside the revision folders, not the one inside them"}));
}

// The package's folder given where its main script belongs: one error naming the
// folder as given, and nothing else (no finding per revision folder or file).
TEST(PackageCheck, AFolderGivenAsTheScriptIsOneFinding) {
  TTempDir dir;
  dir.Write("rev1/script.ini", "CM\r\n");
  for (const std::string& given : {dir.Dir(), dir.Dir() + "rev1"}) {
    TPackageCheck check(given);
    check.Run();
    Lines out;
    for (const TFinding& f : check.Findings()) out.push_back(FormatFinding(f));
    EXPECT_EQ(out, Lines{given + ": is a folder: give the main script in it (script.ini or "
                                 "readid.ini)"});
    EXPECT_EQ(check.ErrorCount(), 1u);
  }
}

// On a revision-1 device every run rewrites the main card's image lines for
// components 8, 9 and A: from the card folder without the extended input card,
// from "opt_in\" with it. Both forms must run, and the file must exist even when
// no line names the main card.
TEST(PackageCheck, TheMainCardImageLinesOfRevisionOneAreCheckedInBothForms) {
  const Files rev1 = {{"rev1/script.ini", "CM\r\n"},
                      {"rev1/BOOT_EXT_PONT.HEX", kBoot},
                      {"rev1/BOOT_EXT_OPTION.HEX", kBoot},
                      {"rev1/VI3/script.ini", "P8 opt_in\\PROM.svf\r\nPA CPLD.svf\r\n"},
                      {"rev1/VI3/PROM.svf", "SIR 8 TDI (FE);\r\n"},
                      {"rev1/VI3/opt_in/PROM.svf", "SIR 8 TDI (FE);\r\n"},
                      {"rev1/VI3/CPLD.svf", "SIR 8 TDI (FE);\r\n"},
                      {"rev1/VI3/opt_in/CPLD.svf", "SIR 8 TDI (FE);\r\n"}};
  Files only_opt_in = rev1;
  only_opt_in["rev1/VI3/CPLD.svf"] = "<none>";
  EXPECT_EQ(Check(only_opt_in, "script.ini", false),
            (Lines{"rev1/VI3/script.ini:2: with the extended input card absent this line reads "
                   "'PA CPLD.svf': CPLD.svf not found in rev1/VI3/"}));
  Files no_cm = rev1;
  no_cm["rev1/script.ini"] = "rem\r\n";
  no_cm["rev1/VI3/script.ini"] = "<none>";
  EXPECT_EQ(Check(no_cm, "script.ini", false)[0],
            "rev1/script.ini: card script rev1/VI3/script.ini not found (on a revision-1 device "
            "every run rewrites the main card's image lines in it while the cards are pinged)");
  EXPECT_EQ(Check(rev1, "script.ini", false), Lines{});
}

// Findings of a check that stops half way keep their order, and the work done
// grows to the total.
TEST(PackageCheck, AdvancesInSlices) {
  TTempDir dir;
  for (const auto& [path, content] : BasePackage()) dir.Write(path, content);
  std::string effect;
  for (int i = 0; i < 1000; ++i) effect += "SIR 8 TDI (FE);\r\n";
  dir.Write("rev0/VI3/PROM.svf", effect + "HIR 0;\r\n");
  TPackageCheck check(dir.Dir() + "script.ini");
  int steps = 0;
  uint64_t last = 0;
  while (!check.Advance(100)) {
    ++steps;
    EXPECT_GE(check.WorkDone(), last);
    last = check.WorkDone();
    EXPECT_LE(check.FileDone(), check.FileTotal());
  }
  EXPECT_GE(steps, 10);
  EXPECT_EQ(check.WorkDone(), check.WorkTotal());
  EXPECT_FALSE(check.CanRun());
  ASSERT_EQ(check.Findings().size(), 1u);
  EXPECT_EQ(FormatFinding(check.Findings()[0]),
            "rev0/VI3/PROM.svf:1001: HIR is not part of the Effect language");
}

}  // namespace
