// TPackageCheck: judges a firmware package before a run, without a device, so that
// a run never starts what it cannot finish. For the main script (and "readid.ini"
// beside it) in every revision folder present, it reads every line a run could
// reach with the engines' own parsers, and every file those lines name with the
// checks the engines make before they send: HEX records, memory ranges, Effect
// statements. Files are opened through the one file-access helper, so names are
// judged exactly as a run resolves them (backslashes, any case).
// Used by the core before a run (a slice of work per timer tick), by
// `qelt-update --check` (to the end at once) and by the tests. Plain C++,
// single-threaded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engines/effect_file_check.h"
#include "engines/intel_hex.h"

// How much a finding weighs: an error stops a run, a warning does not.
enum class TFindingSeverity : uint8_t {
  FIND_ERROR,    // the package cannot run to its end
  FIND_WARNING,  // worth a look (a folder or a file no script names)
};

// One finding, as a compiler reports it.
struct TFinding {
  TFindingSeverity Severity = TFindingSeverity::FIND_ERROR;
  std::string Path;  // relative to the package folder, "/" between folders
  int32_t Line = 0;  // 1-based; 0 when it concerns the file as a whole
  std::string Text;  // what is wrong
};

// "path:line: text", or "path: text" without a line; warnings read
// "path:line: warning: text".
std::string FormatFinding(const TFinding& finding);

// Applied to a script's lines right after they are read, as the run applies the
// operator's selection in Manual mode: `card` is -1 for a main script, 255 for the
// main card's card script, 0..5 for an option card's.
using TScriptFilter = std::function<void(std::vector<std::string>& lines, int32_t card)>;

class TPackageCheck {
 public:
  // Lines of files checked per Advance step by the core (a few milliseconds).
  static constexpr size_t kSliceLines = 16384;
  // Faults reported per file; further ones are counted in one more finding.
  static constexpr size_t kFaultsPerFile = 10;

  // `script`: the main script as a run is given it, before the revision folder
  // is inserted (the folder that holds "rev0" and "rev1", and the file name).
  // `filter` (may be empty) turns the lines a run will not reach into "rem".
  explicit TPackageCheck(std::string script, TScriptFilter filter = nullptr);
  ~TPackageCheck();
  TPackageCheck(const TPackageCheck&) = delete;
  TPackageCheck& operator=(const TPackageCheck&) = delete;

  // Does about `max_lines` lines of work. True once the check is complete.
  bool Advance(size_t max_lines = kSliceLines);
  // Advances to the end.
  void Run();

  bool Done() const { return phase_ == TPhase::PH_DONE; }
  // Findings so far, in the order found: scripts first, then files, then warnings.
  const std::vector<TFinding>& Findings() const { return findings_; }
  size_t ErrorCount() const;
  size_t WarningCount() const { return findings_.size() - ErrorCount(); }
  // The package can run: complete, and no error.
  bool CanRun() const { return Done() && ErrorCount() == 0; }

  // Progress in bytes of the files to check: overall, and of the file under way.
  uint64_t WorkDone() const;
  uint64_t WorkTotal() const { return work_total_; }
  uint64_t FileDone() const;
  uint64_t FileTotal() const;

 private:
  // What the check is doing.
  enum class TPhase : uint8_t {
    PH_SCRIPTS,  // reads every script a run could reach, collects the files named
    PH_FILES,    // checks the named files, a slice at a time
    PH_NAMES,    // warns of card folders and files that no script names
    PH_DONE,     // complete
  };
  // How a named file is checked.
  enum class TFileKind : uint8_t {
    FK_HEX,     // an Intel HEX image, under Rules
    FK_EFFECT,  // an Effect file
  };
  // A file to check, once per path and way of checking.
  struct TFileJob {
    TFileKind Kind = TFileKind::FK_HEX;
    std::string Path;     // as the engines open it
    std::string Display;  // relative to the package
    THexImageRules Rules;
    uint64_t Size = 0;  // bytes, for progress
  };
  // Where a line stands: its script, its number and the folder files are found in.
  struct TLineSite {
    std::string Script;  // path of the script, as opened
    int32_t Line = 0;
    std::string Folder;  // CurentDir while the line runs, ending with a separator
  };

  // Scripts (package_check_scripts.cpp).
  void CheckScripts();
  void CheckRevision(const std::string& revision_folder, const std::string& name);
  void CheckMainScript(const std::string& path, const std::string& revision_folder);
  void CheckMainLine(const std::string& line, const TLineSite& site,
                     const std::string& revision_folder);
  // `rewritten`: the main card on a revision-1 device, whose image lines the run
  // rewrites. A `naming` site without a line asks only that the script be readable.
  void CheckCardScript(const std::string& card_folder, const std::string& name,
                       const TLineSite& naming, int32_t card, bool rewritten);
  void CheckInstruction(const std::string& line, const TLineSite& site);
  bool CheckBootLine(const std::string& line, const TLineSite& site);
  bool CheckCrtLine(const std::string& line, const TLineSite& site);
  bool CheckPsdLine(const std::string& line, const TLineSite& site);
  bool CheckJtagLine(const std::string& line, const TLineSite& site);
  void CheckVersion(const std::string& argument, const TLineSite& site);
  void CheckRewrittenImageLine(const std::string& line, const TLineSite& site);
  bool LoadScript(const std::string& path, std::vector<std::string>& lines, const TLineSite& naming,
                  const std::string& why_needed);
  void NameFile(const std::string& name, TFileKind kind, const THexImageRules& rules,
                const TLineSite& site, const std::string& prefix = "");

  // Files and names (package_check.cpp).
  void StepFiles(size_t& budget);
  void CheckHexJob(const TFileJob& job);
  bool StepEffectJob(const TFileJob& job, size_t& budget);
  void WarnUnnamed();
  void Add(TFindingSeverity severity, const std::string& path, int32_t line, std::string text);
  void Error(const TLineSite& site, std::string text);
  std::string Display(const std::string& path) const;
  bool IsNamed(const std::string& file) const;
  void NoteNamed(const std::string& path);

  std::string script_;    // as given
  std::string root_;      // its folder: the package, ending with a separator (or empty)
  std::string name_;      // its file name
  TScriptFilter filter_;  // the run's selection, applied to every script read
  TPhase phase_ = TPhase::PH_SCRIPTS;
  std::vector<TFinding> findings_;
  std::vector<TFileJob> jobs_;
  std::set<std::string> job_keys_;            // path + kind + range of every job, once each
  std::set<std::string> named_;               // canonical paths of every script and file named
  std::set<std::string> card_dirs_;           // canonical card folders the main scripts name
  std::set<std::string> revisions_;           // revision folders present
  std::set<std::string> card_scripts_;        // card scripts already read (canonical)
  std::string context_;                       // put before the findings of a rewritten line, or ""
  size_t job_index_ = 0;                      // the job under way
  std::unique_ptr<TEffectFileCheck> effect_;  // the Effect file under way
  uint64_t work_total_ = 0;
  uint64_t work_done_ = 0;  // bytes of the jobs finished
};
