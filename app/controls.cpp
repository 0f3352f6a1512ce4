#include "app/controls.h"

#include <algorithm>

void TProgressBar::SetMax(int max) {
  max_ = std::max(max, Min());
  position_ = std::clamp(position_, Min(), max_);
}

void TProgressBar::SetPosition(int position) { position_ = std::clamp(position, Min(), max_); }

void TProgressBar::StepIt() { SetPosition(position_ + Step()); }

void TMenu::Check(TMenuItem& item) {
  for (TMenuItem* other : Items) {
    if (other != &item && other->RadioItem && item.RadioItem) other->Checked = false;
  }
  item.Checked = true;
}
