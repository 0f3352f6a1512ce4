#include "engines/prog_boot.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engines/testing/engine_harness.h"
#include "testing/temp_dir.h"

namespace {

using Events = std::vector<std::string>;

// A boot image of three lines: two data records in the verified area 0x4000-0x5FFF
// (01 02 at 0x4000, 10 20 at 0x5FFE) and the end record. Its sum over the area is
// 8188 x FF + 01 + 02 + 10 + 20 = 0xDC37 (modulo 0x10000).
const std::string kLine0 = ":024000000102BB";
const std::string kLine1 = ":025FFE00102071";
const std::string kLine2 = ":00000001FF";
const std::string kBootFile = kLine0 + "\r\n" + kLine1 + "\r\n" + kLine2 + "\r\n";
const std::string kVerify = ":0200000CDC37DF\r\n";

// A boot-loader engine whose CurentDir is a private folder holding "boot.hex", with
// OnDeviceType recorded as "type:<DeviceType>".
class TBootHarness : public TEngineHarness<TProgBoot> {
 public:
  TBootHarness() {
    dir.Write("boot.hex", kBootFile);
    engine.CurentDir = dir.Dir();
    engine.OnDeviceType = [this](TGestionnaire*) {
      owner.Events.push_back("type:" + std::to_string(engine.DeviceType));
    };
  }

  // "SYN" up to the identification reply, type 37 accepted (or 27 when `refuse37`).
  void ReachIdentification(bool refuse37 = false) {
    Offer("SYN");
    Pump();
    Answer(".");
    if (refuse37) Answer("X");
    Answer(".");
    TakeEvents();
    TakeWire();
  }

  // "PB <rest>" up to the first HEX line sent (erase started and confirmed).
  void ReachUpload(const std::string& rest = "boot.hex") {
    Offer("PB " + rest);
    Pump();
    Answer(".");
    Answer(".");
    TakeEvents();
    TakeWire();
  }

  TTempDir dir;
};

class ProgBootTest : public ::testing::Test {
 protected:
  TBootHarness h;
};

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// "SYN"

TEST_F(ProgBootTest, SynchroniseAsType37ReadsChecksumAndIdentifier) {
  ASSERT_TRUE(h.Offer("SYN"));
  h.ExpectEvents({"busy:1"});
  h.ExpectNothingSent();
  h.Pump();
  h.ExpectWire("%");
  h.Pump();  // nothing received: back to sending
  h.ExpectNothingSent();
  h.Pump();
  h.ExpectWire("%");
  h.Answer(".");
  h.ExpectEvents({"info:Verify Device Type"});
  h.ExpectWire("37");
  h.Answer(".");
  h.ExpectEvents({"type:37"});
  h.Answer("60001A2B.");
  h.ExpectEvents({"info:Boot Checksum : 0000", "info:Device ID : 1A2B", "id:6699"});
  EXPECT_EQ(h.owner.RxBuffer, "");
  h.Pump();
  h.ExpectDone();
  EXPECT_EQ(h.engine.DeviceID, 0x1A2B);
  EXPECT_EQ(h.engine.DeviceType, 37);
}

TEST_F(ProgBootTest, RefusedType37FallsBackTo27AndItsTwelveCharacterReply) {
  h.Offer("SYN");
  h.Pump();
  h.Answer(".");
  h.TakeWire();
  h.Answer("X");
  h.ExpectWire("27");
  EXPECT_EQ(h.engine.DeviceType, 27);
  h.Answer(".");
  h.Answer("A0001A2B");
  h.Answer("0000.");
  h.Pump();
  h.ExpectEvents({"busy:1", "info:Verify Device Type", "type:27", "info:Boot Checksum : 4000",
                  "info:Device ID : 1A2B", "id:6699", "busy:0"});
}

TEST_F(ProgBootTest, BothTypesRefusedIsABadDevice) {
  h.Offer("SYN");
  h.Pump();
  h.Answer(".");
  h.Answer("X");
  h.TakeEvents();
  h.Answer("X");
  h.ExpectError("Bad type of device !!!");
  EXPECT_EQ(h.owner.RxBuffer, "");
}

// A text whose first "." is not where the reply's stands is never read: it is
// dropped as noise up to its "." (the engine keeps waiting, and a reply that
// follows is read); a text without "." waits while it can still become the reply.
TEST_F(ProgBootTest, IdentificationWaitsUntilTheDotIsAtItsPlace) {
  struct {
    bool type27;
    std::string reply;
    std::string left;
  } const cases[] = {
      {false, "6000.", ""},
      {false, "60001A2B3.", ""},
      {false, "6000 1A2B.", ""},
      {false, "6.0001A2B", "0001A2B"},
      {false, "60001A2B", "60001A2B"},
      {true, "60001A2B.", ""},
      {true, "60001A2B00000.", ""},
      {true, "60001A2B000", "60001A2B000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    TBootHarness t;
    t.ReachIdentification(c.type27);
    t.Answer(c.reply);
    t.Pump(5);
    EXPECT_TRUE(t.engine.Busy);
    EXPECT_EQ(t.owner.RxBuffer, c.left);
    EXPECT_EQ(t.engine.NoiseCount(), c.reply.size() - c.left.size());
    t.ExpectEvents({});
    if (!c.left.empty()) continue;
    t.Answer(c.type27 ? "60001A2B0000." : "60001A2B.");
    t.ExpectEvents({"info:Boot Checksum : 0000", "info:Device ID : 1A2B", "id:6699"});
  }
}

TEST_F(ProgBootTest, BootChecksumIsShownRelativeTo6000) {
  const std::pair<std::string, std::string> cases[] = {
      {"6000", "0000"}, {"0000", "A000"}, {"7234", "1234"}, {"FFFF", "9FFF"}};
  for (const auto& [field, shown] : cases) {
    SCOPED_TRACE(field);
    TBootHarness t;
    t.ReachIdentification();
    t.Answer(field + "0001.");
    EXPECT_EQ(t.TakeEvents().at(0), "info:Boot Checksum : " + shown);
  }
}

TEST_F(ProgBootTest, DeviceIdIsShownAsReceivedAndNeverNegative) {
  const struct {
    std::string field;
    int id;
  } cases[] = {{"FFFF", 65535}, {"8000", 32768}, {"1a2b", 0x1020}, {"0000", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    TBootHarness t;
    t.ReachIdentification();
    t.Answer("6000" + c.field + ".");
    t.ExpectEvents(
        {"info:Boot Checksum : 0000", "info:Device ID : " + c.field, "id:" + std::to_string(c.id)});
    EXPECT_EQ(t.engine.DeviceID, c.id);
  }
}

TEST_F(ProgBootTest, StaleSynchronisationRepliesAreDroppedBeforeTheTypeIsProposed) {
  h.Offer("SYN");
  h.Pump();
  h.TakeWire();
  h.TakeEvents();
  h.Answer("??");  // noise without ".": dropped, then "%" is sent again
  EXPECT_EQ(h.owner.RxBuffer, "");
  h.ExpectNothingSent();
  h.Pump(2);
  h.ExpectWire("%");
  h.Answer("?..");  // answers to several "%": one "37", nothing left to misread
  h.ExpectWire("37");
  EXPECT_EQ(h.owner.RxBuffer, "");
  h.Pump(3);
  h.ExpectEvents({"info:Verify Device Type"});
  h.Answer(".");
  h.ExpectEvents({"type:37"});
}

TEST_F(ProgBootTest, ALateAnswerToARepeatedSyncIsNotMistakenForTheReply) {
  // A slow line: "%" went out twice before the first "." came back, so the second
  // "." arrives after "37" and is taken as its acceptance; the real acceptance
  // then leads the identification reply.
  h.Offer("SYN");
  h.Pump(3);
  EXPECT_EQ(Count(h.TakeWire(), "%"), 2);
  h.Answer(".");
  h.ExpectWire("37");
  h.Answer(".");
  h.TakeEvents();
  h.Answer(".60001A2B.");
  h.ExpectEvents({"info:Boot Checksum : 0000", "info:Device ID : 1A2B", "id:6699"});
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(ProgBootTest, IdentificationReplySplitInPiecesOfEverySize) {
  const std::string reply = "60001A2B.";
  ForEveryPieceSize(reply.size(), [&](size_t piece) {
    TBootHarness t;
    t.ReachIdentification();
    t.ReplyInPieces(reply, piece);
    ASSERT_TRUE(t.RunToIdle());
    t.ExpectEvents({"info:Boot Checksum : 0000", "info:Device ID : 1A2B", "id:6699", "busy:0"});
  });
}

// ---------------------------------------------------------------------------
// "PB": acceptance and the upload.

TEST_F(ProgBootTest, AcceptsPThenBWithBlanksBetweenOnly) {
  for (const std::string line :
       {"PB boot.hex", "P B boot.hex", "P \t B boot.hex", "PBboot.hex", "SYN", "SYNC"}) {
    SCOPED_TRACE(line);
    TBootHarness t;
    EXPECT_TRUE(t.Offer(line));
  }
  for (const std::string line : {"PA boot.hex", "P8 boot.hex", "P", "P x B", "pb boot.hex",
                                 "PE key.hex", "P0 bank.hex", "SY", "RS", ""}) {
    SCOPED_TRACE(line);
    TBootHarness t;
    EXPECT_FALSE(t.Offer(line));
    t.ExpectEvents({});
    EXPECT_EQ(t.engine.Instruction, line);
  }
}

TEST_F(ProgBootTest, ThreeLineFileSendsLineZeroTwiceThenTheVerifyRecord) {
  ASSERT_TRUE(h.Offer("PB boot.hex"));
  h.ExpectEvents({"busy:1"});
  h.Pump();
  h.ExpectEvents({"max:5"});
  h.ExpectWire("PB");
  h.Answer(".");
  h.ExpectEvents({"info:Erase Extended Boot"});
  h.ExpectNothingSent();
  h.Answer(".");
  h.ExpectEvents({"step", "info:Upload Extended Boot"});
  h.ExpectWire(kLine0 + "\r\n");
  for (const std::string& line : {kLine0, kLine1, kLine2}) {
    h.Answer(".");
    h.ExpectEvents({"step"});
    h.ExpectWire(line + "\r\n");
  }
  h.Answer(".");
  h.ExpectEvents({"step"});
  h.ExpectNothingSent();
  h.Pump();
  h.ExpectEvents({"info:Verify Checksum"});
  h.ExpectWire(kVerify);
  h.Answer(".");
  h.Pump();
  h.ExpectDone();
  EXPECT_EQ(h.owner.step_count, 5);
  EXPECT_EQ(h.owner.max_progress, 5);
  EXPECT_TRUE(h.engine.Lines.empty());
  EXPECT_EQ(h.engine.ErrorCount, 0);
}

TEST_F(ProgBootTest, RepliesArrivingTogetherAreTakenOnePerStep) {
  h.Offer("PB boot.hex");
  h.Pump();
  h.Reply(std::string(7, '.'));  // erase x2, four line acks, verify
  ASSERT_TRUE(h.RunToIdle());
  EXPECT_EQ(h.TakeWire(),
            "PB" + kLine0 + "\r\n" + kLine0 + "\r\n" + kLine1 + "\r\n" + kLine2 + "\r\n" + kVerify);
  EXPECT_TRUE(h.engine.ErrorText.empty());
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(ProgBootTest, FileNameWithBackslashesAndOtherCaseIsFound) {
  h.dir.Write("Card/Boot_Ext.hex", kBootFile);
  h.Offer("PB card\\BOOT_EXT.HEX");
  h.Pump();
  h.ExpectWire("PB");
  h.ExpectEvents({"busy:1", "max:5"});
}

TEST_F(ProgBootTest, ChecksumTextOnTheLineIsSentAsWritten) {
  h.ReachUpload("boot.hex   1234 ");
  EXPECT_EQ(h.engine.ExpectedChecksum, "1234");
  h.Reply("....");
  h.Pump(5);
  EXPECT_EQ(h.TakeWire(),
            kLine0 + "\r\n" + kLine1 + "\r\n" + kLine2 + "\r\n" + ":0200000C1234AC\r\n");
}

TEST_F(ProgBootTest, RetransmissionResendsTheLineSentLast) {
  h.ReachUpload();  // line 0 sent once
  h.Answer("R");
  h.ExpectWire(kLine0 + "\r\n");
  h.Answer(".");
  h.ExpectWire(kLine0 + "\r\n");  // the second sending of line 0
  h.Answer("R");
  h.ExpectWire(kLine0 + "\r\n");
  h.Answer(".");
  h.ExpectWire(kLine1 + "\r\n");
  h.Answer("R");
  h.ExpectWire(kLine1 + "\r\n");
  EXPECT_EQ(h.engine.ErrorCount, 3);
  h.ExpectEvents({"step", "step"});  // an "R" is not progress
}

TEST_F(ProgBootTest, The300thRetransmissionIsAnsweredAndThe301stFails) {
  h.ReachUpload();
  for (int i = 0; i < 300; ++i) h.Answer("R");
  EXPECT_EQ(Count(h.TakeWire(), kLine0), 300);
  EXPECT_TRUE(h.engine.Busy);
  h.Answer("R");
  h.ExpectNothingSent();
  h.ExpectError("Too Many Transmission Error !!!");
  EXPECT_TRUE(h.engine.Lines.empty());
}

TEST_F(ProgBootTest, UploadAndVerifyShareOneRetransmissionCount) {
  h.ReachUpload();
  for (int i = 0; i < 200; ++i) h.Answer("R");
  h.Reply("....");
  h.Pump(5);  // rest of the upload, then the verify record
  h.TakeWire();
  for (int i = 0; i < 100; ++i) {
    h.Answer("R");
    h.Pump();  // the record is rebuilt and sent on the next step
  }
  EXPECT_EQ(Count(h.TakeWire(), kVerify), 100);
  h.Answer("R");
  h.ExpectError("Too Many Transmission Error !!!");
  h.Pump();
  h.ExpectNothingSent();
}

TEST_F(ProgBootTest, EachOperationStartsWithAFreshRetransmissionCount) {
  h.ReachUpload();
  for (int i = 0; i < 250; ++i) h.Answer("R");
  h.Reply(".....");
  ASSERT_TRUE(h.RunToIdle());
  ASSERT_TRUE(h.engine.ErrorText.empty());
  h.ReachUpload();
  EXPECT_EQ(h.engine.ErrorCount, 0);
  for (int i = 0; i < 300; ++i) h.Answer("R");
  EXPECT_TRUE(h.engine.Busy);
}

// ---------------------------------------------------------------------------
// "PB": failures.

// An empty boot image would leave the device with an erased boot area: the engine
// refuses it before "PB", so nothing is erased.
TEST_F(ProgBootTest, EmptyFileFailsBeforeAnythingIsErased) {
  h.dir.Write("empty.hex", "");
  h.Offer("PB empty.hex");
  h.Pump();
  h.ExpectNothingSent();
  h.ExpectEvents({"busy:1", "busy:0", "error:Boot File Empty !!!"});
}

// A file whose lines the device cannot take, or whose verify sum the updater would
// read differently from the device, is refused before "PB" with its path, the
// line and the reason.
TEST_F(ProgBootTest, AFileTheDeviceCannotTakeIsRefusedBeforeTheErase) {
  const struct {
    std::string file;
    std::string line;  // after "PB bad.hex"
    std::string error;
  } cases[] = {
      {kLine0 + "\r\n\r\n" + kLine2 + "\r\n", "", "bad.hex:2: blank line !!!"},
      {kLine0 + "\r\n:024000000102BC\r\n" + kLine2, "",
       "bad.hex:2: record checksum is BC, the record's bytes need BB !!!"},
      {kLine0 + "\r\n:0240000001\r\n", "",
       "bad.hex:2: byte count 02 says 2 data bytes, the line holds 0 !!!"},
      {kLine0 + "\r\n", "", "bad.hex: no end record (:00000001FF) !!!"},
      {":0260000001029B\r\n" + kLine2, "",
       "bad.hex:1: data at 6000-6001 lies outside the boot area (4000-5FFF) !!!"},
      {kLine2 + "\r\n" + kLine0, "", "bad.hex:2: line after the end record !!!"},
      {":024000000102bb\r\n" + kLine2, "",
       "bad.hex:1: lower-case hex digit 'b': the updater reads only upper-case digits when it "
       "sums the image for the device's verify (a lower-case one counts as 0), so the device "
       "would answer \"Checksum Error\" after the memory was erased and written; write the "
       "file in upper case !!!"},
      {kBootFile, " 12G4", "Invalid checksum in line : PB bad.hex 12G4"},
      {kBootFile, " 123", "Invalid checksum in line : PB bad.hex 123"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    TBootHarness t;
    t.dir.Write("bad.hex", c.file);
    ASSERT_TRUE(t.Offer("PB bad.hex" + c.line));
    t.Pump();
    t.ExpectNothingSent();
    const std::string folder = c.error.starts_with("bad.hex") ? t.dir.Dir() : "";
    t.ExpectError(folder + c.error);
  }
}

// With its own checksum text the updater computes no sum, so lower-case digits,
// which the device reads in either case, are sent as written.
TEST_F(ProgBootTest, LowerCaseDigitsPassWhenTheLineGivesTheChecksum) {
  h.dir.Write("lower.hex", ":024000000102bb\r\n:00000001ff\r\n");
  ASSERT_TRUE(h.Offer("PB lower.hex DC37"));
  h.Pump();
  h.ExpectWire("PB");
  h.Answer(".");
  h.Answer(".");
  h.ExpectWire(":024000000102bb\r\n");
}

TEST(ProgBootParse, TheIdleStateReadsTheseLines) {
  using K = TBootInstruction::TKind;
  const struct {
    const char* line;
    K kind;
    const char* file;
    const char* checksum;
    const char* fault;
  } cases[] = {
      {"SYN", K::BOOT_SYN, "", "", ""},
      {"SYNC", K::BOOT_SYN, "", "", ""},
      {"PB boot.hex", K::BOOT_PB, "boot.hex", "", ""},
      {"P B  boot.hex  12AB ", K::BOOT_PB, "boot.hex", "12AB", ""},
      {"PBboot.hex", K::BOOT_PB, "boot.hex", "", ""},
      {"PB", K::BOOT_PB, "", "", ""},
      {"PB boot.hex 12ab", K::BOOT_PB, "boot.hex", "12ab",
       "checksum text '12ab' is not four upper-case hex digits"},
      {"PA boot.hex", K::BOOT_NONE, "", "", ""},
      {"P8 x.svf", K::BOOT_NONE, "", "", ""},
      {"pb boot.hex", K::BOOT_NONE, "", "", ""},
      {" SYN", K::BOOT_NONE, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const TBootInstruction parsed = TProgBoot::ParseInstruction(c.line);
    EXPECT_EQ(parsed.Kind, c.kind);
    EXPECT_EQ(parsed.File, c.file);
    EXPECT_EQ(parsed.Checksum, c.checksum);
    EXPECT_EQ(parsed.Fault, c.fault);
  }
}

TEST_F(ProgBootTest, MissingFileFailsWithTheFolderAndTheRestOfTheLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"PB missing.hex 12AB", "missing.hex 12AB"},
      {"P B  missing.hex", "missing.hex"},
      {"PB", ""},  // no name: the folder itself is no file
  };
  for (const auto& [line, rest] : cases) {
    SCOPED_TRACE(line);
    TBootHarness t;
    ASSERT_TRUE(t.Offer(line));
    t.Pump();
    t.ExpectError(t.dir.Dir() + rest + " File not found !!!");
    t.ExpectNothingSent();
  }
}

TEST_F(ProgBootTest, DeviceFailuresEndTheOperationWithTheirTexts) {
  struct {
    int acks;  // "." answered after "PB" before the failing reply
    std::string reply;
    std::string message;
  } const cases[] = {{0, "I", "Instruction unknown"},
                     {1, "X", "Error while erasing !!!"},
                     {2, "X", "Error while writing!!!"},
                     {4, "X", "Error while writing!!!"},
                     {6, "X", "Checksum Error"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message + " after " + std::to_string(c.acks));
    TBootHarness t;
    t.Offer("PB boot.hex");
    t.Pump();
    for (int i = 0; i < c.acks; ++i) t.Answer(".");
    t.Pump();
    t.TakeEvents();
    t.Answer(c.reply + "?");
    t.ExpectError(c.message);
    EXPECT_EQ(t.owner.RxBuffer, "?");
    EXPECT_TRUE(t.engine.Lines.empty());
  }
}

TEST_F(ProgBootTest, NoiseBeforeAnAnswerIsDroppedAndTheAnswerTaken) {
  h.ReachUpload();
  h.Answer("?\x01.");
  EXPECT_EQ(h.owner.RxBuffer, "");
  h.ExpectWire(kLine0 + "\r\n");
  EXPECT_EQ(h.engine.NoiseCount(), 2u);
  EXPECT_EQ(h.engine.NoiseSample(), "?\\x01");
  EXPECT_TRUE(h.engine.Busy);
}

// ---------------------------------------------------------------------------
// Error state and reset.

TEST_F(ProgBootTest, ErrorStateIgnoresStepUntilReset) {
  h.Offer("PB missing.hex");
  h.Pump();
  h.TakeEvents();
  h.engine.Instruction = "SYN";
  h.engine.Step();
  h.ExpectEvents({});
  h.ExpectNothingSent();
  h.engine.ResetEngine();
  EXPECT_TRUE(h.Offer("SYN"));
}

TEST_F(ProgBootTest, ResetMidUploadRaisesNoEventAndKeepsTheOperationValues) {
  h.ReachUpload("boot.hex 1234");
  h.Answer(".");
  h.TakeEvents();
  h.TakeWire();
  h.engine.ResetEngine();
  h.ExpectEvents({});
  EXPECT_FALSE(h.engine.Busy);
  EXPECT_TRUE(h.engine.Lines.empty());
  EXPECT_EQ(h.engine.ExpectedChecksum, "1234");
  EXPECT_EQ(h.engine.LineIndex, 1);
  EXPECT_EQ(h.engine.DeviceType, 37);
  EXPECT_EQ(h.engine.MaxProgress, 100);
  EXPECT_TRUE(h.Offer("SYN"));
  h.Pump();
  h.ExpectWire("%");
}

}  // namespace
