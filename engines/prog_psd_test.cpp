#include "engines/prog_psd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/file_access.h"
#include "engines/intel_hex.h"
#include "engines/testing/engine_harness.h"
#include "testing/temp_dir.h"

namespace {

using TPsdState = TProgPsd::TPsdState;

// An image of the upper banks (AA 55 at 0x8000, 12 34 at 0xFFFE) and one of bank 0
// (12 34 at 0x0000, 56 78 at 0x7FFE): each file's data lies in its bank's half.
const std::vector<std::string> kImage = {":02800000AA557F", ":02FFFE001234BB", ":00000001FF"};
const std::vector<std::string> kLowImage = {":020000001234B8", ":027FFE005678B3", ":00000001FF"};
// Their verify records: 0x8000-0xFFFF sums to 0x7D49, 0x0000-0x7FFF to 0x7D18.
const char kVerifyUpper[] = ":0200000C7D492C\r\n";
const char kVerifyBank0[] = ":0200000C7D185D\r\n";
// Three lines of an upper bank: 11 at 0x8000, 22 at 0x8001, the end record.
const std::vector<std::string> kThree = {":01800000116E", ":01800100225C", ":00000001FF"};

class ProgPsdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.engine.CurentDir = dir_.Dir();
    h.engine.UpdateAllowed = true;
  }

  void WriteHex(const std::string& name, const std::vector<std::string>& lines) {
    ASSERT_TRUE(SaveTextLines(h.engine.CurentDir + name, lines));
  }

  // "P" + bank accepted, file loaded, erase started and finished: the first line
  // has just gone out.
  void StartBank(const std::string& instruction) {
    ASSERT_TRUE(h.Offer(instruction));
    h.Pump();
    h.Answer(".");
    h.Answer(".");
  }

  // Acknowledges every line of a `count`-line upload that is under way.
  void AckUpload(size_t count) {
    for (size_t i = 0; i < count + 1; ++i) h.Answer(".");
  }

  TTempDir dir_;
  TEngineHarness<TProgPsd> h;
};

TEST_F(ProgPsdTest, ProgramsBankThreeWithTheUpperChecksum) {
  WriteHex("image.hex", kImage);
  ASSERT_TRUE(h.Offer("P3 image.hex"));
  h.Pump();
  h.ExpectWire("P3");
  h.Answer(".");
  h.Answer(".");
  h.ExpectWire(":02800000AA557F\r\n");
  AckUpload(kImage.size());
  h.Pump();  // VerifySend
  h.ExpectWire(":02800000AA557F\r\n:02FFFE001234BB\r\n:00000001FF\r\n" + std::string(kVerifyUpper));
  h.Answer(".");
  h.Pump();
  h.ExpectEvents({"busy:1", "info:Erase Bank3", "max:4", "info:Upload Bank3", "step", "step",
                  "step", "step", "info:Verify Bank3", "busy:0"});
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_IDLE);
  EXPECT_TRUE(h.engine.Lines.empty());
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(ProgPsdTest, VerifySumCoversTheBanksHalfOfTheImage) {
  struct {
    const char* instruction;
    const char* record;
  } cases[] = {
      {"P0 low.hex", kVerifyBank0}, {"P1 image.hex", kVerifyUpper}, {"P7 image.hex", kVerifyUpper}};
  WriteHex("image.hex", kImage);
  WriteHex("low.hex", kLowImage);
  for (const auto& c : cases) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    StartBank(c.instruction);
    AckUpload(kImage.size());
    h.TakeWire();
    h.Pump();
    h.ExpectWire(c.record);
    h.Answer(".");
    h.Pump();
    EXPECT_FALSE(h.engine.Busy) << c.instruction;
  }
}

TEST_F(ProgPsdTest, ThreeLineFileSendsTheFirstLineTwice) {
  WriteHex("three.hex", kThree);
  StartBank("P2 three.hex");
  EXPECT_EQ(h.owner.max_progress, 4);
  AckUpload(3);
  h.Pump();
  h.ExpectWire("P2:01800000116E\r\n:01800000116E\r\n:01800100225C\r\n:00000001FF\r\n" +
               BuildHexRecord(0x0C, 0, "7E35") + "\r\n");
  EXPECT_EQ(h.owner.step_count, 4);
  EXPECT_EQ(h.owner.progress, 4);
}

TEST_F(ProgPsdTest, RetransmissionsResendTheLastLine) {
  WriteHex("three.hex", kThree);
  StartBank("P5 three.hex");
  h.TakeWire();
  h.Answer("R");  // to the very first line
  h.ExpectWire(":01800000116E\r\n");
  h.Answer(".");
  h.Answer(".");
  h.ExpectWire(":01800000116E\r\n:01800100225C\r\n");
  h.Answer("R");
  h.ExpectWire(":01800100225C\r\n");
  EXPECT_EQ(h.engine.ErrorCount, 2);
}

TEST_F(ProgPsdTest, RetransmissionOfTheVerifyRecordRebuildsIt) {
  WriteHex("image.hex", kImage);
  StartBank("P3 image.hex");
  AckUpload(kImage.size());
  h.Pump();
  h.TakeWire();
  h.TakeEvents();
  h.Answer("R");
  h.ExpectNothingSent();
  h.Pump();
  h.ExpectWire(kVerifyUpper);
  h.ExpectEvents({"info:Verify Bank3"});
  EXPECT_EQ(h.engine.ErrorCount, 1);
}

TEST_F(ProgPsdTest, ThreeHundredRetransmissionsAreAnsweredTheNextFails) {
  WriteHex("image.hex", kImage);
  StartBank("P3 image.hex");
  h.Answer(".");
  h.TakeWire();
  // Upload and verify share one count.
  for (int i = 0; i < 299; ++i) h.Answer("R");
  EXPECT_EQ(h.TakeWire().size(), 299 * std::string(":02800000AA557F\r\n").size());
  h.Answer(".");
  h.Answer(".");
  h.Answer(".");
  h.Pump();
  h.TakeWire();
  h.Answer("R");  // the 300th: answered
  h.Pump();
  h.ExpectWire(kVerifyUpper);
  h.TakeEvents();
  h.Answer("R");  // the 301st
  h.ExpectError("Too Many Transmission Error !!!");
  h.Pump();
  h.ExpectNothingSent();
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_ERROR);
  EXPECT_TRUE(h.engine.Lines.empty());
}

TEST_F(ProgPsdTest, ThreeHundredAndFirstUploadRetransmissionFails) {
  WriteHex("image.hex", kImage);
  StartBank("P3 image.hex");
  for (int i = 0; i < 300; ++i) h.Answer("R");
  EXPECT_TRUE(h.engine.Busy);
  h.TakeEvents();
  h.TakeWire();
  h.Answer("R");
  h.ExpectNothingSent();
  h.ExpectError("Too Many Transmission Error !!!");
}

TEST_F(ProgPsdTest, CodesOfOtherEnginesAreLeftAlone) {
  for (const char* line : {"P8 cpld.eff", "D9", "FA", "PC x", "P", "D", "F", "PB BOOT.HEX", "FI",
                           "FU", "FY", "RS", "p3 image.hex", " P3 image.hex"}) {
    EXPECT_FALSE(h.Offer(line)) << line;
    EXPECT_EQ(h.engine.State(), TPsdState::PSD_IDLE) << line;
  }
  h.ExpectEvents({});
  h.ExpectNothingSent();
}

TEST_F(ProgPsdTest, FileNotFoundNamesTheFile) {
  h.engine.CurentDir = "C:\\upd\\KEYB3\\";
  ASSERT_TRUE(h.Offer("P3 missing.hex"));
  h.Pump();
  h.ExpectError("C:\\upd\\KEYB3\\missing.hex File not found !!!");
  h.ExpectNothingSent();
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_ERROR);
}

TEST_F(ProgPsdTest, UpdateNotAllowedLeavesTheEngineIdle) {
  WriteHex("image.hex", kImage);
  h.engine.UpdateAllowed = false;
  ASSERT_TRUE(h.Offer("P3 image.hex"));
  h.Pump();
  h.ExpectError("Update Not Allowed !!!");
  h.ExpectNothingSent();
  h.engine.Step();
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_IDLE);
  EXPECT_FALSE(h.engine.Busy);
  // Idle again: the next instruction is accepted without a reset.
  h.engine.UpdateAllowed = true;
  EXPECT_TRUE(h.Offer("D3"));
}

TEST_F(ProgPsdTest, PeUploadsWithoutEraseOrVerifyEvenWhenNotAllowed) {
  const std::vector<std::string> lines = {":0100000011ee", ":00000001FF"};
  WriteHex("file.hex", lines);
  h.engine.UpdateAllowed = false;
  ASSERT_TRUE(h.Offer("PE file.hex"));
  h.Pump();
  h.ExpectWire("PE");
  h.Answer(".");
  h.ExpectWire(":0100000011ee\r\n");  // no verify sum: either case is sent as written
  AckUpload(2);
  h.Pump();
  h.ExpectWire(":0100000011ee\r\n:00000001FF\r\n");
  h.ExpectEvents({"busy:1", "max:3", "step", "step", "step", "busy:0"});
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_IDLE);
}

TEST_F(ProgPsdTest, PeRefusedOrEmpty) {
  WriteHex("empty.hex", {});
  ASSERT_TRUE(h.Offer("P E empty.hex"));
  h.Pump();
  h.ExpectNothingSent();
  h.ExpectError("Keyb File Empty !!!");

  h.engine.ResetEngine();
  WriteHex("image.hex", kImage);
  ASSERT_TRUE(h.Offer("PE image.hex"));
  h.Pump();
  h.TakeEvents();
  h.Answer("I");
  h.ExpectError("Instruction unknown");
  EXPECT_EQ(h.owner.RxBuffer, "");
}

// An empty file would leave the bank erased: it is refused before "P" + bank.
TEST_F(ProgPsdTest, EmptyFileIsRefusedBeforeTheErase) {
  WriteHex("empty.hex", {});
  ASSERT_TRUE(h.Offer("P4 empty.hex"));
  h.Pump();
  h.ExpectNothingSent();
  h.ExpectError("Keyb File Empty !!!");
}

// A line the device cannot take is refused before "P" + bank, with the file, the
// line and the reason; nothing is erased.
TEST_F(ProgPsdTest, AFileTheDeviceCannotTakeIsRefusedBeforeTheErase) {
  const struct {
    std::string instruction;
    std::vector<std::string> lines;
    std::string error;  // after the folder
  } cases[] = {
      {"P3 bad.hex", {":02800000AA557F", "", ":00000001FF"}, "bad.hex:2: blank line !!!"},
      {"P3 bad.hex",
       {":02800000AA557F", "garbage", ":00000001FF"},
       "bad.hex:2: not a record: a line of an Intel HEX file begins with ':' !!!"},
      {"P3 bad.hex",
       {":02800000AA55", ":00000001FF"},
       "bad.hex:1: byte count 02 says 2 data bytes, the line holds 1 !!!"},
      {"P3 bad.hex",
       {":02800000AA5580", ":00000001FF"},
       "bad.hex:1: record checksum is 80, the record's bytes need 7F !!!"},
      {"P0 bad.hex", kImage, "bad.hex:1: data at 8000-8001 lies outside bank 0 (0000-7FFF) !!!"},
      {"P3 bad.hex", kLowImage, "bad.hex:1: data at 0000-0001 lies outside bank 3 (8000-FFFF) !!!"},
      {"P3 bad.hex",
       {":02800000aa557f", ":00000001FF"},
       "bad.hex:1: lower-case hex digit 'a': the updater reads only upper-case digits when it "
       "sums the image for the device's verify (a lower-case one counts as 0), so the device "
       "would answer \"Checksum Error\" after the memory was erased and written; write the "
       "file in upper case !!!"},
      {"PE bad.hex", {":02800000AA557F"}, "bad.hex: no end record (:00000001FF) !!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.TakeEvents();
    WriteHex("bad.hex", c.lines);
    ASSERT_TRUE(h.Offer(c.instruction));
    h.Pump();
    h.ExpectNothingSent();
    h.ExpectError(h.engine.CurentDir + c.error);
  }
}

TEST(ProgPsdParse, TheIdleStateReadsTheseLines) {
  using K = TPsdInstruction::TKind;
  const struct {
    const char* line;
    K kind;
    int32_t bank;
    const char* file;
  } cases[] = {
      {"P3 image.hex", K::PSD_PROGRAM, 3, "image.hex"},
      {"P 0  my image.hex ", K::PSD_PROGRAM, 0, "my image.hex"},
      {"P7", K::PSD_PROGRAM, 7, ""},
      {"PE edid.hex", K::PSD_E, 0, "edid.hex"},
      {"P E", K::PSD_E, 0, ""},
      {"D2", K::PSD_ID, 2, ""},
      {"F 7 more", K::PSD_FINISH, 7, ""},
      {"P8 cpld.svf", K::PSD_NONE, 0, ""},
      {"D9", K::PSD_NONE, 0, ""},
      {"PB BOOT.HEX", K::PSD_NONE, 0, ""},
      {"FI", K::PSD_NONE, 0, ""},
      {"p3 image.hex", K::PSD_NONE, 0, ""},
      {"", K::PSD_NONE, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const TPsdInstruction parsed = TProgPsd::ParseInstruction(c.line);
    EXPECT_EQ(parsed.Kind, c.kind);
    EXPECT_EQ(parsed.Bank, c.bank);
    EXPECT_EQ(parsed.File, c.file);
  }
}

TEST_F(ProgPsdTest, DeviceFailures) {
  struct {
    std::vector<std::string> replies;  // answered one per Step after "P3" went out
    const char* error;
  } cases[] = {
      {{"I"}, "Instruction unknown"},
      {{".", "X"}, "Error while erasing !!!"},
      {{".", ".", "X"}, "Error while writing!!!"},
      {{".", ".", ".", "X"}, "Error while writing!!!"},
      {{".", ".", ".", ".", ".", ".", "", "X"}, "Checksum Error"},
  };
  WriteHex("image.hex", kImage);
  for (const auto& c : cases) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    ASSERT_TRUE(h.Offer("P3 image.hex"));
    h.Pump();
    for (const std::string& r : c.replies) h.Answer(r);
    h.ExpectError(c.error);
    EXPECT_EQ(h.engine.State(), TPsdState::PSD_ERROR) << c.error;
    EXPECT_TRUE(h.engine.Lines.empty()) << c.error;
  }
}

TEST_F(ProgPsdTest, NoiseBeforeTheAcknowledgementIsDropped) {
  WriteHex("image.hex", kImage);
  ASSERT_TRUE(h.Offer("P3 image.hex"));
  h.Pump();
  h.Answer("X");  // not an answer to "P3"
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_ERASE_ACK);
  EXPECT_EQ(h.owner.RxBuffer, "");
  EXPECT_EQ(h.engine.NoiseCount(), 1u);
  h.Answer(".");
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_ERASE_DONE);
}

TEST_F(ProgPsdTest, ReadsTheMcuIdentifier) {
  ASSERT_TRUE(h.Offer("D 2"));
  h.Pump();
  h.ExpectWire("D2");
  h.Answer(".");
  // The identifier arrives in pieces; nothing is read before its "." stands third.
  h.ReplyInPieces("4A.", 1);
  h.Pump();
  h.ExpectEvents({"busy:1", "info:Extract MCU ID", "info:ID Number : 4A", "busy:0"});
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(ProgPsdTest, IdentifierReplyWithDotElsewhereIsNotRead) {
  ASSERT_TRUE(h.Offer("D0"));
  h.Pump();
  h.Answer(".");
  h.Answer(".4A");  // the "." in front ends a text that is no identifier: noise
  h.Pump(5);
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_ID_DATA);
  EXPECT_EQ(h.owner.RxBuffer, "4A");
  EXPECT_EQ(h.engine.NoiseCount(), 1u);
  h.engine.ResetEngine();
  h.owner.RxBuffer.clear();
  ASSERT_TRUE(h.Offer("D0"));
  h.Pump();
  h.Answer("I");
  h.ExpectError("Instruction unknown");
}

TEST_F(ProgPsdTest, ClosingCommand) {
  ASSERT_TRUE(h.Offer("F7"));
  h.Pump();
  h.ExpectWire("F7");
  h.Answer(".");
  h.Pump();
  h.ExpectDone();
  ASSERT_TRUE(h.Offer("F1"));
  h.Pump();
  h.Answer("I");
  h.ExpectError("Instruction unknown");
}

TEST_F(ProgPsdTest, ResetEngineReturnsToIdleSilently) {
  WriteHex("image.hex", kImage);
  StartBank("P3 image.hex");
  ASSERT_FALSE(h.engine.Lines.empty());
  h.TakeEvents();
  h.engine.ResetEngine();
  h.ExpectEvents({});
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_IDLE);
  EXPECT_TRUE(h.engine.Lines.empty());
  EXPECT_FALSE(h.engine.Busy);
  EXPECT_EQ(h.engine.ErrorCount, 0);
}

TEST_F(ProgPsdTest, RepliesInPiecesOfEverySize) {
  WriteHex("three.hex", kThree);
  // The whole conversation's replies at once, as a link may deliver them.
  const std::string replies = "..R.....";
  ForEveryPieceSize(replies.size(), [&](size_t piece) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    h.TakeWire();
    ASSERT_TRUE(h.Offer("P6 three.hex"));
    h.Pump();
    h.ReplyInPieces(replies, piece);
    ASSERT_TRUE(h.RunToIdle()) << piece;
    EXPECT_EQ(h.TakeWire(),
              "P6:01800000116E\r\n:01800000116E\r\n:01800000116E\r\n"
              ":01800100225C\r\n:00000001FF\r\n" +
                  BuildHexRecord(0x0C, 0, "7E35") + "\r\n")
        << piece;
  });
}

}  // namespace
