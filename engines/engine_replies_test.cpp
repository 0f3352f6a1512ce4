// The replies every engine reads the same way, pinned across the four engines:
// a command the device does not know ("I" where an acknowledgement is awaited),
// noise in front of an acknowledgement, and the limit of 300 retransmissions ("R")
// per operation. Each case drives an engine from its instruction and checks the exact
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
#include "testing/pieces.h"
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
const char kTdoRecord[] = ":010008F30004\r\n";   // t.eff: SDR 8 TDI (00) TDO (5A)
const char kLongRecord[] = ":010010630686\r\n";  // l.eff: SDR 16 TDI (1234), a raw block
const char kEndRecord[] = ":00000001FF\r\n";     // c.eff: comments only

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
    dir.Write("t.eff", "SDR 8 TDI (00) TDO (5A);\r\n");
    dir.Write("l.eff", "SDR 16 TDI (1234);\r\n");
    dir.Write("c.eff", "// nothing to play\r\n");
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

// While an acknowledgement is awaited, a byte in front of it that is neither "."
// nor "I" is noise: dropped and counted, and the "." behind it is taken exactly as
// if it had come alone (same wire, same events, same text left), whatever the
// pieces the noise and the "." arrive in.
template <class Engine>
void CheckNoiseBeforeAcknowledgement(const TRefusalCase& c) {
  TRig<Engine> plain;
  plain.Reach(c.line, c.replies, c.refused);
  plain.h.TakeEvents();
  plain.h.Answer(".");
  plain.h.Pump(3);
  const std::string wire = plain.h.TakeWire();
  const Events events = plain.h.TakeEvents();
  for (const std::string noise : {"X", "R", "?", "\x1b", "XR\r\n\xff"}) {
    SCOPED_TRACE(c.line + " answered noise of " + std::to_string(noise.size()) + " bytes");
    ForEveryPieceSize(noise.size() + 1, [&](size_t piece) {
      TRig<Engine> rig;
      rig.Reach(c.line, c.replies, c.refused);
      rig.h.TakeEvents();
      rig.h.ReplyInPieces(noise + ".", piece);
      rig.h.Pump(3);
      rig.h.ExpectWire(wire);
      rig.h.ExpectEvents(events);
      EXPECT_EQ(rig.h.owner.RxBuffer, plain.h.owner.RxBuffer);
      EXPECT_EQ(rig.h.engine.NoiseCount(), noise.size());
    });
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

TEST(EngineReplies, NoiseWhereAnAcknowledgementIsAwaitedIsDroppedAndTheDotTaken) {
  for (const auto& c : kBootRefusals) CheckNoiseBeforeAcknowledgement<TProgBoot>(c);
  for (const auto& c : kPsdRefusals) CheckNoiseBeforeAcknowledgement<TProgPsd>(c);
  for (const auto& c : kJtagRefusals) CheckNoiseBeforeAcknowledgement<TProgJtag>(c);
  for (const auto& c : kCrtRefusals) CheckNoiseBeforeAcknowledgement<TInstCrt>(c);
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

// A waiting state, the reply it takes, and noise that no reply of that state can
// begin with (or, for the data replies, texts whose "." stands where no reply's
// does). Fed as noise + reply in pieces of every size, the engine must drop the
// noise, count every byte of it, and do exactly what the reply alone does.
struct TNoiseCase {
  std::string line;                  // the instruction
  std::vector<std::string> replies;  // answers that reach the waiting state
  std::string last_sent;             // what the state waits for the answer to
  std::vector<std::string> noises;
  std::string reply;
};

template <class Engine>
void CheckNoiseRule(const TNoiseCase& c) {
  TRig<Engine> plain;
  plain.Reach(c.line, c.replies, c.last_sent);
  plain.h.TakeEvents();
  plain.h.Answer(c.reply);
  plain.h.Pump(3);
  const std::string wire = plain.h.TakeWire();
  const Events events = plain.h.TakeEvents();
  for (const std::string& noise : c.noises) {
    const std::string text = noise + c.reply;
    SCOPED_TRACE(c.line + " after " + c.last_sent + ": noise \"" + noise + "\"");
    ForEveryPieceSize(text.size(), [&](size_t piece) {
      TRig<Engine> rig;
      rig.Reach(c.line, c.replies, c.last_sent);
      rig.h.TakeEvents();
      rig.h.ReplyInPieces(text, piece);
      rig.h.Pump(3);
      rig.h.ExpectWire(wire);
      rig.h.ExpectEvents(events);
      EXPECT_EQ(rig.h.owner.RxBuffer, plain.h.owner.RxBuffer);
      EXPECT_EQ(rig.h.engine.NoiseCount(), noise.size());
    });
  }
}

const std::string kEsc = "\x1b";

TEST(EngineReplies, EveryWaitingStateDropsWhatNoReplyCanBeginWith) {
  const TNoiseCase boot[] = {
      {"SYN", {"."}, "37", {"?I\r\n", "R"}, "."},
      {"SYN", {".", "."}, "37", {"....", "?\r\n", "01.", "0123456789ABCDEF."}, "6A5C01A7."},
      {"PB b.hex", {"."}, "PB", {"?RI\r\n"}, "."},
      {"PB b.hex", {".", "."}, kBootLine0, {"?\x01", "\xff\xfe"}, "."},
      {"PB b.hex", {".", "."}, kBootLine0, {"?"}, "R"},
      {"PB b.hex", {".", ".", ".", ".", "."}, ":0200000CDF1201\r\n", {"I?"}, "."},
  };
  const TNoiseCase psd[] = {
      {"P3 f.hex", {"."}, "P3", {"IR?"}, "."},
      {"P3 f.hex", {".", "."}, kLine0, {"?\r\n"}, "."},
      {"PE f.hex", {"."}, kLine0, {"?"}, "."},
      {"P3 f.hex", {".", ".", ".", ".", "."}, ":0200000C7F1261\r\n", {"I"}, "."},
      {"D3", {"."}, "D3", {"\r\n", ".", "4.", "ABC.", "\x01."}, "4A."},
  };
  const TNoiseCase crt[] = {
      {"V1 0102", {"."}, "0102", {"?IR"}, "."},
      {"T1 0102", {"."}, "T1", {"01.", "\r\n", "012345.", "."}, "0102."},
      {"M1", {}, "M1", {"?R\r\n"}, "."},
  };
  const TNoiseCase jtag[] = {
      {"D8", {"."}, "D8", {".", "?\r\n", "G"}, "FFFFFFFF1A5C80FF."},
      {"P8 f.eff", {"."}, kSirRecord, {"?1\x1b"}, "."},
      {"P8 t.eff", {"."}, kTdoRecord, {"?!", "\r\n"}, "5A5A" + kEsc + "."},
      {"P8 l.eff", {"."}, kLongRecord, {"?", kEsc + "?", "1"}, kEsc + "."},
      {"P8 c.eff", {"."}, kEndRecord, {"?1\x1b"}, "."},
  };
  for (const auto& c : boot) CheckNoiseRule<TProgBoot>(c);
  for (const auto& c : psd) CheckNoiseRule<TProgPsd>(c);
  for (const auto& c : crt) CheckNoiseRule<TInstCrt>(c);
  for (const auto& c : jtag) CheckNoiseRule<TProgJtag>(c);
}

// A file line the device cannot take (it answers "I" for each character of a line
// it does not read as a record): the upload ends at the first "I" with the file,
// the 1-based line and the reason, and nothing more is sent.
TEST(EngineReplies, AFileLineAnsweredIFailsTheUploadAtOnceNamingTheLine) {
  struct TCase {
    std::string line;
    std::vector<std::string> replies;
    std::string last_sent;
    int line_number;
  };
  const TCase cases[] = {
      {"PB b.hex", {".", "."}, kBootLine0, 1}, {"PB b.hex", {".", ".", ".", "."}, kEndRecord, 2},
      {"P3 f.hex", {".", "."}, kLine0, 1},     {"P3 f.hex", {".", ".", ".", "."}, kEndRecord, 2},
      {"PE f.hex", {"."}, kLine0, 1},          {"PE f.hex", {".", "R", ".", "."}, kEndRecord, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.line + " after " + std::to_string(c.replies.size()) + " replies");
    auto check = [&](auto& rig) {
      rig.Reach(c.line, c.replies, c.last_sent);
      rig.h.TakeEvents();
      const std::string refusal(c.last_sent.size() - 2, 'I');
      rig.h.Answer(refusal);
      rig.h.Pump(3);
      rig.h.ExpectNothingSent();
      rig.h.ExpectError(rig.dir.Dir() + c.line.substr(3) + " line " +
                        std::to_string(c.line_number) +
                        ": the device cannot take this line (it answered \"I\")");
      EXPECT_EQ(rig.h.owner.RxBuffer, refusal.substr(1));
    };
    if (c.line[1] == 'B') {
      TRig<TProgBoot> rig;
      check(rig);
    } else {
      TRig<TProgPsd> rig;
      check(rig);
    }
  }
}

}  // namespace
