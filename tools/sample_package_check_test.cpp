// The package checker on the sample package and on copies of it with one fault
// each, the faults a new user met: every one is refused before a run with the file,
// the line and the reason. And qelt-update --check's output.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/package_check.h"
#include "testing/temp_dir.h"
#include "tools/check_command.h"
#include "tools/runner_output.h"
#include "tools/sample_package.h"

namespace {

using Lines = std::vector<std::string>;
using TFiles = std::map<std::string, std::string>;

TFiles SampleFiles() {
  TFiles files;
  for (const TPackageFile& file : BuildSamplePackage()) files[file.Path] = file.Bytes;
  return files;
}

Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string JoinLines(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Writes the sample package with `fault` applied to its files and checks
// "script.ini"; returns the findings as printed.
Lines CheckSample(const std::function<void(TFiles&)>& fault) {
  TFiles files = SampleFiles();
  fault(files);
  TTempDir dir;
  for (const auto& [path, bytes] : files) dir.Write(path, bytes);
  TPackageCheck check(dir.Dir() + "script.ini");
  check.Run();
  Lines out;
  for (const TFinding& f : check.Findings()) out.push_back(FormatFinding(f));
  return out;
}

// Changes line `number` (1-based) of a file.
void EditLine(TFiles& files, const std::string& path, size_t number,
              const std::function<void(std::string&)>& edit) {
  Lines lines = SplitLines(files.at(path));
  edit(lines.at(number - 1));
  files[path] = JoinLines(lines);
}

const char kBank[] = "rev1/VI3/VI3_B0.HEX";
const char kProm[] = "rev1/HD/HD_PROM1.svf";

std::string BankLine3() { return SplitLines(SampleFiles().at(kBank)).at(2); }

TEST(SamplePackageCheck, TheSamplePackagePasses) {
  EXPECT_EQ(CheckSample([](TFiles&) {}), Lines{});
}

TEST(SamplePackageCheck, BankImageFaultsAreFoundAtTheirLine) {
  const std::string line = BankLine3();
  const std::string checksum = line.substr(line.size() - 2);
  const std::string wrong = checksum == "00" ? "01" : "00";
  const size_t upper = line.find_first_of("ABCDEF", 1);
  ASSERT_NE(upper, std::string::npos);
  const std::string lower(1, static_cast<char>(line[upper] - 'A' + 'a'));
  const struct {
    const char* what;
    std::function<void(std::string&)> edit;
    std::string finding;
  } cases[] = {
      {"blank line", [](std::string& l) { l.clear(); }, "rev1/VI3/VI3_B0.HEX:3: blank line"},
      {"garbage", [](std::string& l) { l = "garbage"; },
       "rev1/VI3/VI3_B0.HEX:3: not a record: a line of an Intel HEX file begins with ':'"},
      {"truncated", [](std::string& l) { l.resize(41); },
       "rev1/VI3/VI3_B0.HEX:3: byte count 20 says 32 data bytes, the line holds 15"},
      {"wrong record checksum", [&](std::string& l) { l.replace(l.size() - 2, 2, wrong); },
       "rev1/VI3/VI3_B0.HEX:3: record checksum is " + wrong + ", the record's bytes need " +
           checksum},
      {"lower case",
       [](std::string& l) {
         for (char& c : l) c = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
       },
       "rev1/VI3/VI3_B0.HEX:3: lower-case hex digit '" + lower +
           "': the updater reads only upper-case digits when it sums the image for the "
           "device's verify (a lower-case one counts as 0), so the device would answer "
           "\"Checksum Error\" after the memory was erased and written; write the file in "
           "upper case"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckSample([&](TFiles& f) { EditLine(f, kBank, 3, c.edit); }), Lines{c.finding})
        << c.what;
  }
}

TEST(SamplePackageCheck, ScriptFaultsAreFoundBeforeAnyCardIsProgrammed) {
  EXPECT_EQ(CheckSample([](TFiles& f) { f["rev1/script.ini"] += "FOO\r\n"; }),
            (Lines{"rev1/script.ini:12: no engine takes this line"}));
  EXPECT_EQ(CheckSample([](TFiles& f) { f["rev1/script.ini"] += "C9\r\n"; }),
            (Lines{"rev1/script.ini:12: no option card 9: option cards are C0 to C5"}));
  EXPECT_EQ(CheckSample([](TFiles& f) {
              for (auto it = f.begin(); it != f.end();) {
                it = it->first.starts_with("rev1/HD/") ? f.erase(it) : std::next(it);
              }
            }),
            (Lines{"rev1/script.ini:10: card script rev1/HD/script.ini not found",
                   "rev1/readid.ini:9: card script rev1/HD/readid.ini not found"}));
}

TEST(SamplePackageCheck, EffectStatementsTheLanguageLacksAreNamedWithTheReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"FREQUENCY 1E6 HZ;", "FREQUENCY is not part of the Effect language"},
      {"HDR 0;", "HDR is not part of the Effect language"},
      {"PIO (HLHL);", "PIO is not part of the Effect language"},
      {"SDR 8 TDI (FF)", "missing ';'"},
      {"SDR 600 TDI (00);", "SDR longer than 512 bits"},
  };
  for (const auto& [statement, reason] : cases) {
    EXPECT_EQ(CheckSample([&](TFiles& f) {
                EditLine(f, kProm, 15, [&](std::string& l) { l = statement; });
              }),
              Lines{std::string(kProm) + ":15: " + reason})
        << statement;
  }
}

}  // namespace

namespace {

// qelt-update --check: every finding, then the summary; the exit status says
// whether the package can run.
TEST(CheckCommand, PrintsTheFindingsAndTheVerdict) {
  TTempDir dir;
  for (const auto& [path, bytes] : SampleFiles()) dir.Write(path, bytes);
  std::ostringstream good;
  EXPECT_EQ(RunCheckCommand(dir.Dir() + "script.ini", false, good), 0);
  EXPECT_EQ(good.str(), dir.Dir() + "script.ini: 0 errors, 0 warnings: the package can run\n");

  dir.Write("rev1/script.ini", SampleFiles().at("rev1/script.ini") + "C9\r\n");
  dir.Write("rev1/stray.txt", "notes");
  std::ostringstream bad, json;
  EXPECT_EQ(RunCheckCommand(dir.Dir() + "script.ini", false, bad), 1);
  EXPECT_EQ(bad.str(),
            "rev1/script.ini:12: no option card 9: option cards are C0 to C5\n"
            "rev1/stray.txt: warning: no script names this file\n" +
                dir.Dir() + "script.ini: 1 error, 1 warning: the package cannot run\n");
  EXPECT_EQ(RunCheckCommand(dir.Dir() + "script.ini", true, json), 1);
  EXPECT_EQ(
      json.str(),
      "{\"event\":\"finding\",\"severity\":\"error\",\"path\":\"rev1/script.ini\",\"line\":12,"
      "\"message\":\"no option card 9: option cards are C0 to C5\"}\n"
      "{\"event\":\"finding\",\"severity\":\"warning\",\"path\":\"rev1/stray.txt\",\"line\":0,"
      "\"message\":\"no script names this file\"}\n"
      "{\"event\":\"check\",\"script\":" +
          JsonQuote(dir.Dir() + "script.ini") + ",\"errors\":1,\"warnings\":1,\"exit\":1}\n");
}

}  // namespace
