// The rules by which script lines are turned into comments ("rem") before or during
// a run: absent option cards, components whose version is already current, and the
// operator's card and component selection; and the rewrite of the main card's
// extended-input image lines. Used by the sequencer. Pure functions over line
// lists; the caller does the file I/O.
#pragma once

#include <string>
#include <vector>

class TCompSelDlg;

inline constexpr int kMainCardSlot = 255;

// Replaces every line that, trimmed, begins with "C" followed by the card code of
// option card `card` (0..5) by "rem".
void SkipOptionCardLines(std::vector<std::string>& lines, int card);
// Replaces every line that, trimmed, begins with "P" or "V" followed by the code of
// component `component` (0..12) by "rem".
void SkipComponentLines(std::vector<std::string>& lines, int component);
// Same-version rule: component 8 or more skips its own lines; 0..7 skips the lines
// of all eight microcontroller components.
void SkipSameVersion(std::vector<std::string>& lines, int component);
// Manual mode, on the main script: "CM" lines when the main card is not selected,
// "C"n lines of every option card whose box is cleared.
void ApplyCardSelection(std::vector<std::string>& lines, const TCompSelDlg& dialog);
// Manual mode, on a card script of `card` (255 main card, 0..5 option card): the
// lines of every component the dialog deselects.
void ApplyComponentSelection(std::vector<std::string>& lines, int card, const TCompSelDlg& dialog);

// Rewrites the "P8", "P9" and "PA" lines of the main card's card script so that
// their images come from the "opt_in\" subfolder exactly when `present`. Other lines
// are kept unchanged.
void RewriteExtendedInputLines(std::vector<std::string>& lines, bool present);
// One line of the above; lines that are not image lines come back unchanged.
std::string RewriteExtendedInputLine(const std::string& line, bool present);

// The folder part of a path, up to and including its last separator ("/" or "\\"),
// or empty; and the file-name part after it.
std::string PathFolder(const std::string& path);
std::string PathFileName(const std::string& path);

// Number of lines that are not empty (a line of blanks counts).
int NonEmptyLineCount(const std::vector<std::string>& lines);
