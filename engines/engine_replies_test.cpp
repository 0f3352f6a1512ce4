// The replies every engine reads the same way, pinned across the four engines:
// a command the device does not know ("I" where an acknowledgement is awaited),
// text that is no acknowledgement, and the limit of 300 retransmissions ("R") per
// operation. Each case drives an engine from its instruction and checks the exact
// wire, the exact events in order and what is left in the receive accumulator.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "engines/inst_crt.h"
#include "engines/ms_clock.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/testing/engine_harness.h"
#include "testing/temp_dir.h"

namespace {

using Events = std::vector<std::string>;

// A bank image (upper banks, 8000-FFFF) and a boot image (4000-5FFF).
const char kHexFile[] = ":01800000116E\r\n:00000001FF\r\n";
const char kLine0[] = ":01800000116E\r\n";
const char kBootFile[] = ":0140000011AE\r\n:00000001FF\r\n";
const char kBootLine0[] = ":0140000011AE\r\n";
const char kEffectFile[] = "SIR 8 TDI (FE);\r\n";
const char kSirRecord[] = ":01000862FE97\r\n";

// The harness of an engine that takes a clock gets the rig's fake clock.
template <class Engine>
class TRigHarness : public TEngineHarness<Engine> {
 public:
  explicit TRigHarness(TFakeClock& clock) requires std::is_constructible_v<Engine, TMsClock&>
      : TEngineHarness<Engine>(clock) {}
  explicit TRigHarness(TFakeClock&) requires(!std::is_constructible_v<Engine, TMsClock&>) {}
};

// One engine on a fake clock, allowed to update, in a folder holding "f.hex",
// "b.hex" and "f.eff".
template <class Engine>
class TRig {
 public:
  TRig() : h(clock) {
    dir.Write("f.hex", kHexFile);
    dir.Write("b.hex", kBootFile);
    dir.Write("f.eff", kEffectFile);
    h.engine.CurentDir = dir.Dir();
    h.engine.UpdateAllowed = true;
  }

  // Offers `line`, pumps once, answers each of `replies` (reply, one Step), then
  // lets the pause before an Effect file run out (one more Step). What was sent
  // last must be `last_sent`; the wire is then forgotten.
  void Reach(const std::string& line, const std::vector<std::string>& replies,
             const std::string& last_sent) {
    ASSERT_TRUE(h.Offer(line)) << line;
    h.Pump();
    for (const std::string& r : replies) h.Answer(r);
    clock.Advance(TProgJtag::kPauseMs);
    h.Pump();
    ASSERT_FALSE(h.owner.Sent.empty());
    EXPECT_EQ(h.owner.Sent.back(), last_sent);
    h.TakeWire();
  }

  TFakeClock clock;
  TTempDir dir;
  TRigHarness<Engine> h;
};

struct TRefusalCase {
  std::string line;                  // the instruction
  std::vector<std::string> replies;  // acknowledgements before the refused command
  std::string refused;               // the command the device answers "I" to
  Events events;                     // every event from the offer to the error
};

// The device answers "I." to `refused`: exactly one character is consumed, nothing
// more is sent, and the events end the operation with "Instruction unknown".
template <class Engine>
void CheckRefusal(const TRefusalCase& c) {
  SCOPED_TRACE(c.line);
  TRig<Engine> rig;
  rig.Reach(c.line, c.replies, c.refused);
  rig.h.Answer("I.");
  rig.h.Pump(3);
  rig.h.ExpectNothingSent();
  rig.h.ExpectEvents(c.events);
  EXPECT_EQ(rig.h.engine.ErrorText, "Instruction unknown");
  EXPECT_FALSE(rig.h.engine.Busy);
  EXPECT_EQ(rig.h.owner.RxBuffer, ".");
}

// While an acknowledgement is awaited, other text is left where it is.
template <class Engine>
void CheckNoAcknowledgement(const TRefusalCase& c) {
  for (const std::string text : {"X.", "R.", "?.", "\x1b."}) {
    SCOPED_TRACE(c.line + " answered " + text);
    TRig<Engine> rig;
    rig.Reach(c.line, c.replies, c.refused);
    rig.h.TakeEvents();
    rig.h.Answer(text);
    rig.h.Pump(3);
    rig.h.ExpectNothingSent();
    rig.h.ExpectEvents({});
    EXPECT_TRUE(rig.h.engine.Busy);
    EXPECT_EQ(rig.h.owner.RxBuffer, text);
  }
}

const Events kBootEvents = {"busy:1", "max:4", "busy:0", "error:Instruction unknown"};
const Events kRefused = {"busy:1", "busy:0", "error:Instruction unknown"};
const Events kJtagEvents = {"busy:1", "error:Instruction unknown", "busy:0"};

const TRefusalCase kBootRefusals[] = {{"PB b.hex", {}, "PB", kBootEvents}};
const TRefusalCase kPsdRefusals[] = {
    {"P3 f.hex", {}, "P3", kRefused},
    {"PE f.hex", {}, "PE", kRefused},
    {"D3", {}, "D3", kRefused},
    {"F3", {}, "F3", kRefused},
};
const TRefusalCase kJtagRefusals[] = {
    {"D8", {}, "D8", kJtagEvents},
    {"P8 f.eff", {}, "P8", kJtagEvents},
    {"F8", {}, "F8", kJtagEvents},
};
const TRefusalCase kCrtRefusals[] = {
    {"RS", {}, "RS", {"busy:1", "info:Reset", "busy:0", "error:Instruction unknown"}},
    {"NP", {}, "NP", kRefused},
    {"FI", {}, "FI", kRefused},
    {"FY", {}, "FY", {"busy:1", "info: Starting ", "busy:0", "error:Instruction unknown"}},
    {"FU", {}, "FU", {"busy:1", "info:End Update", "busy:0", "error:Instruction unknown"}},
    {"Q1", {}, "Q1", {"busy:1", "info:Start Bridge : 1", "busy:0", "error:Instruction unknown"}},
    {"Z1", {}, "Z1", {"busy:1", "info:End   Bridge1", "busy:0", "error:Instruction unknown"}},
    {"V1 0102", {}, "V1", kRefused},
    {"UV 01", {}, "UV", kRefused},
    {"T1 0102", {}, "T1", kRefused},
    {"L0", {}, "L0", {"busy:1", "max:2", "step", "busy:0", "error:Instruction unknown"}},
};

TEST(EngineReplies, EveryRefusedCommandFailsWithInstructionUnknownAndConsumesOneCharacter) {
  for (const auto& c : kBootRefusals) CheckRefusal<TProgBoot>(c);
  for (const auto& c : kPsdRefusals) CheckRefusal<TProgPsd>(c);
  for (const auto& c : kJtagRefusals) CheckRefusal<TProgJtag>(c);
  for (const auto& c : kCrtRefusals) CheckRefusal<TInstCrt>(c);
}

TEST(EngineReplies, OtherTextWhereAnAcknowledgementIsAwaitedStaysInTheBuffer) {
  for (const auto& c : kBootRefusals) CheckNoAcknowledgement<TProgBoot>(c);
  for (const auto& c : kPsdRefusals) CheckNoAcknowledgement<TProgPsd>(c);
  for (const auto& c : kJtagRefusals) CheckNoAcknowledgement<TProgJtag>(c);
  for (const auto& c : kCrtRefusals) CheckNoAcknowledgement<TInstCrt>(c);
}

struct TRetransmissionCase {
  std::string line;                  // the instruction
  std::vector<std::string> replies;  // up to the first record sent
  std::string resent;                // what each "R" brings back
  Events failure;                    // the events of the 301st "R"
  std::string left;                  // what "R?" leaves in the buffer
};

// 300 "R" are each answered by the record sent last; the 301st sends nothing and
// fails the operation with "Too Many Transmission Error !!!".
template <class Engine>
void CheckRetransmissionLimit(const TRetransmissionCase& c) {
  SCOPED_TRACE(c.line);
  TRig<Engine> rig;
  rig.Reach(c.line, c.replies, c.resent);
  rig.h.TakeEvents();
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    rig.h.Answer("R");
    expected += c.resent;
  }
  EXPECT_EQ(rig.h.TakeWire(), expected);
  EXPECT_EQ(rig.h.engine.ErrorCount, 300);
  EXPECT_TRUE(rig.h.engine.Busy);
  rig.h.ExpectEvents({});
  rig.h.Answer("R?");
  rig.h.Pump(3);
  rig.h.ExpectNothingSent();
  rig.h.ExpectEvents(c.failure);
  EXPECT_EQ(rig.h.engine.ErrorCount, 301);
  EXPECT_EQ(rig.h.owner.RxBuffer, c.left);
}

const Events kEndsFirst = {"busy:0", "error:Too Many Transmission Error !!!"};
const Events kReportsFirst = {"error:Too Many Transmission Error !!!", "busy:0"};

TEST(EngineReplies, ThreeHundredRetransmissionsAreAnsweredAndThe301stFails) {
  // The upload engines consume the "R"; the JTAG engine drops the whole reply.
  CheckRetransmissionLimit<TProgBoot>({"PB b.hex", {".", "."}, kBootLine0, kEndsFirst, "?"});
  CheckRetransmissionLimit<TProgPsd>({"P3 f.hex", {".", "."}, kLine0, kEndsFirst, "?"});
  CheckRetransmissionLimit<TProgPsd>({"PE f.hex", {"."}, kLine0, kEndsFirst, "?"});
  CheckRetransmissionLimit<TProgJtag>({"P8 f.eff", {"."}, kSirRecord, kReportsFirst, ""});
}

}  // namespace
