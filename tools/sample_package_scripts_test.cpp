// The sample package's scripts and Effect files against the engines' own rules:
// every instruction is taken by exactly one engine, every file a line names is in
// the package, versions are read before and written after what they cover, and
// every Effect line is a statement that checks the default chain's identifiers.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "engines/effect_language.h"
#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/text_util.h"
#include "tools/sample_effect.h"
#include "tools/sample_package.h"

namespace {

std::map<std::string, std::string> Package() {
  std::map<std::string, std::string> files;
  for (const TPackageFile& file : BuildSamplePackage()) files[file.Path] = file.Bytes;
  return files;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(Trim(line));
  return lines;
}

bool IsCardScript(const std::string& path) {
  size_t slashes = std::count(path.begin(), path.end(), '/');
  return slashes == 2 && (path.ends_with("/script.ini") || path.ends_with("/readid.ini"));
}

bool IsInstruction(const std::string& line) { return !line.empty() && !line.starts_with("rem"); }

// Offers `line` to the four engines in the sequencer's order; returns how many
// took it.
int EnginesTaking(const std::string& line) {
  TProgBoot boot;
  TInstCrt crt;
  TProgPsd psd;
  TProgJtag jtag;
  int taken = 0;
  auto offer = [&](auto& engine) {
    engine.Instruction = line;
    engine.Step();
    taken += engine.Busy ? 1 : 0;
  };
  offer(boot);
  offer(crt);
  offer(psd);
  offer(jtag);
  return taken;
}

// The file a "P" line of a card script names, as a package path.
std::string NamedFile(const std::string& script_path, const std::string& line) {
  std::string name = Trim(line.substr(2));
  std::replace(name.begin(), name.end(), '\\', '/');
  return script_path.substr(0, script_path.rfind('/') + 1) + name;
}

}  // namespace

TEST(SamplePackageScripts, EveryInstructionIsTakenByExactlyOneEngine) {
  int checked = 0;
  for (const auto& [path, bytes] : Package()) {
    if (!path.ends_with(".ini")) continue;
    bool main_script = std::count(path.begin(), path.end(), '/') == 1;
    for (const std::string& line : Lines(bytes)) {
      if (!IsInstruction(line)) continue;
      if (main_script && line.starts_with("C")) continue;  // card lines: the sequencer's own
      EXPECT_EQ(EnginesTaking(line), 1) << path << ": " << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

TEST(SamplePackageScripts, MainScriptsNameTheCardsAndTheirScriptsExist) {
  std::map<std::string, std::string> package = Package();
  const std::map<std::string, std::string> folders = {
      {"CM", "VI3"}, {"C0", "KEYB3"}, {"C1", "SCAN"}, {"C3", "HD"}, {"C5", "OPT_IN"}};
  for (std::string rev : {"rev0", "rev1"}) {
    for (std::string script : {"script.ini", "readid.ini"}) {
      std::set<std::string> cards;
      for (const std::string& line : Lines(package.at(rev + "/" + script))) {
        if (line.starts_with("C")) cards.insert(line);
      }
      EXPECT_EQ(cards.size(), folders.size()) << rev << "/" << script;
      for (const std::string& card : cards) {
        ASSERT_EQ(folders.count(card), 1u) << rev << "/" << script << ": " << card;
        std::string card_script = rev + "/" + folders.at(card) + "/" + script;
        EXPECT_EQ(package.count(card_script), 1u) << card_script;
      }
    }
  }
}

// An option card's commands reach it only through the supervisor's bridge: its
// scripts open the bridge before the first command and close it after the last.
TEST(SamplePackageScripts, OptionCardScriptsWorkBehindTheirBridge) {
  const std::map<std::string, std::string> bridges = {
      {"VI3", ""}, {"KEYB3", "0"}, {"SCAN", "1"}, {"HD", "3"}, {"OPT_IN", "5"}};
  int scripts = 0;
  for (const auto& [path, bytes] : Package()) {
    if (!IsCardScript(path)) continue;
    ++scripts;
    std::string folder = path.substr(5, path.rfind('/') - 5);
    std::vector<std::string> commands;
    for (const std::string& line : Lines(bytes)) {
      if (IsInstruction(line) && !line.starts_with("prompt")) commands.push_back(line);
    }
    ASSERT_GE(commands.size(), 2u) << path;
    const std::string& bridge = bridges.at(folder);
    if (bridge.empty()) {
      for (const std::string& c : commands) {
        EXPECT_FALSE(c.starts_with("Q") || c.starts_with("Z")) << path << ": " << c;
      }
    } else {
      EXPECT_EQ(commands.front(), "Q" + bridge) << path;
      EXPECT_EQ(commands.back(), "Z" + bridge) << path;
    }
  }
  EXPECT_EQ(scripts, 2 * 5 * 2);
}

TEST(SamplePackageScripts, EveryNamedFileIsInThePackage) {
  std::map<std::string, std::string> package = Package();
  int named = 0;
  for (const auto& [path, bytes] : package) {
    if (!IsCardScript(path)) continue;
    for (const std::string& line : Lines(bytes)) {
      if (!line.starts_with("P")) continue;
      ++named;
      EXPECT_EQ(package.count(NamedFile(path, line)), 1u) << path << ": " << line;
    }
  }
  for (std::string rev : {"rev0", "rev1"}) {
    EXPECT_EQ(package.count(rev + "/BOOT_EXT_PONT.HEX"), 1u);
    EXPECT_EQ(package.count(rev + "/BOOT_EXT_OPTION.HEX"), 1u);
  }
  EXPECT_GT(named, 20);
}

TEST(SamplePackageScripts, ExtendedInputImagesExistInBothForms) {
  std::map<std::string, std::string> package = Package();
  for (const std::string& line : Lines(package.at("rev1/VI3/script.ini"))) {
    if (!line.starts_with("P8") && !line.starts_with("PA")) continue;
    ASSERT_NE(line.find("opt_in\\"), std::string::npos) << line;
    std::string plain = line.substr(0, 3) + line.substr(line.find('\\') + 1);
    EXPECT_EQ(package.count(NamedFile("rev1/VI3/script.ini", line)), 1u) << line;
    EXPECT_EQ(package.count(NamedFile("rev1/VI3/script.ini", plain)), 1u) << plain;
  }
}

// Auto mode skips a component when its "T" line reads the version the package
// brings, so each programmed component must be read before and written after.
TEST(SamplePackageScripts, VersionsAreReadBeforeAndWrittenAfterProgramming) {
  for (const auto& [path, bytes] : Package()) {
    if (!path.ends_with("/script.ini") || !IsCardScript(path)) continue;
    std::map<char, std::string> read;     // group -> version of its "T" line
    std::map<char, std::string> written;  // group -> version of its "V" line
    auto group = [](char code) { return code >= '0' && code <= '7' ? '0' : code; };
    for (const std::string& line : Lines(bytes)) {
      if (line.size() < 2) continue;
      char g = group(line[1]);
      if (line[0] == 'T') read[g] = Trim(line.substr(2));
      if (line[0] == 'P') {
        EXPECT_EQ(read.count(g), 1u) << path << ": " << line << " comes before its T line";
        EXPECT_EQ(written.count(g), 0u) << path << ": " << line << " comes after its V line";
      }
      if (line[0] == 'V') {
        written[g] = Trim(line.substr(2));
        EXPECT_EQ(written[g], read[g]) << path << ": " << line;
        EXPECT_EQ(written[g].size(), 4u) << path << ": " << line;
        EXPECT_NE(written[g], "0100") << path << ": a fresh device would skip it";
      }
    }
    EXPECT_EQ(read.size(), written.size()) << path;
  }
}

TEST(SamplePackageEffect, EveryLineIsAStatementWithLongSdrsAndRuntests) {
  int files = 0;
  for (const auto& [path, bytes] : Package()) {
    if (!path.ends_with(".svf")) continue;
    ++files;
    bool long_sdr = false;
    bool runtest = false;
    int line_number = 0;
    for (const std::string& line : Lines(bytes)) {
      ++line_number;
      std::string result;
      TEffectStatement st;
      ParseStatement(line, result, st);
      ASSERT_NE(result, kEffectErrorResult) << path << " line " << line_number << ": " << line;
      long_sdr = long_sdr || (st.RawBlockPending && st.BitLength == kEffectBlockBits);
      runtest = runtest || result.starts_with(":05000004");
    }
    EXPECT_TRUE(long_sdr) << path;
    EXPECT_TRUE(runtest) << path;
  }
  // VI3 8 and A, SCAN 8 and 9, HD 8 and 9, OPT_IN C; on revision 1 also VI3's "opt_in" pair.
  EXPECT_EQ(files, 7 + 9);
}

// The first captured-data check of each Effect file reads the identifiers of the
// component's chain (the device family's, devices from TDI to TDO) under a mask
// that leaves out each identifier's revision nibble.
TEST(SamplePackageEffect, FirstCheckIsTheChainIdentifiers) {
  const std::map<char, std::pair<std::string, std::string>> expected = {
      {'8', {"1A5C80FF", "0FFFFFFF"}},
      {'9', {"1A5C90FF", "0FFFFFFF"}},
      {'A', {"2B3CA0FF", "0FFFFFFF"}},
      {'C', {"3C4DC0FF3C4DD0FF", "0FFFFFFF0FFFFFFF"}},
  };
  std::map<std::string, std::string> package = Package();
  int checked = 0;
  for (const auto& [path, bytes] : package) {
    if (!IsCardScript(path) || !path.ends_with("/script.ini")) continue;
    for (const std::string& line : Lines(bytes)) {
      if (line.size() < 2 || line[0] != 'P' || expected.count(line[1]) == 0) continue;
      const std::string& effect = package.at(NamedFile(path, line));
      for (const std::string& statement : Lines(effect)) {
        std::string result;
        TEffectStatement st;
        ParseStatement(statement, result, st);
        if ((st.StatementType & kEffectTdoBit) == 0) continue;
        EXPECT_EQ(ReverseHexBytes(st.TdoHex), expected.at(line[1]).first) << path << ": " << line;
        EXPECT_EQ(ReverseHexBytes(st.MaskHex), expected.at(line[1]).second) << path << ": " << line;
        ++checked;
        break;
      }
    }
  }
  EXPECT_EQ(checked, 2 * 7);  // per revision: VI3 8 and A, SCAN 8 and 9, HD 8 and 9, OPT_IN C
}
