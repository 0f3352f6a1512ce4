// TMainFich: the package check before a run. START and Read Id judge the package
// (package_check.h) before the link is opened; a slice of the check runs in the
// click and one per tick of Timer1 after it, so a large Effect file never holds the
// window, and the progress bars show how far it got. A package with errors is
// refused: its findings go to the status log, the error box lists the first of
// them, and the device is never touched.
#include <algorithm>

#include "app/main_fich.h"
#include "app/script_rules.h"

namespace {

constexpr uint32_t kCheckInterval = 10;  // ms between ticks while the check runs
constexpr int kProgressScale = 1000;     // the bars show the check in thousandths
constexpr size_t kBoxFindings = 10;      // findings listed in the error box

int Scaled(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  return static_cast<int>(std::min<uint64_t>(done, total) * kProgressScale / total);
}

std::string Count(size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

// With the check off (or once it passed), the run opens the link as it always did.
// A package judged within the click changes nothing on screen; a longer check shows
// STOP and its progress, and goes on a slice per tick.
void TMainFich::BeginRun() {
  if (!package_check_) {
    seq_state_ = TSeqState::SEQ_OPEN;
    return;
  }
  // In Manual mode the run skips the lines of the cards and components the
  // operator cleared; the check skips them too.
  TScriptFilter selection;
  if (MManual.Checked) {
    selection = [this](std::vector<std::string>& lines, int32_t card) {
      if (card < 0) {
        ApplyCardSelection(lines, CompSelDlg);
      } else {
        ApplyComponentSelection(lines, card, CompSelDlg);
      }
    };
  }
  check_ = std::make_unique<TPackageCheck>(script_file_, std::move(selection));
  StepCheck();
  if (!check_) return;
  ShowCheckRunning(true);
  ProgressBar1.SetMax(kProgressScale);
  ProgressBar2.SetPosition(0);
  ProgressBar3.SetMax(kProgressScale);
  ShowCheckProgress();
  Timer1.Interval = kCheckInterval;
}

void TMainFich::StepCheck() {
  if (!check_->Advance(TPackageCheck::kSliceLines)) {
    ShowCheckProgress();
    return;
  }
  const std::vector<TFinding> findings = check_->Findings();
  const size_t errors = check_->ErrorCount();
  check_.reset();
  if (OnPackageChecked) OnPackageChecked(findings, errors == 0);
  // Warnings alone concern the package's author (qelt-update --check lists them),
  // not the operator's run: it goes on without a word.
  if (errors > 0) return RefusePackage(findings, errors);
  seq_state_ = TSeqState::SEQ_OPEN;
}

// Bar 1: the file under way; bar 3: the whole check.
void TMainFich::ShowCheckProgress() {
  ProgressBar1.SetPosition(Scaled(check_->FileDone(), check_->FileTotal()));
  ProgressBar3.SetPosition(Scaled(check_->WorkDone(), check_->WorkTotal()));
}

// The findings, all of them in the status log and the first ones in the error box
// with the count; then the window is idle again and nothing was opened.
void TMainFich::RefusePackage(const std::vector<TFinding>& findings, size_t errors) {
  for (const TFinding& finding : findings) LogInfo(FormatFinding(finding));
  const size_t warnings = findings.size() - errors;
  std::string message = "The package cannot run: " + Count(errors, "error");
  if (warnings > 0) message += ", " + Count(warnings, "warning");
  message += " (nothing was sent to the device)";
  LogInfo(message);
  last_error_ = message;
  std::string box = message;
  size_t listed = 0;
  for (const TFinding& finding : findings) {
    if (finding.Severity != TFindingSeverity::FIND_ERROR || listed == kBoxFindings) continue;
    box += "\r\n" + FormatFinding(finding);
    ++listed;
  }
  if (errors > listed)
    box += "\r\n... and " + Count(errors - listed, "more error") + " in the status log";
  ShowCheckRunning(false);
  if (view_) view_->ShowError(box + "\r\n" + script_file_);
  EndRun(TRunEnd::RUN_FAILED, message, script_file_);
  RaiseRunEnd();
}

// STOP during the check: the next idle step tells the run's end, as after any STOP.
void TMainFich::StopCheck() {
  check_.reset();
  ShowCheckRunning(false);
  EndRun(TRunEnd::RUN_STOPPED, "", script_file_);
}

// The buttons and menus as during a run (STOP, nothing else), or back as when idle.
void TMainFich::ShowCheckRunning(bool running) {
  Start.Caption = running ? "STOP" : "START";
  Quit.Enabled = !running;
  Port1.Enabled = !running;
  Program1.Enabled = !running;
  if (ReadId.Visible) ReadId.Enabled = !running;
}
