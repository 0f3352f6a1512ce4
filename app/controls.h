// The window's controls as small model objects: buttons, progress bars, the status
// log, the timer, menus with radio items, check boxes and edits. The core writes
// them; a view (the Qt window, the command-line runner, a test) renders them and
// forwards clicks. Plain data with a few invariants; single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TButton {
  std::string Caption;
  bool Enabled = true;
  bool Visible = true;
};

struct TCheckBox {
  std::string Caption;
  bool Checked = true;
  bool Enabled = true;
};

// Colours an edit can be painted in (the system's window colour, or the grey of
// an inactive caption text for a disabled field).
enum class TEditColor : uint8_t {
  clWindow,               // normal, editable
  clInactiveCaptionText,  // greyed
};

struct TEdit {
  std::string Text;
  bool Enabled = true;
  TEditColor Color = TEditColor::clWindow;
};

struct TRadioButton {
  std::string Caption;
  bool Checked = false;
};

// A smooth progress bar with step 1. Position always lies in [Min, Max].
class TProgressBar {
 public:
  int Min() const { return 0; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int Step() const { return 1; }

  // A maximum below the minimum is taken as the minimum; the position is clamped.
  void SetMax(int max);
  // Clamped to [Min, Max].
  void SetPosition(int position);
  void ToMin() { SetPosition(Min()); }
  void ToMax() { SetPosition(max_); }
  // Advances by Step, never past Max.
  void StepIt();

 private:
  int max_ = 100;     // the bar's maximum
  int position_ = 0;  // current position
};

// The read-only multi-line status log: lines are only ever appended.
class TMemo {
 public:
  const std::vector<std::string>& Lines() const { return lines_; }
  bool Empty() const { return lines_.empty(); }
  // The last line; only meaningful when not Empty().
  const std::string& LastLine() const { return lines_.back(); }
  void Append(const std::string& line) { lines_.push_back(line); }
  // Only at creation of the window.
  void Clear() { lines_.clear(); }

 private:
  std::vector<std::string> lines_;  // one message per line
};

struct TTimer {
  uint32_t Interval = 500;  // ms
  bool Enabled = true;
};

struct TMenuItem {
  std::string Caption;
  bool Checked = false;
  bool Enabled = true;
  bool RadioItem = false;  // radio items of one menu form one group
};

// A menu: its caption, whether it can be opened, and its items. Ticking a radio
// item clears every other radio item of the same menu.
class TMenu {
 public:
  TMenu(std::string caption, std::vector<TMenuItem*> items)
      : Caption(std::move(caption)), Items(std::move(items)) {}

  // Ticks `item` and clears the other radio items of this menu.
  void Check(TMenuItem& item);

  std::string Caption;
  bool Enabled = true;
  std::vector<TMenuItem*> Items;  // not owned; the window's own items
};
