// TMainFich's update sequencer: one SequencerStep per timer tick or data arrival,
// one small function per state (the opening of a run is in sequencer_wake.cpp),
// and the run's events that the engines do not raise themselves. Nothing waits
// inside a step.
#include <cassert>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/main_fich.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "engines/inst_crt.h"
#include "engines/intel_hex.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/text_util.h"
#include "link/com_driver.h"

namespace {

constexpr uint32_t kIdleInterval = 500;  // ms between idle ticks
constexpr const char* kBridgeBoot = "PB BOOT_EXT_PONT.HEX";
constexpr const char* kNormalBoot = "PB BOOT_EXT_OPTION.HEX";
constexpr const char* kUpdateScript = "script.ini";
constexpr const char* kSyntaxError = "Syntax Error in script file line : ";
constexpr const char* kCompleted = "Program operation completed";

bool IsCommentOrEmpty(const std::string& line) { return line.empty() || StartsWith(line, "rem"); }

// "<path> File not found !!!", and below it why when the file is there but cannot
// be read (a folder, a file the user may not read).
std::string NotFound(const std::string& path, const std::string& reason) {
  std::string text = path + " File not found !!!";
  if (!reason.empty() && reason != std::strerror(ENOENT)) text += "\n" + path + ": " + reason;
  return text;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(PathFromUtf8(ResolvePath(path)), ec);
}

}  // namespace

void TMainFich::SequencerStep() {
  if (in_step_) {
    assert(!"SequencerStep re-entered");
    return;  // without assertions: the nested call does nothing
  }
  in_step_ = true;
  step_soon_ = false;  // this step is the one a pending request asked for
  const uint64_t states = StatesMark();
  StepState();
  WatchTimedWait();
  WatchProgress();
  RaiseRunEnd();
  AskStepSoon(StatesMark() != states);  // step_soon.cpp
  in_step_ = false;
}

// The engines do not announce their timed waits; the core looks after every step.
// A wait lasts at least one step in either engine, so none goes unseen.
void TMainFich::WatchTimedWait() {
  const bool waiting = inst_crt_->InTimedWait() || prog_jtag_->InTimedWait();
  if (waiting == timed_wait_) return;
  timed_wait_ = waiting;
  const std::function<void()>& event = waiting ? OnTimedWaitBegin : OnTimedWaitEnd;
  if (event) event();
}

// Notes how the run ended; RaiseRunEnd tells it once the step is over.
void TMainFich::EndRun(TRunEnd end, const std::string& message, const std::string& script) {
  run_end_ = TRunEndNote{end, message, script};
}

void TMainFich::RaiseRunEnd() {
  if (!run_end_) return;
  const TRunEndNote note = std::move(*run_end_);
  run_end_.reset();
  if (OnRunEnd) OnRunEnd(note.End, note.Message, note.Script);
}

const std::string& TMainFich::RunningScript() const {
  return current_card_ != -1 ? card_script_file_ : script_file_;
}

void TMainFich::StepState() {
  using S = TSeqState;
  switch (seq_state_) {
    case S::SEQ_IDLE:
      DoIdle();
      break;
    case S::SEQ_OPEN:
      DoOpen();
      break;
    case S::SEQ_WAKE:
      DoWake();
      break;
    case S::SEQ_WAIT_TYPE:
      DoWaitType();
      break;
    case S::SEQ_WAIT_UPDATER:
      DoWaitUpdater();
      break;
    case S::SEQ_BOOT_SYNC:
      DoBootSync();
      break;
    case S::SEQ_WAIT_BOOT_SYNC:
      DoWaitBootSync();
      break;
    case S::SEQ_LOAD_SCRIPT:
      DoLoadScript();
      break;
    case S::SEQ_WAIT_BRIDGE_BOOT:
      DoWaitBridgeBoot();
      break;
    case S::SEQ_PING:
      DoPing();
      break;
    case S::SEQ_WAIT_PING:
      DoWaitPing();
      break;
    case S::SEQ_WAIT_BRIDGE_OPEN:
      DoWaitCrt(S::SEQ_WAIT_L0, "L0");
      break;
    case S::SEQ_WAIT_L0:
      DoWaitCrt(S::SEQ_WAIT_BRIDGE_CLOSE, "Z0");
      break;
    case S::SEQ_WAIT_BRIDGE_CLOSE:
      DoWaitCrt(S::SEQ_NEXT_LINE, nullptr);
      break;
    case S::SEQ_NEXT_LINE:
      DoNextLine();
      break;
    case S::SEQ_WAIT_LINE:
      DoWaitLine();
      break;
    case S::SEQ_NEXT_CARD_LINE:
      DoNextCardLine();
      break;
    case S::SEQ_WAIT_CARD_LINE:
      DoWaitCardLine();
      break;
    case S::SEQ_NORMAL_BOOT:
      DoNormalBoot();
      break;
    case S::SEQ_WAIT_NORMAL_BOOT:
      DoWaitNormalBoot();
      break;
    case S::SEQ_CLOSE:
      DoClose();
      break;
    case S::SEQ_WAIT_REBRIDGE_BOOT:
      DoWaitRebridgeBoot();
      break;
    case S::SEQ_WAIT_END_BRIDGE_OPEN:
      DoWaitCrt(S::SEQ_WAIT_END_UPDATE, "FU");
      break;
    case S::SEQ_WAIT_END_UPDATE:
      DoWaitCrt(S::SEQ_WAIT_END_BRIDGE_CLOSE, "Z0");
      break;
    case S::SEQ_WAIT_END_BRIDGE_CLOSE:
      DoWaitCrt(S::SEQ_WAIT_FINISH, "FI");
      break;
    case S::SEQ_WAIT_FINISH:
      DoWaitFinish();
      break;
    case S::SEQ_DONE:
      DoDone();
      break;
    case S::SEQ_ERROR:
      DoError();
      break;
    case S::SEQ_ERROR_REPORT:
      DoErrorReport();
      break;
  }
}

void TMainFich::DoIdle() {
  link_->SetConType(CON_NONE);
  Port1.Enabled = true;
  Program1.Enabled = true;
  Start.Caption = "START";
  Quit.Enabled = true;
  if (ReadId.Visible) ReadId.Enabled = true;
  LogInfo("Click on button START to begin program operation");
  ResetEngines();
  device_id_ = 0;
  identified_ = false;
  current_card_ = -1;
  card0_ready_ = false;
  updater_ack_ = false;
  revision_ = 0;
  edited_card_script_.reset();
  effect_play_.reset();
  SetCurentCardDir(setup_.ProgramFolder);
  Timer1.Interval = kIdleInterval;
}

void TMainFich::DoWaitBootSync() {
  if (prog_boot_->Busy) prog_boot_->Step();
  if (Finished()) seq_state_ = TSeqState::SEQ_LOAD_SCRIPT;
}

void TMainFich::DoLoadScript() {
  if (IsFolder(script_file_)) {  // a package folder given where its main script belongs
    ReportError(script_file_ + " File not found !!!\n" + script_file_ +
                " is a folder: give the main script in it (" + kUpdateScript + " or " +
                "readid.ini)");
    return;
  }
  script_file_ = PathFolder(script_file_) + RevisionFolders[revision_ == 0 ? 0 : 1] +
                 PathFileName(script_file_);
  SetCurentCardDir(PathFolder(script_file_));
  std::string reason;
  if (!LoadTextLines(script_file_, script_lines_, &reason)) {
    ReportError(NotFound(script_file_, reason));
    return;
  }
  if (MManual.Checked) {
    const std::vector<std::string> before = script_lines_;
    ApplyCardSelection(script_lines_, CompSelDlg);
    NoteCardSelection(before);
  }
  ProgressBar2.SetMax(kOptionCardCount);
  ProgressBar3.SetMax(2 + NonEmptyLineCount(script_lines_));
  ProgressBar2.StepIt();
  seq_state_ = TSeqState::SEQ_WAIT_BRIDGE_BOOT;
  HandBoot(kBridgeBoot);
}

void TMainFich::DoWaitBridgeBoot() {
  if (prog_boot_->Busy) prog_boot_->Step();
  if (!Finished()) return;
  ProgressBar2.StepIt();
  seq_state_ = TSeqState::SEQ_PING;
}

bool TMainFich::IsUpdateScript() const { return PathFileName(script_file_) == kUpdateScript; }

void TMainFich::DoPing() {
  if (line_index_ < kOptionCardCount) {
    ProgressBar1.ToMin();
    seq_state_ = TSeqState::SEQ_WAIT_PING;
    HandCrt("M" + std::to_string(OptionCards[static_cast<size_t>(line_index_)].number));
    return;
  }
  line_index_ = 0;
  ProgressBar1.ToMax();
  ProgressBar2.ToMax();
  ProgressBar3.StepIt();
  if (IsUpdateScript() && card0_ready_ && revision_ == 1) {
    seq_state_ = TSeqState::SEQ_WAIT_BRIDGE_OPEN;
    HandCrt("Q" + std::to_string(0));
  } else {
    seq_state_ = TSeqState::SEQ_NEXT_LINE;
  }
}

void TMainFich::DoWaitPing() {
  if (inst_crt_->Busy) inst_crt_->Step();
  if (!Finished()) return;
  ProgressBar2.StepIt();
  ++line_index_;
  seq_state_ = TSeqState::SEQ_PING;
}

// Waits for the card supervisor, then hands it `instruction` (if any) and moves on.
void TMainFich::DoWaitCrt(TSeqState next, const char* instruction) {
  if (inst_crt_->Busy) inst_crt_->Step();
  if (!Finished()) return;
  seq_state_ = next;
  if (instruction) HandCrt(instruction);
}

void TMainFich::DoNextLine() {
  if (line_index_ >= static_cast<int32_t>(script_lines_.size())) {
    seq_state_ = IsUpdateScript() ? TSeqState::SEQ_NORMAL_BOOT : TSeqState::SEQ_CLOSE;
    return;
  }
  current_line_ = Trim(script_lines_[static_cast<size_t>(line_index_)]);
  if (StartsWith(current_line_, "CM")) {
    ++line_index_;
    current_card_ = MainCard.slot;
    LoadCardScript(PathFolder(script_file_) + MainCard.folder);
    return;
  }
  if (StartsWith(current_line_, "C")) {
    ++line_index_;
    OptionCardLine();
    return;
  }
  ++line_index_;
  ProgressBar1.ToMin();
  ProgressBar2.ToMin();
  if (IsCommentOrEmpty(current_line_)) {
    ProgressBar1.ToMax();
    ProgressBar2.ToMax();
    ProgressBar3.StepIt();
    return;
  }
  OfferCurrentLine(TSeqState::SEQ_WAIT_LINE, line_index_);
}

// "C" + hexadecimal digit: option cards 0..5; 6..15, and "C" alone, are syntax errors.
void TMainFich::OptionCardLine() {
  const std::string rest = Trim(std::string_view(current_line_).substr(1));
  current_card_ = rest.empty() ? kOptionCardCount : HexDigitValue(rest[0]);
  if (current_card_ < kOptionCardCount) {
    LoadCardScript(PathFolder(script_file_) +
                   OptionCards[static_cast<size_t>(current_card_)].folder);
    return;
  }
  current_card_ = -1;
  SetCurentCardDir(PathFolder(script_file_));
  ReportError(kSyntaxError + std::to_string(line_index_));
}

// Offers the current line to the engines; an engine that takes it makes the sequencer
// wait in `waiting`. A line nobody takes is a syntax error of `line_number`.
void TMainFich::OfferCurrentLine(TSeqState waiting, int32_t line_number) {
  seq_state_ = waiting;
  OfferLine(current_line_);
  if (seq_state_ == TSeqState::SEQ_ERROR) return;  // an engine refused it with its own text
  if (!engine_busy_) ReportError(kSyntaxError + std::to_string(line_number));
  NoteEffectStarted();
}

void TMainFich::LoadCardScript(const std::string& card_folder) {
  SetCurentCardDir(card_folder);
  card_script_file_ = curent_card_dir_ + PathFileName(script_file_);
  card_lines_.clear();
  std::string reason;
  if (!LoadCardLines(&reason)) {
    ReportError(NotFound(card_script_file_, reason));
    return;
  }
  card_line_index_ = 0;
  if (MManual.Checked) {
    const std::vector<std::string> before = card_lines_;
    ApplyComponentSelection(card_lines_, current_card_, CompSelDlg);
    NoteComponentSelection(before);
  }
  ProgressBar2.SetMax(1 + NonEmptyLineCount(card_lines_));
  ProgressBar2.ToMin();
  seq_state_ = TSeqState::SEQ_NEXT_CARD_LINE;
}

void TMainFich::DoWaitLine() {
  PumpEngines();
  if (!Finished()) return;
  NoteLineFinished();
  ProgressBar1.ToMax();
  ProgressBar2.ToMax();
  ProgressBar3.StepIt();
  seq_state_ = TSeqState::SEQ_NEXT_LINE;
}

void TMainFich::DoNextCardLine() {
  if (card_line_index_ >= static_cast<int32_t>(card_lines_.size())) {
    current_card_ = -1;
    SetCurentCardDir(PathFolder(script_file_));
    card_lines_.clear();
    ProgressBar1.ToMax();
    ProgressBar2.ToMax();
    ProgressBar3.StepIt();
    seq_state_ = TSeqState::SEQ_NEXT_LINE;
    return;
  }
  current_line_ = Trim(card_lines_[static_cast<size_t>(card_line_index_)]);
  ++card_line_index_;
  ProgressBar1.ToMin();
  if (IsCommentOrEmpty(current_line_)) {
    ProgressBar2.StepIt();
    return;
  }
  OfferCurrentLine(TSeqState::SEQ_WAIT_CARD_LINE, card_line_index_);
}

void TMainFich::DoWaitCardLine() {
  PumpEngines();
  if (!Finished()) return;
  NoteLineFinished();
  seq_state_ = TSeqState::SEQ_NEXT_CARD_LINE;
  ProgressBar2.StepIt();
}

void TMainFich::DoNormalBoot() {
  ProgressBar1.ToMin();
  ProgressBar2.SetMax(3);
  ProgressBar2.ToMin();
  seq_state_ = TSeqState::SEQ_WAIT_NORMAL_BOOT;
  HandBoot(kNormalBoot);
  ProgressBar2.StepIt();
}

void TMainFich::DoWaitNormalBoot() {
  if (prog_boot_->Busy) prog_boot_->Step();
  if (!Finished()) return;
  ProgressBar1.StepIt();
  ProgressBar2.StepIt();
  seq_state_ = TSeqState::SEQ_CLOSE;
}

// A keyboard card reached through the bridge while the device never confirmed
// updater mode needs the bridge image again and an explicit end of update.
void TMainFich::DoClose() {
  if (card0_ready_ && !updater_ack_) {
    seq_state_ = TSeqState::SEQ_WAIT_REBRIDGE_BOOT;
    HandBoot(kBridgeBoot);
  } else {
    seq_state_ = TSeqState::SEQ_WAIT_FINISH;
    HandCrt("FI");
  }
}

void TMainFich::DoWaitRebridgeBoot() {
  if (prog_boot_->Busy) prog_boot_->Step();
  if (!Finished()) return;
  seq_state_ = TSeqState::SEQ_WAIT_END_BRIDGE_OPEN;
  HandCrt("Q" + std::to_string(0));
}

void TMainFich::DoWaitFinish() {
  if (inst_crt_->Busy) inst_crt_->Step();
  if (Finished()) seq_state_ = TSeqState::SEQ_DONE;
}

void TMainFich::DoDone() {
  ClearReceived();
  LogInfo(kCompleted);
  Quit.Enabled = true;
  if (ReadId.Visible) {
    ReadId.Enabled = true;
    Start.Caption = "START";
  } else {
    Start.Caption = "QUIT";
  }
  Port1.Enabled = true;
  Program1.Enabled = true;
  ProgressBar1.ToMax();
  ProgressBar2.ToMax();
  ProgressBar3.ToMax();
  link_->SetConType(CON_NONE);
  seq_state_ = TSeqState::SEQ_IDLE;
  EndRun(TRunEnd::RUN_COMPLETED, kCompleted, script_file_);
}

void TMainFich::DoError() {
  ClearReceived();
  link_->SetConType(CON_NONE);
  seq_state_ = TSeqState::SEQ_ERROR_REPORT;
}

void TMainFich::DoErrorReport() {
  const std::string& path = RunningScript();
  if (view_) view_->ShowError(last_error_ + "\r\n" + path);
  seq_state_ = TSeqState::SEQ_IDLE;
  EndRun(TRunEnd::RUN_FAILED, last_error_, path);
}
