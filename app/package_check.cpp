// TPackageCheck: the driver (phases and slices of work), the file checks (HEX
// images and Effect files, with the engines' own checks) and the warnings about
// folders and files no script names. The scripts are in package_check_scripts.cpp.
#include "app/package_check.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/file_access.h"

namespace fs = std::filesystem;

namespace {

std::string Canonical(const std::string& path) {
  std::error_code ec;
  return Utf8FromPath(fs::weakly_canonical(PathFromUtf8(ResolvePath(path)), ec));
}

std::string Plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Card folders of the card table, once each ("SCAN" and "HD" serve two cards).
std::vector<std::string> CardFolders() {
  std::vector<std::string> folders = {MainCard.folder};
  for (const card_rec& card : OptionCards) {
    if (std::find(folders.begin(), folders.end(), card.folder) == folders.end()) {
      folders.push_back(card.folder);
    }
  }
  return folders;
}

}  // namespace

std::string FormatFinding(const TFinding& finding) {
  std::string text = finding.Path;
  if (finding.Line > 0) text += ":" + std::to_string(finding.Line);
  text += ": ";
  if (finding.Severity == TFindingSeverity::FIND_WARNING) text += "warning: ";
  return text + finding.Text;
}

TPackageCheck::TPackageCheck(std::string script, TScriptFilter filter)
    : script_(std::move(script)),
      root_(PathFolder(script_)),
      name_(PathFileName(script_)),
      filter_(std::move(filter)) {}

TPackageCheck::~TPackageCheck() = default;

bool TPackageCheck::Advance(size_t max_lines) {
  size_t budget = std::max<size_t>(max_lines, 1);
  while (budget > 0 && phase_ != TPhase::PH_DONE) {
    switch (phase_) {
      case TPhase::PH_SCRIPTS:
        CheckScripts();
        phase_ = TPhase::PH_FILES;
        budget = budget > 1 ? budget - 1 : 0;  // scripts are short: one slice
        break;
      case TPhase::PH_FILES:
        StepFiles(budget);
        if (job_index_ >= jobs_.size()) phase_ = TPhase::PH_NAMES;
        break;
      case TPhase::PH_NAMES:
        WarnUnnamed();
        phase_ = TPhase::PH_DONE;
        break;
      case TPhase::PH_DONE:
        break;
    }
  }
  return Done();
}

void TPackageCheck::Run() {
  while (!Advance(kSliceLines)) {
  }
}

size_t TPackageCheck::ErrorCount() const {
  return static_cast<size_t>(
      std::count_if(findings_.begin(), findings_.end(),
                    [](const TFinding& f) { return f.Severity == TFindingSeverity::FIND_ERROR; }));
}

uint64_t TPackageCheck::WorkDone() const { return work_done_ + FileDone(); }

uint64_t TPackageCheck::FileDone() const {
  return effect_ ? std::min(effect_->BytesChecked(), FileTotal()) : 0;
}

uint64_t TPackageCheck::FileTotal() const {
  return job_index_ < jobs_.size() ? jobs_[job_index_].Size : 0;
}

// The jobs in order; an Effect file may take several slices, a HEX image (at most
// 64 KiB of data) is checked whole.
void TPackageCheck::StepFiles(size_t& budget) {
  while (budget > 0 && job_index_ < jobs_.size()) {
    const TFileJob& job = jobs_[job_index_];
    if (job.Kind == TFileKind::FK_EFFECT) {
      if (!StepEffectJob(job, budget)) return;
    } else {
      CheckHexJob(job);
      budget -= std::min<size_t>(budget, std::max<uint64_t>(job.Size / 44, 1));
    }
    work_done_ += job.Size;
    ++job_index_;
  }
}

void TPackageCheck::CheckHexJob(const TFileJob& job) {
  std::vector<std::string> lines;
  std::string reason;
  if (!LoadTextLines(job.Path, lines, &reason)) {
    return Add(TFindingSeverity::FIND_ERROR, job.Display, 0, "cannot be read: " + reason);
  }
  const std::vector<THexFault> faults = CheckHexImage(lines, job.Rules, SIZE_MAX);
  for (size_t i = 0; i < faults.size() && i < kFaultsPerFile; ++i) {
    Add(TFindingSeverity::FIND_ERROR, job.Display, faults[i].Line, faults[i].Reason);
  }
  if (faults.size() > kFaultsPerFile) {
    Add(TFindingSeverity::FIND_ERROR, job.Display, 0,
        "and " + Plural(faults.size() - kFaultsPerFile, "more faulty line"));
  }
}

// False while the file is not checked to its end.
bool TPackageCheck::StepEffectJob(const TFileJob& job, size_t& budget) {
  if (!effect_) {
    effect_ = std::make_unique<TEffectFileCheck>(kFaultsPerFile, true);
    std::string reason;
    if (!effect_->Open(job.Path, &reason)) {
      effect_.reset();
      Add(TFindingSeverity::FIND_ERROR, job.Display, 0, "cannot be read: " + reason);
      return true;
    }
  }
  const int32_t before = effect_->LinesChecked();
  const bool done = effect_->Advance(budget);
  budget -= std::min<size_t>(budget, static_cast<size_t>(effect_->LinesChecked() - before) + 1);
  if (!done) return false;
  if (effect_->ReadFailed()) Add(TFindingSeverity::FIND_ERROR, job.Display, 0, "cannot be read");
  if (effect_->LinesChecked() == 0 && !effect_->ReadFailed()) {
    Add(TFindingSeverity::FIND_ERROR, job.Display, 0, "empty Effect file");
  }
  for (const TEffectFault& fault : effect_->Faults()) {
    Add(TFindingSeverity::FIND_ERROR, job.Display, fault.Line, fault.Reason);
  }
  if (effect_->FaultCount() > effect_->Faults().size()) {
    Add(TFindingSeverity::FIND_ERROR, job.Display, 0,
        "and " + Plural(effect_->FaultCount() - effect_->Faults().size(), "more faulty line"));
  }
  effect_.reset();
  return true;
}

// Card folders that no main script names, and files that no checked line names,
// below every revision folder. The package still runs; they are worth a look.
void TPackageCheck::WarnUnnamed() {
  for (const std::string& revision : revisions_) {
    for (const std::string& folder : CardFolders()) {
      const std::string path = revision + folder;
      std::error_code ec;
      if (!fs::is_directory(PathFromUtf8(ResolvePath(path)), ec) ||
          card_dirs_.count(Canonical(path)) != 0) {
        continue;
      }
      Add(TFindingSeverity::FIND_WARNING, Display(path), 0, "card folder that no script names");
    }
    std::error_code ec;
    std::vector<std::string> unnamed;
    for (fs::recursive_directory_iterator it(PathFromUtf8(ResolvePath(revision)), ec), end;
         !ec && it != end; it.increment(ec)) {
      const std::string file = Utf8FromPath(it->path());
      if (it->is_regular_file(ec) && !IsNamed(file)) {
        unnamed.push_back(Display(file));
      }
    }
    std::sort(unnamed.begin(), unnamed.end());
    for (const std::string& file : unnamed) {
      Add(TFindingSeverity::FIND_WARNING, file, 0, "no script names this file");
    }
  }
}

void TPackageCheck::Add(TFindingSeverity severity, const std::string& path, int32_t line,
                        std::string text) {
  findings_.push_back({severity, path, line, std::move(text)});
}

void TPackageCheck::Error(const TLineSite& site, std::string text) {
  Add(TFindingSeverity::FIND_ERROR, Display(site.Script), site.Line, context_ + std::move(text));
}

// Relative to the package folder, with "/" between folders, as the operator sees it.
std::string TPackageCheck::Display(const std::string& path) const {
  auto slashes = [](std::string p) {
    std::replace(p.begin(), p.end(), '\\', '/');
    std::replace(p.begin(), p.end(), kPathSeparator, '/');
    return p;
  };
  std::string shown = slashes(path);
  const std::string root = slashes(root_);
  if (!root.empty() && shown.starts_with(root)) shown.erase(0, root.size());
  return shown;
}

void TPackageCheck::NoteNamed(const std::string& path) { named_.insert(Canonical(path)); }

// A line's spelling of a name may differ in case from the folder's listing; on a
// file system that ignores case (Windows) both are the same file, which only the
// file system can tell.
bool TPackageCheck::IsNamed(const std::string& file) const {
  if (named_.count(Canonical(file)) != 0) return true;
  const fs::path listed = PathFromUtf8(file);
  return std::any_of(named_.begin(), named_.end(), [&](const std::string& named) {
    std::error_code ec;
    return fs::equivalent(listed, PathFromUtf8(named), ec);
  });
}
