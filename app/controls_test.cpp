#include "app/controls.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Controls, ProgressBarNeverLeavesZeroToMax) {
  TProgressBar bar;
  EXPECT_EQ(bar.Min(), 0);
  EXPECT_EQ(bar.Step(), 1);
  bar.SetMax(3);
  std::vector<int> positions;
  for (int i = 0; i < 5; ++i) {
    bar.StepIt();
    positions.push_back(bar.Position());
  }
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 3, 3}));
  bar.SetMax(2);  // a smaller maximum pulls the position down with it
  EXPECT_EQ(bar.Position(), 2);
  bar.SetPosition(-4);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetPosition(9);
  EXPECT_EQ(bar.Position(), 2);
  bar.ToMin();
  EXPECT_EQ(bar.Position(), 0);
  bar.ToMax();
  EXPECT_EQ(bar.Position(), 2);
  bar.SetMax(-1);
  EXPECT_EQ(bar.Max(), 0);
  EXPECT_EQ(bar.Position(), 0);
}

TEST(Controls, TickingARadioItemClearsTheOthersOfItsMenuOnly) {
  TMenuItem a{"a", false, true, true}, b{"b", false, true, true}, plain{"p", true, true, false};
  TMenuItem other{"o", true, true, true};
  TMenu menu("m", {&a, &b, &plain});
  menu.Check(a);
  menu.Check(b);
  EXPECT_FALSE(a.Checked);
  EXPECT_TRUE(b.Checked);
  EXPECT_TRUE(plain.Checked);  // not a radio item
  EXPECT_TRUE(other.Checked);  // another menu's item
}

TEST(Controls, MemoOnlyAppends) {
  TMemo memo;
  EXPECT_TRUE(memo.Empty());
  memo.Append("one");
  memo.Append("one");
  EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"one", "one"}));
  EXPECT_EQ(memo.LastLine(), "one");
}

}  // namespace
