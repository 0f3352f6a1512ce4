// TPackageCheck, the scripts: every line a run could reach, read with the engines'
// own ParseInstruction, and the files those lines name, collected for the file
// checks. The rules mirror the sequencer: main-script card lines, card scripts
// under the main script's name, the boot images a run programs on its own, and on
// revision-1 devices the main card's image lines in both forms the run rewrites
// them to.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/package_check.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/text_util.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kBridgeBoot = "BOOT_EXT_PONT.HEX";
constexpr const char* kNormalBoot = "BOOT_EXT_OPTION.HEX";
constexpr const char* kUpdateScript = "script.ini";
constexpr const char* kReadIdScript = "readid.ini";
constexpr size_t kVersionLength = 4;

bool IsCommentOrEmpty(const std::string& line) { return line.empty() || StartsWith(line, "rem"); }

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(PathFromUtf8(ResolvePath(path)), ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(PathFromUtf8(ResolvePath(path)), ec);
}

bool IsImageLine(const std::string& line) {
  return StartsWith(line, "P8") || StartsWith(line, "P9") || StartsWith(line, "PA");
}

std::string Lower(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return s;
}

}  // namespace

void TPackageCheck::CheckScripts() {
  // The package's folder given where its main script belongs: one finding, not one
  // per revision folder and file.
  if (name_.empty() || IsFolder(script_)) {
    Add(TFindingSeverity::FIND_ERROR, script_, 0,
        "is a folder: give the main script in it (script.ini or readid.ini)");
    return;
  }
  for (const std::string& revision : RevisionFolders) {
    const std::string folder = root_ + revision;
    if (!IsFolder(folder)) continue;
    revisions_.insert(folder);
    CheckRevision(folder, name_);
    if (name_ != kReadIdScript && Exists(folder + kReadIdScript)) {
      CheckRevision(folder, kReadIdScript);
    }
  }
  if (!revisions_.empty()) return;
  const std::string own =
      Lower(PathFileName(root_.empty() ? "" : root_.substr(0, root_.size() - 1)));
  std::string text = "no revision folder (rev0 or rev1) beside this script";
  if (own == "rev0" || own == "rev1") {
    text += "; name the script beside the revision folders, not the one inside them";
  }
  Add(TFindingSeverity::FIND_ERROR, Display(script_), 0, text);
}

// One main script of one revision folder: its lines, the boot images every run
// programs, and on revision 1 the main card's card script, which every run rewrites.
void TPackageCheck::CheckRevision(const std::string& revision_folder, const std::string& name) {
  const std::string path = revision_folder + name;
  CheckMainScript(path, revision_folder);
  const TLineSite whole{path, 0, revision_folder};
  NameFile(kBridgeBoot, TFileKind::FK_HEX, BootImageRules(false), whole,
           "the bridge boot image, which every run programs before the script: ");
  if (name == kUpdateScript) {
    NameFile(kNormalBoot, TFileKind::FK_HEX, BootImageRules(false), whole,
             "the boot image, which every update programs after the script: ");
  }
  if (revision_folder.ends_with(RevisionFolders[1])) {
    CheckCardScript(revision_folder + MainCard.folder, name, whole, MainCard.slot, true);
  }
}

void TPackageCheck::CheckMainScript(const std::string& path, const std::string& revision_folder) {
  std::vector<std::string> lines;
  if (!LoadScript(path, lines, TLineSite{}, "")) return;
  if (filter_) filter_(lines, -1);
  for (size_t i = 0; i < lines.size(); ++i) {
    const TLineSite site{path, static_cast<int32_t>(i + 1), revision_folder};
    CheckMainLine(Trim(lines[i]), site, revision_folder);
  }
}

// "CM", "C" + option card, a comment, or an instruction for the engines.
void TPackageCheck::CheckMainLine(const std::string& line, const TLineSite& site,
                                  const std::string& revision_folder) {
  const bool rev1 = revision_folder.ends_with(RevisionFolders[1]);
  if (StartsWith(line, "CM")) {
    CheckCardScript(revision_folder + MainCard.folder, PathFileName(site.Script), site,
                    MainCard.slot, rev1);
    return;
  }
  if (StartsWith(line, "C")) {
    const std::string rest = Trim(std::string_view(line).substr(1));
    if (rest.empty()) return Error(site, "card line without a card number (C0 to C5, or CM)");
    const int card = HexDigitValue(rest[0]);
    if (card >= kOptionCardCount) {
      return Error(site, "no option card " + rest.substr(0, 1) + ": option cards are C0 to C5");
    }
    if (card == 0 && rest[0] != '0') {
      Add(TFindingSeverity::FIND_WARNING, Display(site.Script), site.Line,
          "'" + rest.substr(0, 1) + "' is no card number; a run reads this line as C0");
    }
    CheckCardScript(revision_folder + OptionCards[static_cast<size_t>(card)].folder,
                    PathFileName(site.Script), site, card, false);
    return;
  }
  if (!IsCommentOrEmpty(line)) CheckInstruction(line, site);
}

void TPackageCheck::CheckCardScript(const std::string& card_folder, const std::string& name,
                                    const TLineSite& naming, int32_t card, bool rewritten) {
  const std::string path = card_folder + name;
  std::error_code ec;
  card_dirs_.insert(Utf8FromPath(fs::weakly_canonical(PathFromUtf8(ResolvePath(card_folder)), ec)));
  if (!card_scripts_.insert(Utf8FromPath(fs::weakly_canonical(PathFromUtf8(ResolvePath(path)), ec)))
           .second)
    return;
  std::vector<std::string> lines;
  const std::string why = naming.Line == 0
                              ? " (on a revision-1 device every run rewrites the main card's image "
                                "lines in it while the cards are pinged)"
                              : "";
  if (!LoadScript(path, lines, naming, why) || naming.Line == 0) return;
  if (filter_) filter_(lines, card);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (IsCommentOrEmpty(line)) continue;
    const TLineSite site{path, static_cast<int32_t>(i + 1), card_folder};
    if (rewritten && IsImageLine(line)) {
      CheckRewrittenImageLine(line, site);
    } else {
      CheckInstruction(line, site);
    }
  }
}

// On a revision-1 device the run rewrites this line before the card script runs:
// without the extended input card the image comes from the card folder, with it
// from "opt_in\". Both forms must run.
void TPackageCheck::CheckRewrittenImageLine(const std::string& line, const TLineSite& site) {
  for (const bool present : {false, true}) {
    const std::string form = Trim(RewriteExtendedInputLine(line, present));
    context_ = std::string("with the extended input card ") + (present ? "present" : "absent") +
               " this line reads '" + form + "': ";
    CheckInstruction(form, site);
  }
  context_.clear();
}

void TPackageCheck::CheckInstruction(const std::string& line, const TLineSite& site) {
  if (CheckBootLine(line, site) || CheckCrtLine(line, site) || CheckPsdLine(line, site) ||
      CheckJtagLine(line, site)) {
    return;
  }
  std::string text = "no engine takes this line";
  if (StartsWith(Lower(line), "rem")) text += " (comments begin with 'rem' in lower case)";
  Error(site, text);
}

bool TPackageCheck::CheckBootLine(const std::string& line, const TLineSite& site) {
  const TBootInstruction parsed = TProgBoot::ParseInstruction(line);
  if (parsed.Kind != TBootInstruction::TKind::BOOT_PB) {
    return parsed.Kind == TBootInstruction::TKind::BOOT_SYN;
  }
  if (!parsed.Fault.empty()) {
    Error(site, parsed.Fault);
  } else if (parsed.File.empty()) {
    Error(site, "PB names no file");
  } else {
    NameFile(parsed.File, TFileKind::FK_HEX, BootImageRules(!parsed.Checksum.empty()), site);
  }
  return true;
}

bool TPackageCheck::CheckCrtLine(const std::string& line, const TLineSite& site) {
  const TCrtInstruction parsed = TInstCrt::ParseInstruction(line);
  if (!parsed.Accepted) return false;
  if (!parsed.Fault.empty()) {
    Error(site, parsed.Fault);
  } else if (parsed.Keyword == "V" || parsed.Keyword == "T" || parsed.Keyword == "UV") {
    CheckVersion(parsed.Argument, site);
  } else if ((parsed.Keyword == "Z" || parsed.Keyword == "M") &&
             (parsed.Argument[0] < '0' || parsed.Argument[0] > '5')) {
    Error(site, "no option card " + parsed.Argument.substr(0, 1) +
                    ": the device bridges to and pings cards 0 to 5");
  }
  return true;
}

// A component code, then the version: four characters the device can store and
// report (its reply ends with ".", so a "." cannot stand in a version).
void TPackageCheck::CheckVersion(const std::string& argument, const TLineSite& site) {
  const std::string code = argument.substr(0, 1);
  if (std::find(CardCodes.begin(), CardCodes.end(), code) == CardCodes.end()) {
    return Error(site, "'" + code + "' is not a component code (0 to 9, A, C, E)");
  }
  const std::string version = Trim(std::string_view(argument).substr(1));
  if (version.size() != kVersionLength) {
    return Error(site, "version '" + version +
                           "' is not four characters: the device keeps and reports four");
  }
  for (char c : version) {
    if (c == '.' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
      return Error(site, "version '" + version +
                             "' holds a character the device cannot report ('.' ends its reply)");
    }
  }
}

bool TPackageCheck::CheckPsdLine(const std::string& line, const TLineSite& site) {
  using K = TPsdInstruction::TKind;
  const TPsdInstruction parsed = TProgPsd::ParseInstruction(line);
  if (parsed.Kind == K::PSD_NONE) return false;
  if (parsed.Kind != K::PSD_PROGRAM && parsed.Kind != K::PSD_E) return true;
  const bool bank = parsed.Kind == K::PSD_PROGRAM;
  if (parsed.File.empty()) {
    Error(site, (bank ? "P" + std::to_string(parsed.Bank) : std::string("PE")) + " names no file");
  } else {
    NameFile(parsed.File, TFileKind::FK_HEX, bank ? BankImageRules(parsed.Bank) : EImageRules(),
             site);
  }
  return true;
}

bool TPackageCheck::CheckJtagLine(const std::string& line, const TLineSite& site) {
  const TJtagInstruction parsed = TProgJtag::ParseInstruction(line);
  if (parsed.Kind == TJtagInstruction::TKind::JTAG_NONE) return false;
  if (parsed.Kind != TJtagInstruction::TKind::JTAG_PLAY) return true;
  if (parsed.File.empty()) {
    Error(site, std::string("P") + parsed.Code + " names no Effect file");
  } else {
    NameFile(parsed.File, TFileKind::FK_EFFECT, THexImageRules{}, site);
  }
  return true;
}

// Loads a script a run reads. A missing one is reported at the line that names it
// (`naming`), or as the main script itself.
bool TPackageCheck::LoadScript(const std::string& path, std::vector<std::string>& lines,
                               const TLineSite& naming, const std::string& why_needed) {
  std::string reason;
  if (LoadTextLines(path, lines, &reason)) {
    NoteNamed(path);
    return true;
  }
  const std::string what = Exists(path) ? "cannot be read: " + reason : "not found";
  if (naming.Script.empty()) {
    Add(TFindingSeverity::FIND_ERROR, Display(path), 0, "script " + what);
  } else {
    Error(naming, "card script " + Display(path) + " " + what + why_needed);
  }
  return false;
}

// A file a line names, looked for where the engine will look: the line's folder.
void TPackageCheck::NameFile(const std::string& name, TFileKind kind, const THexImageRules& rules,
                             const TLineSite& site, const std::string& prefix) {
  const std::string path = site.Folder + name;
  const std::string resolved = ResolvePath(path);
  const fs::path file = PathFromUtf8(resolved);
  std::error_code ec;
  if (!fs::exists(file, ec)) {
    return Error(site, prefix + name + " not found in " + Display(site.Folder));
  }
  if (fs::is_directory(file, ec)) return Error(site, prefix + name + " is a folder");
  NoteNamed(resolved);
  const std::string key = std::to_string(static_cast<int>(kind)) + rules.Area + "|" +
                          Utf8FromPath(fs::weakly_canonical(file, ec));
  if (!job_keys_.insert(key).second) return;
  const uint64_t size = fs::file_size(file, ec);
  jobs_.push_back({kind, path, Display(resolved), rules, ec ? 0 : size});
  work_total_ += jobs_.back().Size;
}
