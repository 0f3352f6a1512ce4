// The sequencer's header: the states' names and what each says about the device.
#include "app/sequencer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using S = TSeqState;

std::vector<TSeqState> AllStates() {
  std::vector<TSeqState> states;
  for (int i = 0; i <= static_cast<int>(S::SEQ_ERROR_REPORT); ++i) {
    states.push_back(static_cast<TSeqState>(i));
  }
  return states;
}

TEST(SequencerStates, NamesAreTheEnumeratorsOnceEach) {
  static_assert(std::string_view(SeqStateName(S::SEQ_WAIT_L0)) == "SEQ_WAIT_L0");
  std::set<std::string> names;
  for (TSeqState state : AllStates()) {
    const std::string name = SeqStateName(state);
    EXPECT_TRUE(name.starts_with("SEQ_")) << name;
    EXPECT_TRUE(names.insert(name).second) << name << " twice";
  }
  EXPECT_STREQ(SeqStateName(S::SEQ_IDLE), "SEQ_IDLE");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_BOOT_SYNC), "SEQ_WAIT_BOOT_SYNC");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_L0), "SEQ_WAIT_L0");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_CARD_LINE), "SEQ_WAIT_CARD_LINE");
  EXPECT_STREQ(SeqStateName(S::SEQ_WAIT_END_BRIDGE_CLOSE), "SEQ_WAIT_END_BRIDGE_CLOSE");
  EXPECT_STREQ(SeqStateName(S::SEQ_ERROR_REPORT), "SEQ_ERROR_REPORT");
  EXPECT_STREQ(SeqStateName(static_cast<TSeqState>(200)), "SEQ_IDLE");
}

// Only idle, the link's opening, the two wake-up waits (they give up by themselves)
// and the end of a run do not wait on the device; only idle, the link's opening and
// reopening and the two states that close it take no step on received text.
TEST(SequencerStates, WaitingOnTheDeviceAndSteppingOnReceivedText) {
  const std::set<TSeqState> not_waiting = {S::SEQ_IDLE,      S::SEQ_OPEN,         S::SEQ_WAKE,
                                           S::SEQ_WAIT_TYPE, S::SEQ_WAIT_UPDATER, S::SEQ_DONE,
                                           S::SEQ_ERROR,     S::SEQ_ERROR_REPORT};
  const std::set<TSeqState> no_step = {S::SEQ_IDLE, S::SEQ_OPEN, S::SEQ_BOOT_SYNC, S::SEQ_ERROR,
                                       S::SEQ_DONE};
  for (TSeqState state : AllStates()) {
    EXPECT_EQ(WaitsOnDevice(state), !not_waiting.contains(state)) << SeqStateName(state);
    EXPECT_EQ(StepsOnReceive(state), !no_step.contains(state)) << SeqStateName(state);
  }
}

}  // namespace
