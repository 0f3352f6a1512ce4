#include "engines/inst_crt.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engines/ms_clock.h"
#include "engines/testing/engine_harness.h"

namespace {

using Events = std::vector<std::string>;

// Holds the fake clock so that it is built before the engine that keeps a reference.
struct TClockHolder {
  TFakeClock clock_storage;
};

// A card supervisor on a fake clock, with its three own events recorded in the
// owner's event log as "same:<component>", "ready:<card>" and "cardfail:<card>".
class TCrtHarness : private TClockHolder, public TEngineHarness<TInstCrt> {
 public:
  TCrtHarness() : TEngineHarness<TInstCrt>(clock_storage) {
    engine.OnVersionSame = [this](TGestionnaire*, int c) { Log("same:", c); };
    engine.OnCardReady = [this](TGestionnaire*, int c) { Log("ready:", c); };
    engine.OnCardError = [this](TGestionnaire*, int c) { Log("cardfail:", c); };
  }
  TFakeClock& clock() { return clock_storage; }

 private:
  void Log(const char* what, int n) { owner.Events.push_back(what + std::to_string(n)); }
};

class InstCrtTest : public ::testing::Test {
 protected:
  TCrtHarness h;
};

// ---------------------------------------------------------------------------
// One-word commands and bridges.

struct TSimpleCase {
  std::string line;
  std::string sent;
  Events infos;
};

TEST_F(InstCrtTest, SimpleCommandsSendTheirWordAndCompleteOneStepAfterTheDot) {
  const TSimpleCase cases[] = {
      {"RS", "RS", {"info:Reset"}},
      {"NP", "NP", {}},
      {"FI", "FI", {}},
      {"FY", "FY", {"info: Starting "}},
      {"FU", "FU", {"info:End Update"}},
      {"Q0", "Q0", {"info:Start Bridge : 0"}},
      {"Q 5", "Q5", {"info:Start Bridge : 5"}},
      {"Z3", "Z3", {"info:End   Bridge3"}},
      {"Z 2 extra", "Z2", {"info:End   Bridge2"}},
  };
  for (const TSimpleCase& c : cases) {
    SCOPED_TRACE(c.line);
    TCrtHarness t;
    ASSERT_TRUE(t.Offer(c.line));
    t.ExpectEvents({"busy:1"});
    t.ExpectNothingSent();
    t.Pump();
    t.ExpectWire(c.sent);
    t.ExpectEvents(c.infos);
    t.Pump(3);  // no reply yet: keeps waiting, sends nothing more
    t.ExpectNothingSent();
    t.Answer(".");
    t.ExpectEvents({});
    EXPECT_TRUE(t.engine.Busy);
    t.Pump();
    t.ExpectDone();
    EXPECT_EQ(t.owner.RxBuffer, "");
  }
}

TEST_F(InstCrtTest, FirstCommandAnsweredIWithUnknownInstructionConsumesOneCharacter) {
  for (const std::string line :
       {"RS", "NP", "FI", "FY", "FU", "Q1", "Z1", "V1 0102", "UV 01", "T1 0102", "L0"}) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    ASSERT_TRUE(t.Offer(line));
    t.Pump();
    t.TakeEvents();
    t.Answer("I.");
    t.ExpectError("Instruction unknown");
    EXPECT_EQ(t.owner.RxBuffer, ".");
  }
}

TEST_F(InstCrtTest, NoiseBeforeTheAcknowledgementIsDroppedAndTheDotTaken) {
  ASSERT_TRUE(h.Offer("RS"));
  h.Pump();
  h.TakeEvents();
  h.Answer("X");
  h.Pump(5);
  EXPECT_TRUE(h.engine.Busy);
  EXPECT_EQ(h.owner.RxBuffer, "");
  h.ExpectEvents({});
  h.Answer(".");
  h.Pump();
  h.ExpectDone();
  EXPECT_EQ(h.engine.NoiseCount(), 1u);
}

// ---------------------------------------------------------------------------
// Acceptance.

TEST_F(InstCrtTest, BridgeAndLArgumentsOutsideTheirRangeAreNotTakenAndRaiseNothing) {
  for (const std::string line : {"Q6", "Q9", "QA", "Q 7", "L1", "L", "L A0", "L 10"}) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    EXPECT_FALSE(t.Offer(line));
    t.ExpectEvents({});
    t.ExpectNothingSent();
    EXPECT_EQ(t.engine.Instruction, line);  // left intact for the other engines
  }
  for (const std::string line : {"Q0", "Q5", "L0", "L 0", "L0x"}) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    EXPECT_TRUE(t.Offer(line));
  }
}

TEST_F(InstCrtTest, LinesOfOtherEnginesAreLeftAlone) {
  for (const std::string line : {"SYN", "PB BOOT.HEX", "P0 bank.hex", "D8", "F8", "rem", "",
                                 "Prompt x", "Wait 5", "rs", "S1", "X"}) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    EXPECT_FALSE(t.Offer(line));
    t.ExpectEvents({});
  }
}

TEST_F(InstCrtTest, KeywordsAreTestedInOrderAtTheFirstCharacter) {
  // "UV" is never a "V"; "Test" is a "T" whose component code is "e".
  ASSERT_TRUE(h.Offer("UV 0A0B"));
  h.Pump();
  h.ExpectWire("UV");
  TCrtHarness t;
  ASSERT_TRUE(t.Offer("Test 1"));
  t.Pump();
  t.ExpectWire("Te");
}

TEST_F(InstCrtTest, BusyEngineDoesNotLookAtANewInstruction) {
  ASSERT_TRUE(h.Offer("RS"));
  h.Pump();
  h.TakeWire();
  h.engine.Instruction = "NP";
  h.engine.Step();
  h.ExpectNothingSent();
  h.Answer(".");
  h.Pump();
  h.ExpectNothingSent();
  EXPECT_FALSE(h.engine.Busy);
}

// ---------------------------------------------------------------------------
// Version write, two-phase write, and read.

TEST_F(InstCrtTest, VersionWriteSendsCodeThenTextWithTwoProgressSteps) {
  ASSERT_TRUE(h.Offer("V 1   01 02 "));
  h.Pump();
  h.ExpectWire("V1");
  h.ExpectEvents({"busy:1"});
  h.Answer(".");
  h.ExpectWire("01 02");
  h.ExpectEvents({"max:2", "step"});
  h.Answer(".");
  h.ExpectEvents({"step"});
  h.Pump();
  h.ExpectDone();
  EXPECT_EQ(h.owner.progress, 2);
}

TEST_F(InstCrtTest, TwoPhaseWriteSendsBareKeywordThenTheWholeArgument) {
  ASSERT_TRUE(h.Offer("UV 1 0A0B"));
  h.Pump();
  h.ExpectWire("UV");
  h.Answer(".");
  h.ExpectWire("1 0A0B");
  h.Answer(".");
  h.Pump();
  h.ExpectDone();
  EXPECT_EQ(h.owner.max_progress, 2);
  EXPECT_EQ(h.owner.progress, 2);
}

TEST_F(InstCrtTest, VersionWriteRefusedAfterTheTextFails) {
  for (const std::string line : {"V1 0102", "UV 0102"}) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    t.Offer(line);
    t.Pump();
    t.Answer(".");
    t.Answer("X");
    t.ExpectError("Error while writing version number !!!");
    EXPECT_EQ(t.owner.RxBuffer, "");
  }
}

TEST_F(InstCrtTest, VersionReadEqualRaisesVersionSameWithTheCodeIndex) {
  struct {
    std::string line;
    int component;
  } const cases[] = {{"T0 0102", 0},  {"T9 0102", 9}, {"TA 0102", 10}, {"TC 0102", 11},
                     {"TE 0102", 12}, {"TB 0102", 0}, {"TD 0102", 0},  {"T  5  0102 ", 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    TCrtHarness t;
    ASSERT_TRUE(t.Offer(c.line));
    t.Pump();
    t.ExpectWire("T" + c.line.substr(c.line.find_first_not_of("T "), 1));
    t.Answer(".");
    t.Answer("0102.");
    t.Pump();
    t.ExpectEvents(
        {"busy:1", "max:2", "step", "same:" + std::to_string(c.component), "step", "busy:0"});
  }
}

TEST_F(InstCrtTest, VersionReadDifferentCompletesWithTwoStepsAndNoEvent) {
  // The comparison is exact: "abcd" is not "ABCD".
  const std::pair<std::string, std::string> cases[] = {{"T1 0102", "0103."}, {"T1 ABCD", "abcd."}};
  for (const auto& [line, reply] : cases) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    t.Offer(line);
    t.Pump();
    t.Answer(".");
    t.Answer(reply);
    t.Pump();
    t.ExpectEvents({"busy:1", "max:2", "step", "step", "busy:0"});
  }
}

// A text whose first "." is not the fifth character is never read as a version:
// it is dropped as noise up to that "." and the engine keeps waiting.
TEST_F(InstCrtTest, VersionReadWaitsUntilTheFirstDotIsTheFifthCharacter) {
  const std::pair<std::string, std::string> cases[] = {
      {"012.", ""},     {"01234.", ""}, {"0102 .", ""},   {".0102", "0102"},
      {"0102", "0102"}, {"0.102.", ""}, {"\r\n01", "01"},
  };
  for (const auto& [reply, left] : cases) {
    SCOPED_TRACE(reply);
    TCrtHarness t;
    t.Offer("T1 0102");
    t.Pump();
    t.Answer(".");
    t.TakeEvents();
    t.Answer(reply);
    t.Pump(5);
    EXPECT_TRUE(t.engine.Busy);
    EXPECT_EQ(t.owner.RxBuffer, left);
    EXPECT_EQ(t.engine.NoiseCount(), reply.size() - left.size());
    t.ExpectEvents({});
  }
}

TEST_F(InstCrtTest, VersionReadDropsTheWholeBufferOnceRead) {
  h.Offer("T1 0102");
  h.Pump();
  h.Answer(".");
  h.Answer("0102.X.I");
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(InstCrtTest, VersionReadAnsweredXFails) {
  h.Offer("T1 0102");
  h.Pump();
  h.Answer(".");
  h.Answer("X12.");
  h.ExpectError("Error while reading version number !!!");
  EXPECT_EQ(h.owner.RxBuffer, "12.");
}

TEST_F(InstCrtTest, VersionReadRepliesSplitInPiecesOfEverySize) {
  const std::string replies = ".0102.";
  ForEveryPieceSize(replies.size(), [&](size_t piece) {
    TCrtHarness t;
    t.Offer("T3 0102");
    t.Pump();
    t.ReplyInPieces(replies, piece);
    ASSERT_TRUE(t.RunToIdle());
    t.ExpectEvents({"busy:1", "max:2", "step", "same:3", "step", "busy:0"});
    EXPECT_EQ(t.owner.RxBuffer, "");
  });
}

// ---------------------------------------------------------------------------
// Ping.

TEST_F(InstCrtTest, PingReportsReadyOrCardErrorAndAlwaysCompletes) {
  struct {
    std::string reply;
    Events events;
  } const cases[] = {
      {".", {"info:Ping OK", "ready:3"}},
      {"X", {"info:Ping Error", "cardfail:3"}},
      {"I", {"info:Ping Error", "cardfail:3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    TCrtHarness t;
    ASSERT_TRUE(t.Offer("M3"));
    t.ExpectEvents({"busy:1"});
    t.Pump();
    t.ExpectWire("M3");
    t.ExpectEvents({"info:Ping Card 3"});
    t.Answer(c.reply + "Q");
    t.ExpectEvents(c.events);
    EXPECT_EQ(t.owner.RxBuffer, "Q");  // one character consumed
    t.Pump();
    t.ExpectDone();
  }
}

TEST_F(InstCrtTest, PingWithoutHandlersStillCompletes) {
  TInstCrt bare;  // no event assigned at all; BufIn written directly
  bare.Instruction = "M0";
  bare.Step();
  bare.Step();
  EXPECT_EQ(bare.BufOut, "M0");
  bare.BufIn = "I";
  bare.Step();
  bare.Step();
  EXPECT_FALSE(bare.Busy);
  EXPECT_EQ(bare.InfoText, "Ping Error");
  EXPECT_EQ(bare.BufIn, "");
}

// ---------------------------------------------------------------------------
// L, prompt, wait.

TEST_F(InstCrtTest, LSetsMaximumAtAcceptanceAndStepsAroundItsExchange) {
  ASSERT_TRUE(h.Offer("L 0"));
  h.ExpectEvents({"busy:1", "max:2"});
  h.Pump();
  h.ExpectEvents({"step"});
  h.ExpectWire("L0");
  h.Answer(".");
  h.ExpectEvents({"step"});
  h.Pump();
  h.ExpectDone();
}

TEST_F(InstCrtTest, PromptPostsTheTrimmedTextWithoutTalkingToTheDevice) {
  ASSERT_TRUE(h.Offer("prompt \t Insert the HD card  "));
  h.ExpectEvents({"busy:1"});
  h.Pump();
  h.ExpectEvents({"info:Insert the HD card"});
  h.Pump();
  h.ExpectDone();
  h.ExpectNothingSent();
}

TEST_F(InstCrtTest, WaitZeroEndsOnceOneMillisecondHasPassed) {
  const uint32_t start = h.clock().TickCount();
  ASSERT_TRUE(h.Offer("wait 0"));
  h.Pump();    // the wait begins now
  h.Pump(20);  // no time passes: never done
  EXPECT_TRUE(h.engine.Busy);
  h.clock().Advance(1);
  h.Pump();              // first step after one millisecond: the wait is over...
  h.clock().Set(start);  // ...so even "no time elapsed" no longer holds it back:
  h.Pump();              // the next step reports completion
  EXPECT_FALSE(h.engine.Busy);
  h.ExpectEvents({"busy:1", "busy:0"});
  h.ExpectNothingSent();
}

TEST_F(InstCrtTest, WaitNeedsStrictlyMoreThanItsDuration) {
  ASSERT_TRUE(h.Offer("wait  250 "));
  h.Pump();
  h.clock().Advance(250);
  h.Pump(5);
  EXPECT_TRUE(h.engine.Busy);
  h.clock().Advance(1);
  h.Pump(2);
  EXPECT_FALSE(h.engine.Busy);
}

TEST_F(InstCrtTest, WaitSurvivesTheTickCounterWrapping) {
  h.clock().Set(0xFFFFFFF0u);
  ASSERT_TRUE(h.Offer("wait 100"));
  h.Pump();
  h.clock().Advance(0x20);  // wrapped to 0x10; 32 ms elapsed
  h.Pump(5);
  EXPECT_TRUE(h.engine.Busy);
  h.clock().Advance(69);  // 101 ms
  h.Pump(2);
  EXPECT_FALSE(h.engine.Busy);
}

// ---------------------------------------------------------------------------
// Damaged script lines: a clear error quoting the line, nothing sent.

TEST_F(InstCrtTest, DamagedLinesFailQuotingTheLineBeforeAnythingIsSent) {
  const std::pair<std::string, std::string> cases[] = {
      {"wait abc", "Invalid wait time in line : wait abc"},
      {"wait -5", "Invalid wait time in line : wait -5"},
      {"wait", "Invalid wait time in line : wait"},
      {"wait 1.5", "Invalid wait time in line : wait 1.5"},
      {"wait 10ms", "Invalid wait time in line : wait 10ms"},
      {"wait 4294967296", "Invalid wait time in line : wait 4294967296"},
      {"waiting", "Invalid wait time in line : waiting"},
      {"V", "Missing argument in line : V"},
      {"T", "Missing argument in line : T"},
      {"Q", "Missing argument in line : Q"},
      {"Z  ", "Missing argument in line : Z  "},
      {"M", "Missing argument in line : M"},
      {"UV", "Missing argument in line : UV"},
      {"V1", "Missing version in line : V1"},
      {"MX", "Invalid card number in line : MX"},
      {"M-1", "Invalid card number in line : M-1"},
  };
  for (const auto& [line, message] : cases) {
    SCOPED_TRACE(line);
    TCrtHarness t;
    ASSERT_TRUE(t.Offer(line));
    t.Pump();
    t.ExpectError(message);
    t.ExpectNothingSent();
  }
}

// The longest wait, 2^32 - 1 ms, spans a wrap of the 32-bit tick counter; it still
// ends on the first Step after more than its duration.
TEST_F(InstCrtTest, TheLongestWaitEndsOnceMoreThanItsDurationHasPassed) {
  ASSERT_TRUE(h.Offer("wait 4294967295"));
  h.Pump();
  // 2^32 ms to go at the start, one more than the time left can hold: the most.
  EXPECT_EQ(h.engine.TimedWaitLeftMs(), std::optional<uint32_t>(0xFFFFFFFFu));
  h.clock().Advance(1000000);
  h.Pump(3);
  EXPECT_TRUE(h.engine.Busy);
  EXPECT_TRUE(h.engine.ErrorText.empty());
  EXPECT_EQ(h.engine.TimedWaitLeftMs(), std::optional<uint32_t>(0xFFFFFFFFu - 999999));
  h.clock().Advance(0xFFFFFFFFu - 1000000);  // exactly the duration, the clock wrapped
  h.Pump(3);
  EXPECT_TRUE(h.engine.Busy);
  EXPECT_EQ(h.engine.TimedWaitLeftMs(), std::optional<uint32_t>(1));
  h.clock().Advance(1);
  h.Pump(2);
  EXPECT_FALSE(h.engine.Busy);
  EXPECT_EQ(h.engine.TimedWaitLeftMs(), std::nullopt);
  h.ExpectEvents({"busy:1", "busy:0"});
}

// ---------------------------------------------------------------------------
// Error state and reset.

TEST_F(InstCrtTest, ErrorStateIgnoresStepUntilReset) {
  h.Offer("RS");
  h.Pump();
  h.Answer("I");
  h.TakeEvents();
  h.TakeWire();
  h.engine.Instruction = "NP";
  h.engine.Step();
  h.engine.Step();
  h.ExpectEvents({});
  h.ExpectNothingSent();
  h.engine.ResetEngine();
  EXPECT_TRUE(h.Offer("NP"));
  h.Pump();
  h.ExpectWire("NP");
}

TEST_F(InstCrtTest, ResetMidOperationRaisesNoEventAndReturnsToIdle) {
  h.Offer("V1 0102");
  h.Pump();
  h.Answer(".");
  h.TakeEvents();
  h.TakeWire();
  h.engine.ResetEngine();
  h.ExpectEvents({});
  EXPECT_FALSE(h.engine.Busy);
  EXPECT_EQ(h.engine.MaxProgress, 100);
  EXPECT_TRUE(h.Offer("FI"));
  h.Pump();
  h.ExpectWire("FI");
}

}  // namespace

namespace {

TEST(InstCrtParse, TheIdleStateReadsTheseLines) {
  const struct {
    const char* line;
    bool accepted;
    const char* keyword;
    const char* argument;
    const char* fault;
  } cases[] = {
      {"prompt  Insert the card ", true, "prompt", "Insert the card", ""},
      {"wait 250", true, "wait", "250", ""},
      {"wait x", true, "wait", "x", "Invalid wait time in line : wait x"},
      {"wait -1", true, "wait", "-1", "Invalid wait time in line : wait -1"},
      {"RS", true, "RS", "", ""},
      {"V8 0107", true, "V", "8 0107", ""},
      {"V8", true, "V", "8", "Missing version in line : V8"},
      {"V", true, "V", "", "Missing argument in line : V"},
      {"T0 0214", true, "T", "0 0214", ""},
      {"UV8 0107", true, "UV", "8 0107", ""},
      {"Q5", true, "Q", "5", ""},
      {"Q", true, "Q", "", "Missing argument in line : Q"},
      {"Q6", false, "", "", ""},
      {"Z3", true, "Z", "3", ""},
      {"M3", true, "M", "3", ""},
      {"Mx", true, "M", "x", "Invalid card number in line : Mx"},
      {"L0", true, "L", "0", ""},
      {"L1", false, "", "", ""},
      {"FI", true, "FI", "", ""},
      {"FU", true, "FU", "", ""},
      {"FY", true, "FY", "", ""},
      {"F3", false, "", "", ""},
      {"P0 x.hex", false, "", "", ""},
      {"REM", false, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const TCrtInstruction parsed = TInstCrt::ParseInstruction(c.line);
    EXPECT_EQ(parsed.Accepted, c.accepted);
    EXPECT_EQ(parsed.Keyword, c.keyword);
    EXPECT_EQ(parsed.Argument, c.argument);
    EXPECT_EQ(parsed.Fault, c.fault);
  }
  EXPECT_EQ(TInstCrt::ParseInstruction("wait 4294967295").WaitMs, 4294967295u);
}

}  // namespace
