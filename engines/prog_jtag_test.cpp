#include "engines/prog_jtag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engines/ms_clock.h"
#include "engines/testing/engine_harness.h"
#include "testing/held_file.h"
#include "testing/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define QELT_HEAP_COUNTER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QELT_HEAP_COUNTER 1
#endif
#endif
#ifdef QELT_HEAP_COUNTER
// The sanitizer runtime's heap counter (declared here: not every compiler ships the
// header that declares it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

namespace fs = std::filesystem;
using TJtagState = TProgJtag::TJtagState;

const std::string kEsc = "\x1b";
const std::string kEnd = ":00000001FF\r\n";

class ProgJtagTest : public ::testing::Test {
 protected:
  ProgJtagTest() : h(clock) {
    h.engine.CurentDir = dir.Dir();
    h.engine.UpdateAllowed = true;
  }

  void WriteEffect(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    dir.Write(name, text);
  }

  // Offers "P" + code + name, acknowledges it and waits out the pause (and the
  // file's check, a slice per Step): the first statement (or the end record) has
  // just gone out and is the wire's only content.
  void StartPlay(const std::string& name, const std::string& code = "8") {
    ASSERT_TRUE(h.Offer("P" + code + " " + name));
    h.Pump();
    h.ExpectWire("P" + code);
    h.Answer(".");
    clock.Advance(TProgJtag::kPauseMs);
    h.Pump();
    for (int i = 0; i < 1000 && h.engine.State() == TJtagState::JTAG_PAUSE; ++i) h.Pump();
  }

  // This engine reports first: OnError, then OnChangeBusy(false); it halts with
  // the Effect file closed.
  void ExpectFailure(const std::string& text) {
    std::vector<std::string> events = h.TakeEvents();
    ASSERT_GE(events.size(), 2u) << text;
    EXPECT_EQ(events[events.size() - 2], "error:" + text);
    EXPECT_EQ(events.back(), "busy:0");
    EXPECT_EQ(h.engine.ErrorText, text);
    EXPECT_EQ(h.engine.State(), TJtagState::JTAG_ERROR);
    EXPECT_FALSE(h.engine.Busy);
    EXPECT_FALSE(h.engine.EffectFileOpen());
  }

  TFakeClock clock;
  TTempDir dir;
  TEngineHarness<TProgJtag> h;
};

TEST_F(ProgJtagTest, AcceptsOnlyItsComponentCodes) {
  struct {
    const char* line;
    bool accepted;
    TJtagState state;
  } cases[] = {
      {"D8", true, TJtagState::JTAG_ID_SEND},
      {"D 8", true, TJtagState::JTAG_ID_SEND},
      {"D8 x", true, TJtagState::JTAG_ID_SEND},
      {"D9", true, TJtagState::JTAG_ID_SEND},
      {"DA", true, TJtagState::JTAG_ID_SEND},
      {"DC", true, TJtagState::JTAG_ID_SEND},
      {"P8 f.eff", true, TJtagState::JTAG_PLAY_CHECK},
      {"F9", true, TJtagState::JTAG_FINISH_SEND},
      {"FC", true, TJtagState::JTAG_FINISH_SEND},
      {"D7", false, TJtagState::JTAG_IDLE},
      {"D0", false, TJtagState::JTAG_IDLE},
      {"DB", false, TJtagState::JTAG_IDLE},
      {"DE", false, TJtagState::JTAG_IDLE},
      {"D", false, TJtagState::JTAG_IDLE},
      {"d8", false, TJtagState::JTAG_IDLE},
      {"PE file.hex", false, TJtagState::JTAG_IDLE},
      {"P3 image.hex", false, TJtagState::JTAG_IDLE},
      {"PB BOOT.HEX", false, TJtagState::JTAG_IDLE},
      {"FI", false, TJtagState::JTAG_IDLE},
      {"F0", false, TJtagState::JTAG_IDLE},
      {"RS", false, TJtagState::JTAG_IDLE},
  };
  for (const auto& c : cases) {
    h.engine.ResetEngine();
    h.TakeEvents();
    EXPECT_EQ(h.Offer(c.line), c.accepted) << c.line;
    EXPECT_EQ(h.engine.State(), c.state) << c.line;
    h.ExpectEvents(c.accepted ? std::vector<std::string>{"busy:1"} : std::vector<std::string>{});
    h.ExpectNothingSent();  // work starts at the next Step
  }
}

TEST_F(ProgJtagTest, PlaysAFileWhoseNameHasBlanks) {
  WriteEffect("cpld image", {"ENDIR IDLE;"});
  StartPlay("cpld image");
  h.ExpectWire(":0100000601F8\r\n");
  EXPECT_TRUE(h.engine.EffectFileOpen());
  EXPECT_EQ(h.engine.LineCount, 1);
  EXPECT_EQ(h.engine.LineNumber, 1);
  EXPECT_EQ(h.engine.Component, "8");
}

TEST_F(ProgJtagTest, MissingFileIsNamedInTheError) {
  h.engine.CurentDir = "C:\\upd\\KEYB3\\";
  ASSERT_TRUE(h.Offer("PA logic"));
  h.Pump();
  h.ExpectWire("PA");
  h.Answer(".");
  h.ExpectNothingSent();
  ExpectFailure("C:\\upd\\KEYB3\\logic File not found !!!");
  h.Pump();
  h.ExpectNothingSent();
}

TEST_F(ProgJtagTest, PauseBeforeTheFirstStatementIsTimedOnTheClock) {
  WriteEffect("one.eff", {"// header", "STATE RESET IDLE;"});
  ASSERT_TRUE(h.Offer("P9 one.eff"));
  h.Pump();
  h.Answer(".");
  h.ExpectWire("P9");
  h.ExpectEvents({"busy:1", "max:2"});
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_PAUSE);
  clock.Advance(999);
  h.Pump(10);  // Step returns at once and sends nothing
  h.ExpectNothingSent();
  clock.Advance(1);
  h.Pump();
  h.ExpectWire(":020000050001F8\r\n");
  EXPECT_EQ(h.engine.LineNumber, 2);
}

TEST_F(ProgJtagTest, PauseSurvivesTheTickCounterWrapping) {
  WriteEffect("one.eff", {"ENDDR DRPAUSE;"});
  clock.Set(0xFFFFFF00u);
  ASSERT_TRUE(h.Offer("P8 one.eff"));
  h.Pump();
  h.Answer(".");
  clock.Advance(999);  // wraps past zero
  h.Pump();
  h.ExpectWire("P8");
  clock.Advance(1);
  h.Pump();
  h.ExpectWire(":0100000706F2\r\n");
}

TEST_F(ProgJtagTest, CommentOnlyFileSendsTheEndRecordRightAfterThePause) {
  WriteEffect("comments.eff", {"// first", "TRST OFF;", "  // indented", "STATE IDLE"});
  StartPlay("comments.eff");
  h.ExpectWire(kEnd);
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_END_WAIT);
  h.Answer(".");
  h.Pump();
  h.ExpectEvents({"busy:1", "max:4", "busy:0"});
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_IDLE);
  EXPECT_FALSE(h.engine.EffectFileOpen());
}

TEST_F(ProgJtagTest, EndRecordVerdicts) {
  struct {
    const char* reply;
    const char* error;  // "" for success
  } cases[] = {{".", ""},
               {"X", "Instruction unknown"},
               {"R", "Too Many Transmission Error !!!"},
               {"\x1b.", ""}};
  WriteEffect("empty-ish.eff", {"// nothing"});
  for (const auto& c : cases) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    StartPlay("empty-ish.eff");
    h.ExpectWire(kEnd);
    h.TakeEvents();
    h.Answer(c.reply);
    h.Pump();
    h.ExpectNothingSent();  // the end record is never resent
    if (std::string(c.error).empty()) {
      h.ExpectDone();
    } else {
      ExpectFailure(c.error);
    }
    EXPECT_EQ(h.owner.RxBuffer, "");
  }
}

// The whole file is checked during the pause: a line the device could never take
// stops the playback before its first statement, with the file, line and reason.
TEST_F(ProgJtagTest, ALineThatIsNoStatementStopsThePlaybackBeforeTheFirstStatement) {
  WriteEffect("seven.eff",
              {"ENDIR IDLE;", "ENDDR IDLE;", "STATE RESET;", "STATE IDLE;", "SIR 8 TDI (FE);",
               "RUNTEST 1000 TCK;", "FREQUENCY 1E6 HZ;", "SIR 8 TDI (FF);"});
  ASSERT_TRUE(h.Offer("P8 seven.eff"));
  h.Pump();
  h.ExpectWire("P8");
  h.Answer(".");
  h.Pump();  // the first Step of the pause checks the file
  h.ExpectNothingSent();
  EXPECT_EQ(h.owner.step_count, 0);
  ExpectFailure(dir.Dir() + "seven.eff:7: FREQUENCY is not part of the Effect language !!!");
}

// A file checked whole is read again while it plays; a line changed in between is
// not sent either, and the error names it the same way.
TEST_F(ProgJtagTest, ALineChangedAfterTheCheckIsNotSent) {
  // 400 comment lines (80 KB) put the changed line beyond what the playback has
  // read ahead when the change is made.
  std::vector<std::string> lines = {"SIR 8 TDI (FE);"};
  lines.insert(lines.end(), 400, "// " + std::string(195, 'x'));
  lines.push_back("SIR 8 TDI (FF);");
  const size_t changed_at = 17 + 400 * 200 + 17;  // bytes before line 403
  lines.push_back("SIR 8 TDI (01);");
  WriteEffect("changed.eff", lines);
  StartPlay("changed.eff");
  h.ExpectWire(":01000862FE97\r\n");
  {
    std::fstream f(dir.path() / "changed.eff", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(changed_at));
    f << "PIO (HHHH);    ";
    ASSERT_TRUE(f.good());
  }
  h.Answer(".");
  h.ExpectWire(":01000862FF96\r\n");
  h.TakeEvents();
  h.Answer(".");
  h.ExpectNothingSent();
  ExpectFailure(dir.Dir() + "changed.eff:403: PIO is not part of the Effect language !!!");
}

TEST(ProgJtagParse, TheIdleStateReadsTheseLines) {
  using K = TJtagInstruction::TKind;
  const struct {
    const char* line;
    K kind;
    char code;
    const char* file;
  } cases[] = {
      {"P8 cpld.svf", K::JTAG_PLAY, '8', "cpld.svf"},
      {"P A  cpld image.svf ", K::JTAG_PLAY, 'A', "cpld image.svf"},
      {"PC", K::JTAG_PLAY, 'C', ""},
      {"D9", K::JTAG_ID, '9', ""},
      {"FC", K::JTAG_FINISH, 'C', ""},
      {"P3 image.hex", K::JTAG_NONE, 0, ""},
      {"PE edid.hex", K::JTAG_NONE, 0, ""},
      {"DB", K::JTAG_NONE, 0, ""},
      {"FI", K::JTAG_NONE, 0, ""},
      {"p8 x.svf", K::JTAG_NONE, 0, ""},
      {"", K::JTAG_NONE, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const TJtagInstruction parsed = TProgJtag::ParseInstruction(c.line);
    EXPECT_EQ(parsed.Kind, c.kind);
    EXPECT_EQ(parsed.Code, c.code);
    EXPECT_EQ(parsed.File, c.file);
  }
}

TEST_F(ProgJtagTest, ProgressCountsCompletedStatementsAgainstTheLineCount) {
  WriteEffect("p.eff", {"// a", "ENDIR IDLE;", "// b", "ENDDR IDLE;"});
  StartPlay("p.eff");
  h.Answer(".");
  h.Answer(".");
  h.Answer(".");
  h.Pump();
  h.ExpectEvents({"busy:1", "max:4", "step", "step", "busy:0"});
}

TEST_F(ProgJtagTest, IdentifierReading) {
  struct {
    const char* instruction;
    const char* reply;  // as the device sends it, before its "."
    const char* info;
  } cases[] = {
      // Reversed: 1A2B3C4D 5E6F7081 0A0B0C0D 01020304; the first half is reported.
      {"D8", "040302010D0C0B0A81706F5E4D3C2B1A", "ID Number : [1A2B3C4D][5E6F7081]"},
      // Component C always reports the second half.
      {"DC", "040302010D0C0B0A81706F5E4D3C2B1A", "ID Number : [0A0B0C0D][01020304]"},
      // Sixteen F digits first: the chain's first place is empty, the second half counts.
      {"D9", "81706F5E4D3C2B1AFFFFFFFFFFFFFFFF", "ID Number : [1A2B3C4D][5E6F7081]"},
      // Shorter texts give what there is.
      {"DA", "4D3C2B1A", "ID Number : [1A2B3C4D][]"},
      {"DC", "4D3C2B1A", "ID Number : [][]"},
  };
  for (const auto& c : cases) {
    h.engine.ResetEngine();
    h.owner.RxBuffer.clear();
    h.TakeEvents();
    ASSERT_TRUE(h.Offer(c.instruction));
    h.Pump();
    h.ExpectWire(c.instruction);
    h.Answer(".");
    h.ReplyInPieces(std::string(c.reply) + ".", 5);
    h.Pump();
    h.ExpectEvents(
        {"busy:1", "info:Extract JTAG Devices ID", std::string("info:") + c.info, "busy:0"});
    EXPECT_EQ(h.owner.RxBuffer, "");
  }
}

TEST_F(ProgJtagTest, IdentifierReplyStartingWithADotIsNotRead) {
  ASSERT_TRUE(h.Offer("D8"));
  h.Pump();
  h.Answer(".");
  h.Answer(".1234");  // the "." in front is noise; the text behind it may be the reply
  h.Pump(3);
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_ID_DATA);
  EXPECT_EQ(h.owner.RxBuffer, "1234");
  EXPECT_EQ(h.engine.NoiseCount(), 1u);
}

TEST_F(ProgJtagTest, DeviceRefusesTheCommand) {
  WriteEffect("f.eff", {"ENDIR IDLE;"});
  for (const char* instruction : {"D8", "P8 f.eff", "F8"}) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.TakeEvents();
    ASSERT_TRUE(h.Offer(instruction));
    h.Pump();
    h.TakeWire();
    h.Answer("I");
    h.ExpectNothingSent();
    ExpectFailure("Instruction unknown");
    EXPECT_EQ(h.owner.RxBuffer, "");
  }
}

TEST_F(ProgJtagTest, ClosingCommand) {
  ASSERT_TRUE(h.Offer("F A"));
  h.Pump();
  h.ExpectWire("FA");
  h.Answer(".");
  h.Pump();
  h.ExpectDone();
}

TEST_F(ProgJtagTest, UpdateNotAllowedLeavesTheEngineIdle) {
  WriteEffect("f.eff", {"ENDIR IDLE;"});
  h.engine.UpdateAllowed = false;
  ASSERT_TRUE(h.Offer("P8 f.eff"));
  h.Pump();
  h.ExpectNothingSent();
  std::vector<std::string> events = h.TakeEvents();
  EXPECT_EQ(events, (std::vector<std::string>{"busy:1", "error:Update Not Allowed !!!", "busy:0"}));
  h.engine.Step();
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_IDLE);
  EXPECT_FALSE(h.engine.Busy);
  EXPECT_TRUE(h.Offer("D8"));
}

TEST_F(ProgJtagTest, EmptyFileFailsAfterThePause) {
  dir.Write("empty.eff", "");
  ASSERT_TRUE(h.Offer("P8 empty.eff"));
  h.Pump();
  h.Answer(".");
  h.TakeEvents();
  h.ExpectWire("P8");
  h.Pump();
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_PAUSE);
  clock.Advance(1000);
  h.Pump();
  h.ExpectNothingSent();
  ExpectFailure("Effect File Empty !!!");
}

TEST_F(ProgJtagTest, DeviceErrorNamesTheLine) {
  WriteEffect("x.eff", {"// one", "ENDIR IDLE;", "SIR 8 TDI (FE);"});
  StartPlay("x.eff");
  h.Answer(".");
  h.Answer("garbage X and more");
  ExpectFailure("Error while executing Effect file line : 3");
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(ProgJtagTest, RetransmissionResendsTheSameRecord) {
  WriteEffect("r.eff", {"SIR 8 TDI (FE);", "ENDIR IDLE;"});
  StartPlay("r.eff");
  h.ExpectWire(":01000862FE97\r\n");
  h.Answer("R");
  h.ExpectWire(":01000862FE97\r\n");
  h.Answer(".");
  h.ExpectWire(":0100000601F8\r\n");
  EXPECT_EQ(h.engine.ErrorCount, 1);  // not cleared between statements
  EXPECT_EQ(h.engine.LineNumber, 2);
}

TEST_F(ProgJtagTest, ThreeHundredRetransmissionsPerPlaybackDeviceAndChecksumTogether) {
  WriteEffect("t.eff", {"ENDIR IDLE;", "SDR 8 TDI (00) TDO (5A);"});
  StartPlay("t.eff");
  for (int i = 0; i < 150; ++i) h.Answer("R");
  h.Answer(".");
  h.TakeWire();
  for (int i = 0; i < 150; ++i) h.Answer("5A00" + kEsc + ".");  // wrong checksum
  EXPECT_EQ(h.TakeWire(), std::string(150, 'R'));
  EXPECT_EQ(h.engine.ErrorCount, 300);
  EXPECT_TRUE(h.engine.Busy);
  h.TakeEvents();
  h.Answer("R");
  h.ExpectNothingSent();
  ExpectFailure("Too Many Transmission Error !!!");
}

TEST_F(ProgJtagTest, CapturedDataWithWrongChecksumIsAskedAgain) {
  WriteEffect("tdo.eff", {"SDR 8 TDI (00) TDO (5A);"});
  StartPlay("tdo.eff");
  h.ExpectWire(":010008F30004\r\n");
  h.Answer("5A00" + kEsc + ".");
  h.ExpectWire("R");
  EXPECT_EQ(h.engine.ErrorCount, 1);
  EXPECT_EQ(h.owner.RxBuffer, "");
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_PLAY);
  h.Answer("5A5A" + kEsc + ".");
  h.ExpectWire(".");
  h.Answer(".");  // the device completes the statement
  h.ExpectWire(kEnd);
  EXPECT_EQ(h.owner.step_count, 1);
}

TEST_F(ProgJtagTest, CorrectChecksumButWrongDataAcknowledgesThenFails) {
  WriteEffect("tdo.eff", {"// check", "SDR 8 TDI (00) TDO (5A);"});
  StartPlay("tdo.eff");
  h.TakeWire();
  h.TakeEvents();
  h.Answer("5B5B" + kEsc + ".");
  h.ExpectWire(".");
  ExpectFailure("Error while executing Effect file line : 2");
}

TEST_F(ProgJtagTest, MaskIgnoresMaskedBits) {
  struct {
    const char* line;
    std::string reply;
    bool matches;
  } cases[] = {
      {"SDR 8 TDI (00) TDO (5A) MASK (F0);", "5F5F" + kEsc + ".", true},
      {"SDR 8 TDI (00) TDO (5A) MASK (F0);", "6A6A" + kEsc + ".", false},
      {"SDR 8 TDI (00) TDO (5A);", "5F5F" + kEsc + ".", false},
      // Two bytes: captured bits come in the same reversed order as TdoHex (3412).
      {"SDR 16 TDI (0000) TDO (1234) MASK (FF00);", "771289" + kEsc + ".", true},
      {"SDR 16 TDI (0000) TDO (1234) MASK (FF00);", "127789" + kEsc + ".", false},
      // A mask of another length is not applied: every bit counts.
      {"SDR 8 TDI (00) TDO (5A) MASK (F000);", "5F5F" + kEsc + ".", false},
  };
  for (const auto& c : cases) {
    dir.Write("m.eff", std::string(c.line) + "\n");
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    StartPlay("m.eff");
    h.TakeWire();
    h.TakeEvents();
    h.Answer(c.reply);
    h.ExpectWire(".");
    EXPECT_EQ(h.engine.Busy, c.matches) << c.line << " / " << c.reply;
    if (c.matches) {
      h.Answer(".");
      h.ExpectWire(kEnd);
    } else {
      ExpectFailure("Error while executing Effect file line : 1");
    }
  }
}

TEST_F(ProgJtagTest, CapturedDataEscapes) {
  struct {
    const char* line;
    std::string reply;
  } cases[] = {
      {"SDR 8 TDI (00) TDO (1B);", kEsc + kEsc + kEsc + kEsc + kEsc + "."},  // ESC ESC: "1B"
      {"SDR 8 TDI (FF) TDO (00);", kEsc + "0" + kEsc + "0" + kEsc + "."},    // ESC "0": "00"
      {"SDR 8 TDI (00) TDO (5A);", kEsc + "5A" + kEsc + "5A" + kEsc + "."},  // other ESC dropped
      {"SDR 8 TDI (00) TDO (5A);", "5A5A."},  // a final "." without ESC is not data
  };
  for (const auto& c : cases) {
    dir.Write("e.eff", std::string(c.line) + "\n");
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    StartPlay("e.eff");
    h.TakeWire();
    h.Answer(c.reply);
    h.ExpectWire(".");
    EXPECT_TRUE(h.engine.Busy) << c.line;
    EXPECT_EQ(h.engine.ErrorCount, 0) << c.line;
  }
}

// A reply too short to hold its two sum digits is a failed checksum: counted, "R".
TEST_F(ProgJtagTest, CapturedReplyTooShortIsAskedAgain) {
  WriteEffect("s.eff", {"SDR 8 TDI (00) TDO (5A);"});
  StartPlay("s.eff");
  h.TakeWire();
  for (const std::string& reply :
       {kEsc + ".", "5" + kEsc + ".", std::string("."), kEsc + kEsc + "."}) {
    h.Answer(reply);
    h.ExpectWire("R");
  }
  EXPECT_EQ(h.engine.ErrorCount, 4);
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_PLAY);
}

TEST_F(ProgJtagTest, LongSdrSendsItsRawBlockAfterTheAcknowledgement) {
  WriteEffect("long.eff", {"SDR 16 TDI (1234);"});
  StartPlay("long.eff");
  h.ExpectWire(":010010630686\r\n");
  EXPECT_TRUE(h.engine.RawBlockPending);
  h.Answer(kEsc + ".");
  h.ExpectWire("341246");
  EXPECT_FALSE(h.engine.RawBlockPending);
  h.Answer("R");  // the record goes again, and its raw block after the next ESC "."
  h.ExpectWire(":010010630686\r\n");
  h.Answer(kEsc + ".");
  h.ExpectWire("341246");
  h.Answer(".");
  h.ExpectWire(kEnd);
  EXPECT_EQ(h.owner.step_count, 1);
}

TEST_F(ProgJtagTest, LongSdrWithCapturedDataInPiecesOfEverySize) {
  WriteEffect("lt.eff", {"SDR 16 TDI (1234) TDO (ABCD);", "ENDIR IDLE;"});
  // The device's side of the exchange, each answer after the engine's last send.
  const std::vector<std::pair<std::string, std::string>> exchange = {
      {":010010730676\r\n", kEsc + "."},
      {"341246", "CDAB78" + kEsc + "."},
      {".", "."},
      {":0100000601F8\r\n", "."},
      {kEnd, "."},
  };
  ForEveryPieceSize(9, [&](size_t piece) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    StartPlay("lt.eff");
    for (const auto& [sent, answer] : exchange) {
      h.ExpectWire(sent);
      h.ReplyInPieces(answer, piece);
    }
    h.Pump();
    EXPECT_FALSE(h.engine.Busy) << piece;
    EXPECT_EQ(h.engine.ErrorCount, 0) << piece;
  });
}

// A name that exists but cannot be opened: a dangling symbolic link, or where links
// need a privilege (Windows), a file that another program holds without sharing.
TEST_F(ProgJtagTest, ExistingFileThatCannotBeOpenedIsReported) {
  std::error_code ec;
  fs::create_symlink(dir.path() / "nowhere", dir.path() / "unreadable.eff", ec);
  std::optional<THeldFile> held;
  if (ec) {
    held.emplace(dir.Write("unreadable.eff", "RUNTEST 1 TCK;\n"));
    if (!held->Held()) GTEST_SKIP() << "no symbolic link (" << ec.message() << ") and no hold";
  }
  ASSERT_TRUE(h.Offer("P8 unreadable.eff"));
  h.Pump();
  h.Answer(".");
  ExpectFailure(dir.Dir() + "unreadable.eff File cannot be read !!!");
  EXPECT_EQ(h.engine.OpenEffectFile(dir.Dir() + "unreadable.eff"),
            TProgJtag::kEffectFileUnreadable);
  EXPECT_EQ(h.engine.OpenEffectFile(dir.Dir() + "absent.eff"), TProgJtag::kEffectFileMissing);
  EXPECT_EQ(h.engine.OpenEffectFile(dir.Dir()), TProgJtag::kEffectFileMissing);  // a folder
}

TEST_F(ProgJtagTest, FileThatShrinksWhilePlayingIsReported) {
  // Larger than the reader's 64 KiB block, so the lines past the cut are really
  // read later.
  std::vector<std::string> lines(10000, "RUNTEST 1 TCK;");
  WriteEffect("shrink.eff", lines);
  StartPlay("shrink.eff");
  h.TakeWire();
  fs::resize_file(dir.path() / "shrink.eff", 0);
  for (int i = 0; i < 12000 && h.engine.Busy; ++i) h.Answer(".");
  ASSERT_FALSE(h.engine.Busy);
  EXPECT_LT(h.engine.LineNumber, 10000);
  ExpectFailure(dir.Dir() + "shrink.eff File cannot be read !!!");
}

TEST_F(ProgJtagTest, OpenEffectFileCountsLinesOfEveryEnding) {
  dir.Write("endings.eff", "a\r\nb\nc\rd");
  EXPECT_EQ(h.engine.OpenEffectFile(dir.Dir() + "endings.eff"), 4);
  EXPECT_TRUE(h.engine.EffectFileOpen());
  h.engine.CloseEffectFile();
  EXPECT_FALSE(h.engine.EffectFileOpen());
  dir.Write("trailing.eff", "a\r\nb\r\n");
  EXPECT_EQ(h.engine.OpenEffectFile(dir.Dir() + "trailing.eff"), 2);
}

TEST_F(ProgJtagTest, ResetEngineClosesAnOpenEffectFile) {
  WriteEffect("open.eff", {"ENDIR IDLE;", "ENDDR IDLE;"});
  StartPlay("open.eff");
  ASSERT_TRUE(h.engine.EffectFileOpen());
  h.TakeEvents();
  h.engine.ResetEngine();
  h.ExpectEvents({});
  EXPECT_FALSE(h.engine.EffectFileOpen());
  EXPECT_EQ(h.engine.State(), TJtagState::JTAG_IDLE);
  EXPECT_FALSE(h.engine.Busy);
}

// Bytes the program holds on the heap right now, when the sanitizer's allocator can
// tell; 0 otherwise.
size_t HeapBytes() {
#ifdef QELT_HEAP_COUNTER
  return __sanitizer_get_current_allocated_bytes();
#else
  return 0;
#endif
}

TEST_F(ProgJtagTest, LargeFileIsStreamedNotLoaded) {
  // About 4 MB: statements each followed by a long comment line.
  const size_t kPairs = 16000;
  const std::string statement = "SIR 8 TDI (FE);\r\n";
  const std::string comment = "// " + std::string(237, 'x') + "\r\n";
  {
    std::string text;
    text.reserve(kPairs * (statement.size() + comment.size()));
    for (size_t i = 0; i < kPairs; ++i) text += statement + comment;
    dir.Write("big.eff", text);
  }
  StartPlay("big.eff");
  h.ExpectWire(":01000862FE97\r\n");
  {
    // Rewrite the last statement in place: a file read whole at the start would
    // never see the change.
    std::fstream f(dir.path() / "big.eff", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>((kPairs - 1) * (statement.size() + comment.size())));
    f << "SIR 8 TDI (01);\r\n";
    ASSERT_TRUE(f.good());
  }
  const size_t baseline = HeapBytes();
  size_t peak = baseline;
  for (size_t i = 1; i < kPairs; ++i) {
    h.owner.ClearLogs();
    h.Answer(".");
    if (i % 500 == 0) peak = std::max(peak, HeapBytes());
  }
  ASSERT_EQ(h.owner.Sent.size(), 1u);
  EXPECT_EQ(h.owner.Sent.back(), ":010008620194\r\n");
  EXPECT_LE(h.engine.CurrentLine.capacity(), 1024u);
  // Without a heap counter this bound holds trivially; with one it shows that the
  // engine never held more than a small part of the file.
  EXPECT_LT(peak - baseline, 512u * 1024u);
  h.TakeWire();
  h.Answer(".");
  h.ExpectWire(kEnd);
}

TEST_F(ProgJtagTest, FirstReplyMark) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"0123ABCDEF", ""}, {"12.X", "."}, {"12X.", "X"}, {"AB\x1bR.", "R"}};
  for (const auto& [buf, mark] : cases) {
    h.engine.BufIn = buf;
    EXPECT_EQ(h.engine.FirstReplyMark(), mark) << buf;
  }
}

}  // namespace
