#include "tools/sample_package.h"

#include <algorithm>
#include <cstdint>

#include "tools/sample_effect.h"
#include "tools/sample_firmware.h"

namespace {

// One flash bank image: bank 0 lies in 0x0000-0x7FFF, the other banks in 0x8000-0xFFFF.
struct TBankPlan {
  int Bank = 0;
  std::string File;
  size_t CodeSize = 0;  // bytes of code after the vector table (per revision)
};

// One JTAG component's version and Effect file length in a revision.
struct TJtagRelease {
  std::string Version;
  int Blocks = 16;
  bool OptInVariant = false;  // the main card keeps a second image in "opt_in"
};

// One JTAG component ("8", "9", "A" or "C") and its Effect file.
struct TJtagPlan {
  char Code = '8';
  std::string File;
  TJtagRelease Release{};  // per revision
};

struct TCardPlan {
  std::string Folder;  // card folder, also the prefix of its file names
  std::string Title;
  std::string McuVersion;  // "T0"/"V0" version of the microcontroller banks (per revision)
  std::vector<TBankPlan> Banks;
  std::vector<TJtagPlan> Jtag;
  std::string EdidName;     // empty: no display identification upload
  std::string EdidVersion;  // per revision
  uint32_t WaitMs = 0;      // a settling wait at the end of the card script
  int Bridge = -1;          // option card reached through the supervisor's bridge; -1: main card
};

struct TRevisionPlan {
  int Revision = 0;
  std::string PackageVersion;
  size_t PontSize = 0;    // bytes of the bridge boot image
  size_t OptionSize = 0;  // bytes of the normal boot image
  std::vector<TCardPlan> Cards;
};

const char* const kCrLf = "\r\n";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + kCrLf;
  return text;
}

// Boot images live in 0x4000-0x5FFF; their last 32 bytes hold the version tag.
std::string BootImage(const std::string& label, size_t size) {
  TSampleRandom random(label);
  std::vector<TImageSegment> segments = {{0x4000, CodeBytes(random, size)},
                                         {0x5FE0, TagBytes(label)}};
  return HexText(segments, 32);
}

std::string BankImage(const TCardPlan& card, const TBankPlan& bank, const std::string& rev) {
  std::string label =
      rev + " " + card.Folder + " B" + std::to_string(bank.Bank) + " V" + card.McuVersion;
  TSampleRandom random(label);
  uint16_t base = bank.Bank == 0 ? 0x0000 : 0x8000;
  std::vector<TImageSegment> segments;
  segments.push_back({base, CodeBytes(random, 0x100)});  // reset and interrupt vectors
  segments.push_back({static_cast<uint16_t>(base + 0x100), CodeBytes(random, bank.CodeSize)});
  segments.push_back({static_cast<uint16_t>(base + 0x7FE0), TagBytes(label)});
  return HexText(segments, 32);
}

std::string EdidImage(const TCardPlan& card, const std::string& rev) {
  std::vector<uint8_t> block =
      EdidBlock(card.EdidName, rev == "rev1" ? 24001 : 19001, 12, rev == "rev1" ? 2024 : 2019);
  return HexText({{0x0000, block}}, 16);
}

std::string ComponentLine(char letter, char code, const std::string& argument) {
  return std::string(1, letter) + code + " " + argument;
}

// The card script: versions read first, so that Auto mode can skip what is current.
// An option card's commands go through the supervisor's bridge to that card.
void OpenBridge(const TCardPlan& card, std::vector<std::string>& lines) {
  if (card.Bridge >= 0) lines.push_back(std::string("Q").append(std::to_string(card.Bridge)));
}

void CloseBridge(const TCardPlan& card, std::vector<std::string>& lines) {
  if (card.Bridge >= 0) lines.push_back(std::string("Z").append(std::to_string(card.Bridge)));
}

std::vector<std::string> CardScript(const TCardPlan& card, const std::string& opt_in) {
  std::vector<std::string> lines = {"rem " + card.Title + ": update script",
                                    "prompt " + card.Title};
  OpenBridge(card, lines);
  if (!card.Banks.empty()) {
    lines.push_back("D0");
    lines.push_back(ComponentLine('T', '0', card.McuVersion));
    for (const TBankPlan& bank : card.Banks) {
      lines.push_back(ComponentLine('P', static_cast<char>('0' + bank.Bank), bank.File));
    }
    lines.push_back(ComponentLine('V', '0', card.McuVersion));
  }
  for (const TJtagPlan& jtag : card.Jtag) {
    std::string folder = jtag.Release.OptInVariant ? opt_in : "";
    lines.push_back(ComponentLine('T', jtag.Code, jtag.Release.Version));
    lines.push_back(std::string("D") + jtag.Code);
    lines.push_back(ComponentLine('P', jtag.Code, folder + jtag.File));
    lines.push_back(ComponentLine('V', jtag.Code, jtag.Release.Version));
  }
  if (!card.EdidName.empty()) {
    lines.push_back(ComponentLine('T', 'E', card.EdidVersion));
    lines.push_back("PE " + card.Folder + "_EDID.HEX");
    lines.push_back(ComponentLine('V', 'E', card.EdidVersion));
  }
  if (card.WaitMs != 0) lines.push_back("wait " + std::to_string(card.WaitMs));
  CloseBridge(card, lines);
  return lines;
}

std::vector<std::string> CardReadId(const TCardPlan& card) {
  std::vector<std::string> lines = {"rem " + card.Title + ": identification",
                                    "prompt " + card.Title};
  OpenBridge(card, lines);
  if (!card.Banks.empty()) lines.push_back("D0");
  for (const TJtagPlan& jtag : card.Jtag) lines.push_back(std::string("D") + jtag.Code);
  CloseBridge(card, lines);
  return lines;
}

std::vector<std::string> MainScript(const TRevisionPlan& plan, bool readid) {
  std::string revision = "hardware revision " + std::to_string(plan.Revision);
  std::vector<std::string> lines;
  if (readid) {
    lines = {"rem Identification pass for " + revision,
             "rem Reads the identifiers of the main card and of every option card present.",
             "prompt Identification pass (" + revision + ")"};
  } else {
    lines = {"rem Corvane Qelt firmware package " + plan.PackageVersion + " for " + revision,
             "rem Absent option cards are skipped, and in Auto mode so are components",
             "rem whose version is already current.",
             "prompt Firmware package " + plan.PackageVersion + " (" + revision + ")"};
  }
  // The second SD and HD scaler cards would run the same card scripts, which reach
  // the first card of each pair through its bridge; so only the first is named.
  lines.insert(lines.end(),
               {"rem The SD and HD scaler card scripts (SCAN, HD) update the first card of",
                "rem each pair through its bridge (1 and 3); the second cards are not named.", "CM",
                "C0", "C1", "C3", "C5"});
  return lines;
}

void AddCard(std::vector<TPackageFile>& files, const std::string& rev, const TCardPlan& card,
             bool opt_in_form) {
  std::string dir = rev + "/" + card.Folder + "/";
  files.push_back({dir + "script.ini", Lines(CardScript(card, opt_in_form ? "opt_in\\" : ""))});
  files.push_back({dir + "readid.ini", Lines(CardReadId(card))});
  for (const TBankPlan& bank : card.Banks) {
    files.push_back({dir + bank.File, BankImage(card, bank, rev)});
  }
  for (const TJtagPlan& jtag : card.Jtag) {
    TEffectPlan effect;
    effect.Chain = SampleChain(jtag.Code);
    effect.Title = rev + " " + card.Title + " component " + jtag.Code;
    effect.Version = jtag.Release.Version;
    effect.Blocks = jtag.Release.Blocks;
    files.push_back({dir + jtag.File, EffectText(effect)});
    if (jtag.Release.OptInVariant) {
      effect.Title += " with the extended input card";
      files.push_back({dir + "opt_in/" + jtag.File, EffectText(effect)});
    }
  }
  if (!card.EdidName.empty())
    files.push_back({dir + card.Folder + "_EDID.HEX", EdidImage(card, rev)});
}

void AddRevision(std::vector<TPackageFile>& files, const TRevisionPlan& plan) {
  std::string rev = "rev" + std::to_string(plan.Revision);
  files.push_back({rev + "/script.ini", Lines(MainScript(plan, false))});
  files.push_back({rev + "/readid.ini", Lines(MainScript(plan, true))});
  files.push_back({rev + "/BOOT_EXT_PONT.HEX",
                   BootImage(rev + " BOOT PONT " + plan.PackageVersion, plan.PontSize)});
  files.push_back({rev + "/BOOT_EXT_OPTION.HEX",
                   BootImage(rev + " BOOT OPTION " + plan.PackageVersion, plan.OptionSize)});
  // On revision 1 the main card's logic images come from "opt_in\" while the
  // extended input card answers; the committed script is in the form a device
  // with every card present leaves it in.
  for (const TCardPlan& card : plan.Cards) AddCard(files, rev, card, plan.Revision == 1);
}

// What every revision shares: the cards in script order, their files, component
// codes, settling waits and bridges. Versions and sizes are each revision's own.
std::vector<TCardPlan> CardLayout() {
  return {
      {"VI3",
       "Main card VI3",
       "",
       {{0, "VI3_B0.HEX", 0}, {1, "VI3_B1.HEX", 0}},
       {{'8', "VI3_PROM1.svf"}, {'A', "VI3_CPLD.svf"}},
       "",
       "",
       250},
      {"KEYB3", "Keyboard card KEYB3", "", {{0, "KEYB3_B0.HEX", 0}}, {}, "", "", 0, 0},
      {"SCAN",
       "SD scaler card",
       "",
       {{0, "SCAN_B0.HEX", 0}},
       {{'8', "SCAN_PROM1.svf"}, {'9', "SCAN_PROM2.svf"}},
       "",
       "",
       0,
       1},
      {"HD",
       "HD scaler card",
       "",
       {{0, "HD_B0.HEX", 0}},
       {{'8', "HD_PROM1.svf"}, {'9', "HD_PROM2.svf"}},
       "",
       "",
       0,
       3},
      {"OPT_IN",
       "Extended input card OPT_IN",
       "",
       {},
       {{'C', "OPT_IN_CPLD.svf"}},
       "QELT OPT_IN",
       "",
       100,
       5},
  };
}

// One card's versions and sizes in a revision, in the layout's order of banks and
// JTAG components.
struct TCardRelease {
  std::string McuVersion;
  std::vector<size_t> BankSizes;  // code bytes of each bank
  std::vector<TJtagRelease> Jtag;
  std::string EdidVersion;
};

TRevisionPlan Revision(int revision, const std::string& package_version, size_t pont_size,
                       size_t option_size, const std::vector<TCardRelease>& releases) {
  TRevisionPlan plan{revision, package_version, pont_size, option_size, CardLayout()};
  for (size_t c = 0; c < plan.Cards.size(); ++c) {
    TCardPlan& card = plan.Cards[c];
    const TCardRelease& release = releases.at(c);
    card.McuVersion = release.McuVersion;
    card.EdidVersion = release.EdidVersion;
    for (size_t b = 0; b < card.Banks.size(); ++b) card.Banks[b].CodeSize = release.BankSizes.at(b);
    for (size_t j = 0; j < card.Jtag.size(); ++j) card.Jtag[j].Release = release.Jtag.at(j);
  }
  return plan;
}

// Cards in the layout's order: VI3, KEYB3, SCAN, HD, OPT_IN.
TRevisionPlan Revision1() {
  return Revision(1, "2.4", 6144, 7168,
                  {
                      {"0214", {22528, 10240}, {{"0107", 24, true}, {"0105", 16, true}}, ""},
                      {"0120", {6144}, {}, ""},
                      {"0311", {12288}, {{"0102", 16}, {"0102", 16}}, ""},
                      {"0402", {14336}, {{"0201", 20}, {"0201", 20}}, ""},
                      {"", {}, {{"0103", 12}}, "0104"},
                  });
}

TRevisionPlan Revision0() {
  return Revision(0, "1.9", 5120, 6144,
                  {
                      {"0131", {18432, 8192}, {{"0104", 20}, {"0102", 12}}, ""},
                      {"0112", {5120}, {}, ""},
                      {"0207", {10240}, {{"0101", 12}, {"0101", 12}}, ""},
                      {"0305", {12288}, {{"0108", 16}, {"0108", 16}}, ""},
                      {"", {}, {{"0101", 10}}, "0102"},
                  });
}

// Full size: code up to the version tag at the end of each memory.
constexpr size_t kFullBootCode = 0x2000 - 32;
constexpr size_t kFullBankCode = 0x8000 - 0x100 - 32;
constexpr int kFullEffectBlocks = 6430;  // 163 bytes a block: a little over 1 MiB a file

TRevisionPlan FullSize(TRevisionPlan plan) {
  plan.PontSize = kFullBootCode;
  plan.OptionSize = kFullBootCode;
  for (TCardPlan& card : plan.Cards) {
    for (TBankPlan& bank : card.Banks) bank.CodeSize = kFullBankCode;
    for (TJtagPlan& jtag : card.Jtag) jtag.Release.Blocks = kFullEffectBlocks;
  }
  return plan;
}

std::string ReadMe() {
  return Lines({
      "Sample firmware package of the Corvane Qelt Updater.",
      "",
      "Generated by qelt-make-package (tools/sample_package.cpp); change the generator",
      "and run it again rather than editing these files.",
      "",
      "rev0/ and rev1/ hold the package for hardware revisions 0 and 1 (the device",
      "type chooses). Each holds the update script script.ini, the identification",
      "script readid.ini, the two boot images and one folder per card with its card",
      "script, identification script, flash bank images (Intel HEX), Effect files",
      "(.svf) and, for the extended input card, its display identification upload.",
      "",
      "Run it with:  qelt-update examples/package/script.ini --port /dev/ttyUSB0",
  });
}

std::vector<TPackageFile> BuildPackage(const TRevisionPlan& rev0, const TRevisionPlan& rev1) {
  std::vector<TPackageFile> files;
  files.push_back({".gitattributes", "* -text\n"});
  files.push_back({"README.txt", ReadMe()});
  AddRevision(files, rev0);
  AddRevision(files, rev1);
  std::sort(files.begin(), files.end(),
            [](const TPackageFile& a, const TPackageFile& b) { return a.Path < b.Path; });
  return files;
}

}  // namespace

std::vector<TPackageFile> BuildSamplePackage() { return BuildPackage(Revision0(), Revision1()); }

std::vector<TPackageFile> BuildFullSizePackage() {
  return BuildPackage(FullSize(Revision0()), FullSize(Revision1()));
}
