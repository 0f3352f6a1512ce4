// TMainFich's reactions to the card supervisor's events during a run: the script
// rules for present and absent cards and for components whose version is current
// (each raised on to a front end too), and the rewrite of the main card's card
// script for the extended input card. Also the status log's story of what the
// scripts left out or played: absent cards, the operator's selection, Effect files.
#include <algorithm>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/run_story.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "engines/intel_hex.h"
#include "engines/prog_jtag.h"
#include "engines/text_util.h"

namespace {

// The card a main-script line names: 255 for "CM", 0..15 for "C" and a digit, -1
// for any other line.
int CardOfLine(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (StartsWith(trimmed, "CM")) return kMainCardSlot;
  if (!StartsWith(trimmed, "C")) return -1;
  const std::string rest = Trim(std::string_view(trimmed).substr(1));
  return rest.empty() ? -1 : HexDigitValue(rest[0]);
}

// The component a card-script line names by its second character, or -1.
int ComponentOfLine(const std::string& line) {
  const std::string trimmed = Trim(line);
  return trimmed.size() < 2 ? -1 : CardCodeIndex(trimmed.substr(1, 1));
}

// The values `of` gives for the lines that differ between `before` and `after`,
// each once, in the order of their first line.
template <typename Of>
std::vector<int> ChangedBy(const std::vector<std::string>& before,
                           const std::vector<std::string>& after, Of of) {
  std::vector<int> found;
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    const int value = before[i] == after[i] ? -1 : of(before[i]);
    if (value >= 0 && std::find(found.begin(), found.end(), value) == found.end()) {
      found.push_back(value);
    }
  }
  return found;
}

}  // namespace

void TMainFich::CardReady(int card) {
  if (card == 0) card0_ready_ = true;
  if (card == 5 && revision_ == 1) RewriteExtendedInput(true);
}

void TMainFich::CardError(int card) {
  LogInfo(AbsentCardNote(card));
  if (OnCardAbsent) OnCardAbsent(card);
  SkipOptionCardLines(script_lines_, card);
  if (card == 5 && revision_ == 1) RewriteExtendedInput(false);
}

void TMainFich::VersionSame(int component) {
  if (!MAuto.Checked || current_card_ == -1) return;
  SkipSameVersion(card_lines_, component);
  if (!OnComponentSkipped) return;
  // The "T" line handed over: its code, then the version the device just matched.
  const std::string argument = Trim(std::string_view(current_line_).substr(1));
  const std::string version =
      argument.empty() ? std::string() : Trim(std::string_view(argument).substr(1));
  OnComponentSkipped(current_card_, component, version);
}

// The main card's card script takes its images for components 8, 9 and A from the
// "opt_in\" subfolder exactly when the extended input card is present. The file is
// written only when that changes a line, and replaced atomically; a file that cannot
// be read ends the run. A file that cannot be written (a read-only package) is left
// as it is: the run goes on with the edited lines, kept in memory, and says so once.
void TMainFich::RewriteExtendedInput(bool present) {
  const std::string path = PathFolder(script_file_) + MainCard.folder + PathFileName(script_file_);
  std::vector<std::string> lines;
  std::string reason;
  if (!LoadTextLines(path, lines, &reason)) {
    ReportError(path + " File not found !!!");
    if (!reason.empty()) LogInfo(reason);
    return;
  }
  std::vector<std::string> edited = lines;
  RewriteExtendedInputLines(edited, present);
  if (edited == lines) return;
  if (WriteCardScript(path, edited, &reason)) return;
  LogInfo(UnwrittenScriptNote(path, reason));
  edited_card_script_ = TEditedScript{path, std::move(edited)};
}

// The running card script's lines: from memory when this run edited that file
// without writing it, else from the file.
bool TMainFich::LoadCardLines(std::string* reason) {
  if (edited_card_script_ && edited_card_script_->Path == card_script_file_) {
    card_lines_ = edited_card_script_->Lines;
    return true;
  }
  return LoadTextLines(card_script_file_, card_lines_, reason);
}

// ---- The status log's story -----------------------------------------------------

void TMainFich::NoteCardSelection(const std::vector<std::string>& before) {
  for (int card : ChangedBy(before, script_lines_, CardOfLine)) {
    LogInfo(CardNotSelectedNote(card));
  }
}

// One line per component box that left lines out; the eight microcontroller
// components share one box and one line.
void TMainFich::NoteComponentSelection(const std::vector<std::string>& before) {
  const auto box = [](const std::string& line) {
    const int component = ComponentOfLine(line);
    return component >= 0 && component < 8 ? 0 : component;
  };
  for (int component : ChangedBy(before, card_lines_, box)) {
    LogInfo(ComponentNotSelectedNote(current_card_, component));
  }
}

// A line that the JTAG engine took to play an Effect file: "P", the chain, the file.
void TMainFich::NoteEffectStarted() {
  effect_play_.reset();
  if (!prog_jtag_->Busy || prog_jtag_->State() != TProgJtag::TJtagState::JTAG_PLAY_CHECK) return;
  const std::string rest = Trim(std::string_view(current_line_).substr(1));
  effect_play_ = TEffectPlay{Trim(std::string_view(rest).substr(1)), rest.substr(0, 1), 0};
}

void TMainFich::NoteLineFinished() {
  if (!effect_play_) return;
  LogInfo(EffectPlayedNote(effect_play_->File, effect_play_->Chain, effect_play_->Statements));
  effect_play_.reset();
}
