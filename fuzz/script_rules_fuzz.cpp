// Fuzzes the script rules (app/script_rules.h) with arbitrary script lines and an
// arbitrary selection in the component selection dialog. Invariants: a rule keeps
// the number of lines and turns a line into "rem" or leaves it as it was; a line
// it turns into "rem" is one it names, and none it names survives; applying a rule
// twice changes nothing more; the extended-input rewrite is idempotent and the two
// forms rewrite into each other; a path is its folder and its file name.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/comp_sel_dlg.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/intel_hex.h"
#include "engines/text_util.h"

// An input copies its lines a dozen times, well under 4 MiB: a quarantine of that
// size still catches a use after free within an input, and the default of
// 256 MiB hands every copy fresh memory (a quarter of the run went to page faults).
#define QELT_FUZZ_ASAN_OPTIONS "quarantine_size_mb=4"
#include "fuzz/fuzz_support.h"  // after the define

namespace {

using TLines = std::vector<std::string>;

// Applies `rule` to a copy of `lines`: each line stays or becomes "rem", exactly
// the lines `named` says become "rem", and a second pass changes nothing.
void CheckRule(const TLines& lines, const std::function<void(TLines&)>& rule,
               const std::function<bool(const std::string& trimmed)>& named) {
  TLines after = lines;
  rule(after);
  FUZZ_REQUIRE(after.size() == lines.size(), "a rule keeps the number of lines");
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool hit = named(Trim(lines[i]));
    FUZZ_REQUIRE(after[i] == (hit ? "rem" : lines[i]), "exactly the named lines become rem");
  }
  TLines twice = after;
  rule(twice);
  FUZZ_REQUIRE(twice == after, "a rule applied twice changes nothing more");
}

bool NamesComponent(const std::string& t, int component) {
  // "P" and "V" with each component's code, built once.
  static const auto kPrefixes = [] {
    std::array<std::pair<std::string, std::string>, kCardCodeCount> prefixes;
    for (size_t c = 0; c < prefixes.size(); ++c) {
      prefixes[c] = {"P" + CardCodes[c], "V" + CardCodes[c]};
    }
    return prefixes;
  }();
  const auto& [program, version] = kPrefixes[static_cast<size_t>(component)];
  return StartsWith(t, program) || StartsWith(t, version);
}

// Clicks the dialog's boxes as the operator might, from the input.
void ClickBoxes(FuzzedDataProvider& in, TCompSelDlg& dialog) {
  TCheckBox* boxes[] = {
      &dialog.CBUD3,    &dialog.CBVi3MCU,    &dialog.CBUD3PROM1,    &dialog.CBUD3CPLD,
      &dialog.CBKeyb3,  &dialog.CBExtIn,     &dialog.CBExtInCpld,   &dialog.CBExtInEDID,
      &dialog.CBSCANSD, &dialog.CBSCANSDMCU, &dialog.CBSCANSDPROM1, &dialog.CBSCANSDPROM2,
      &dialog.CBSCANHD, &dialog.CBSCANHDMCU, &dialog.CBSCANHDPROM1, &dialog.CBSCANHDPROM2};
  const int clicks = in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < clicks; ++i) {
    const size_t b = in.ConsumeIntegralInRange<size_t>(0, std::size(boxes) - 1);
    if (!boxes[b]->Enabled) continue;
    boxes[b]->Checked = !boxes[b]->Checked;
    if (boxes[b] == &dialog.CBUD3) dialog.CBUD3Click();
    if (boxes[b] == &dialog.CBSCANSD) dialog.CBSCANSDClick();
    if (boxes[b] == &dialog.CBSCANHD) dialog.CBSCANHDClick();
    if (boxes[b] == &dialog.CBExtIn) dialog.CBExtInClick();
  }
}

void CheckSelection(const TLines& lines, const TCompSelDlg& dialog, int card) {
  CheckRule(
      lines, [&](TLines& l) { ApplyCardSelection(l, dialog); },
      [&](const std::string& t) {
        if (!dialog.CardSelected(kMainCardSlot) && StartsWith(t, "CM")) return true;
        for (int c = 0; c < kOptionCardCount; ++c) {
          if (!dialog.CardSelected(c) && StartsWith(t, std::string("C") + HexDigit(c))) return true;
        }
        return false;
      });
  CheckRule(
      lines, [&](TLines& l) { ApplyComponentSelection(l, card, dialog); },
      [&](const std::string& t) {
        for (int c = 0; c < kCardCodeCount; ++c) {
          if (!dialog.ComponentSelected(card, c) && NamesComponent(t, c)) return true;
        }
        return false;
      });
}

void CheckRewrite(const std::string& line) {
  for (bool present : {false, true}) {
    const std::string once = RewriteExtendedInputLine(line, present);
    FUZZ_REQUIRE(RewriteExtendedInputLine(once, present) == once, "a rewrite is idempotent");
    const std::string other = RewriteExtendedInputLine(once, !present);
    FUZZ_REQUIRE(RewriteExtendedInputLine(other, present) == once,
                 "the two forms rewrite into each other");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TCompSelDlg dialog;
  ClickBoxes(in, dialog);
  const int card_choices[] = {kMainCardSlot, 0, 1, 2, 3, 4, 5};
  const int card = in.PickValueInArray(card_choices);
  const int option_card = in.ConsumeIntegralInRange(0, kOptionCardCount - 1);
  const int component = in.ConsumeIntegralInRange(0, kCardCodeCount - 1);
  TLines lines;
  while (in.remaining_bytes() > 0 && lines.size() < 64) {
    lines.push_back(in.ConsumeRandomLengthString(256));
  }

  CheckRule(
      lines, [&](TLines& l) { SkipOptionCardLines(l, option_card); },
      [&](const std::string& t) {
        return StartsWith(t, std::string("C") + HexDigit(option_card));
      });
  CheckRule(
      lines, [&](TLines& l) { SkipComponentLines(l, component); },
      [&](const std::string& t) { return NamesComponent(t, component); });
  CheckRule(
      lines, [&](TLines& l) { SkipSameVersion(l, component); },
      [&](const std::string& t) {
        if (component >= 8) return NamesComponent(t, component);
        for (int c = 0; c <= 7; ++c) {
          if (NamesComponent(t, c)) return true;
        }
        return false;
      });
  CheckSelection(lines, dialog, card);

  int non_empty = 0;
  for (const std::string& line : lines) {
    CheckRewrite(line);
    FUZZ_REQUIRE(PathFolder(line) + PathFileName(line) == line,
                 "a path is its folder and its file name");
    non_empty += line.empty() ? 0 : 1;
  }
  FUZZ_REQUIRE(NonEmptyLineCount(lines) == non_empty, "every line that is not empty counts");
  return 0;
}
