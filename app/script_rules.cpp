#include "app/script_rules.h"

#include "app/comp_sel_dlg.h"
#include "engines/card_table.h"
#include "engines/intel_hex.h"
#include "engines/text_util.h"

namespace {

constexpr const char* kComment = "rem";

// Turns into "rem" each line whose trimmed text `matches` (called with a view into
// the line: a rule runs over every line of a script up to 13 times).
template <typename Pred>
void SkipWhere(std::vector<std::string>& lines, Pred matches) {
  for (std::string& line : lines) {
    if (matches(TrimView(line))) line = kComment;
  }
}

// The file-name part: the text after the last backslash or colon, or all of it.
std::string FileNamePart(const std::string& text) {
  const size_t cut = text.find_last_of("\\:");
  return cut == std::string::npos ? text : text.substr(cut + 1);
}

}  // namespace

void SkipOptionCardLines(std::vector<std::string>& lines, int card) {
  const std::string prefix = std::string("C") + HexDigit(card);
  SkipWhere(lines, [&](std::string_view t) { return StartsWith(t, prefix); });
}

void SkipComponentLines(std::vector<std::string>& lines, int component) {
  const std::string& code = CardCodes[static_cast<size_t>(component)];
  const std::string program = "P" + code, version = "V" + code;
  SkipWhere(lines,
            [&](std::string_view t) { return StartsWith(t, program) || StartsWith(t, version); });
}

void SkipSameVersion(std::vector<std::string>& lines, int component) {
  if (component >= 8) {
    SkipComponentLines(lines, component);
    return;
  }
  for (int i = 0; i <= 7; ++i) SkipComponentLines(lines, i);
}

void ApplyCardSelection(std::vector<std::string>& lines, const TCompSelDlg& dialog) {
  if (!dialog.CardSelected(kMainCardSlot)) {
    SkipWhere(lines, [](std::string_view t) { return StartsWith(t, "CM"); });
  }
  for (int card = 0; card < kOptionCardCount; ++card) {
    if (!dialog.CardSelected(card)) SkipOptionCardLines(lines, card);
  }
}

void ApplyComponentSelection(std::vector<std::string>& lines, int card, const TCompSelDlg& dialog) {
  for (int component = 0; component < kCardCodeCount; ++component) {
    if (!dialog.ComponentSelected(card, component)) SkipComponentLines(lines, component);
  }
}

std::string RewriteExtendedInputLine(const std::string& line, bool present) {
  const std::string trimmed = Trim(line);
  if (!StartsWith(trimmed, "P8") && !StartsWith(trimmed, "P9") && !StartsWith(trimmed, "PA")) {
    return line;
  }
  const std::string prefix = trimmed.substr(0, 2);
  // Trimmed in both forms, so that rewriting a rewritten line changes nothing.
  const std::string name = Trim(FileNamePart(trimmed.substr(2)));
  if (present) return prefix + " opt_in\\" + name;
  return prefix + " " + name;
}

void RewriteExtendedInputLines(std::vector<std::string>& lines, bool present) {
  for (std::string& line : lines) line = RewriteExtendedInputLine(line, present);
}

namespace {
#ifdef _WIN32
constexpr const char* kFolderEnds = "/\\:";
#else
constexpr const char* kFolderEnds = "/\\";
#endif
}  // namespace

std::string PathFolder(const std::string& path) {
  const size_t cut = path.find_last_of(kFolderEnds);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string PathFileName(const std::string& path) {
  const size_t cut = path.find_last_of(kFolderEnds);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

int NonEmptyLineCount(const std::vector<std::string>& lines) {
  int count = 0;
  for (const std::string& line : lines) {
    if (!line.empty()) ++count;
  }
  return count;
}
