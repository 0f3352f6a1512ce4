#include "engines/effect_file_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "testing/temp_dir.h"

namespace {

using Faults = std::vector<std::pair<int32_t, std::string>>;

Faults Found(const TEffectFileCheck& check) {
  Faults out;
  for (const TEffectFault& f : check.Faults()) out.emplace_back(f.Line, f.Reason);
  return out;
}

// A file of `lines` statements, with FREQUENCY on the lines listed in `bad`.
std::string FileWith(int lines, const std::vector<int>& bad) {
  std::string text;
  for (int n = 1; n <= lines; ++n) {
    const bool foreign = std::find(bad.begin(), bad.end(), n) != bad.end();
    text += foreign ? "FREQUENCY 1E6 HZ;\r\n" : "SIR 8 TDI (FE);\r\n";
  }
  return text;
}

TEST(EffectFileCheck, AdvancesASliceOfLinesAtATime) {
  TTempDir dir;
  dir.Write("f.eff", FileWith(10, {}));
  TEffectFileCheck check;
  ASSERT_TRUE(check.Open(dir.Dir() + "f.eff"));
  EXPECT_FALSE(check.Advance(4));
  EXPECT_EQ(check.LinesChecked(), 4);
  EXPECT_EQ(check.BytesChecked(), 4u * 16u);
  EXPECT_FALSE(check.Advance(6));  // the end is found by the next read
  EXPECT_TRUE(check.Advance(6));
  EXPECT_TRUE(check.Done());
  EXPECT_EQ(check.LinesChecked(), 10);
  EXPECT_TRUE(check.Faults().empty());
  EXPECT_FALSE(check.ReadFailed());
}

TEST(EffectFileCheck, StopsAtTheFirstFaultOrCountsThemAll) {
  TTempDir dir;
  dir.Write("f.eff", FileWith(20, {3, 7, 8, 15}));
  TEffectFileCheck first;
  ASSERT_TRUE(first.Open(dir.Dir() + "f.eff"));
  EXPECT_TRUE(first.Advance(100));
  EXPECT_EQ(Found(first), (Faults{{3, "FREQUENCY is not part of the Effect language"}}));
  EXPECT_EQ(first.LinesChecked(), 3);

  TEffectFileCheck all(2, true);
  ASSERT_TRUE(all.Open(dir.Dir() + "f.eff"));
  EXPECT_TRUE(all.Advance(100));
  EXPECT_EQ(Found(all), (Faults{{3, "FREQUENCY is not part of the Effect language"},
                                {7, "FREQUENCY is not part of the Effect language"}}));
  EXPECT_EQ(all.FaultCount(), 4u);
  EXPECT_EQ(all.LinesChecked(), 20);
}

TEST(EffectFileCheck, AnEmptyFileHasNoLineToRefuse) {
  TTempDir dir;
  dir.Write("empty.eff", "");
  TEffectFileCheck check;
  ASSERT_TRUE(check.Open(dir.Dir() + "empty.eff"));
  EXPECT_TRUE(check.Advance(1));
  EXPECT_EQ(check.LinesChecked(), 0);
  EXPECT_TRUE(check.Faults().empty());
}

TEST(EffectFileCheck, AMissingFileDoesNotOpen) {
  TTempDir dir;
  TEffectFileCheck check;
  std::string error;
  EXPECT_FALSE(check.Open(dir.Dir() + "missing.eff", &error));
  EXPECT_FALSE(error.empty());
}

// Names are resolved as every file the engines open: backslashes, any case.
TEST(EffectFileCheck, OpensNamesAsTheEnginesDo) {
  TTempDir dir;
  dir.Write("sub/Cpld.SVF", FileWith(2, {2}));
  TEffectFileCheck check;
  ASSERT_TRUE(check.Open(dir.Dir() + "SUB\\cpld.svf"));
  EXPECT_TRUE(check.Advance(10));
  EXPECT_EQ(Found(check), (Faults{{2, "FREQUENCY is not part of the Effect language"}}));
}

}  // namespace
