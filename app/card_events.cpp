// TMainFich's reactions to the card supervisor's events during a run: the script
// rules for present and absent cards and for components whose version is current
// (each raised on to a front end too), and the rewrite of the main card's card
// script for the extended input card.
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "engines/text_util.h"

void TMainFich::CardReady(int card) {
  if (card == 0) card0_ready_ = true;
  if (card == 5 && revision_ == 1) RewriteExtendedInput(true);
}

void TMainFich::CardError(int card) {
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
// replaced atomically; a file that cannot be read or written ends the run.
void TMainFich::RewriteExtendedInput(bool present) {
  const std::string path = PathFolder(script_file_) + MainCard.folder + PathFileName(script_file_);
  std::vector<std::string> lines;
  std::string reason;
  if (!LoadTextLines(path, lines, &reason)) {
    ReportError(path + " File not found !!!");
    if (!reason.empty()) LogInfo(reason);
    return;
  }
  RewriteExtendedInputLines(lines, present);
  if (!SaveTextLines(path, lines, &reason)) {
    ReportError("Error while writing " + path + " !!!");
    if (!reason.empty()) LogInfo(reason);
  }
}
