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

// Lines of a HEX image with data at 0x0000 (12 34) and at 0x8000 (AA 55).
const std::vector<std::string> kImage = {":020000001234B8", ":02800000AA557F", ":00000001FF"};
// Verify records of that image: 0x0000-0x7FFF sums to 0x7E48, 0x8000-0xFFFF to 0x7F01.
const char kVerifyBank0[] = ":0200000C7E482C\r\n";
const char kVerifyUpper[] = ":0200000C7F0172\r\n";

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
  h.ExpectWire(":020000001234B8\r\n");
  AckUpload(kImage.size());
  h.Pump();  // VerifySend
  h.ExpectWire(":020000001234B8\r\n:02800000AA557F\r\n:00000001FF\r\n" + std::string(kVerifyUpper));
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
  } cases[] = {{"P0 image.hex", kVerifyBank0},
               {"P1 image.hex", kVerifyUpper},
               {"P7 image.hex", kVerifyUpper}};
  WriteHex("image.hex", kImage);
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
  const std::vector<std::string> lines = {":0100000011EE", ":0100010022DC", ":00000001FF"};
  WriteHex("three.hex", lines);
  StartBank("P2 three.hex");
  EXPECT_EQ(h.owner.max_progress, 4);
  AckUpload(3);
  h.Pump();
  h.ExpectWire("P2:0100000011EE\r\n:0100000011EE\r\n:0100010022DC\r\n:00000001FF\r\n" +
               BuildHexRecord(0x0C, 0, "8000") + "\r\n");
  EXPECT_EQ(h.owner.step_count, 4);
  EXPECT_EQ(h.owner.progress, 4);
}

TEST_F(ProgPsdTest, RetransmissionsResendTheLastLine) {
  const std::vector<std::string> lines = {":0100000011EE", ":0100010022DC"};
  WriteHex("two.hex", lines);
  StartBank("P5 two.hex");
  h.TakeWire();
  h.Answer("R");  // to the very first line
  h.ExpectWire(":0100000011EE\r\n");
  h.Answer(".");
  h.Answer(".");
  h.ExpectWire(":0100000011EE\r\n:0100010022DC\r\n");
  h.Answer("R");
  h.ExpectWire(":0100010022DC\r\n");
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
  EXPECT_EQ(h.TakeWire().size(), 299 * std::string(":020000001234B8\r\n").size());
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
  const std::vector<std::string> lines = {":0100000011EE", ":00000001FF"};
  WriteHex("file.hex", lines);
  h.engine.UpdateAllowed = false;
  ASSERT_TRUE(h.Offer("PE file.hex"));
  h.Pump();
  h.ExpectWire("PE");
  h.Answer(".");
  h.ExpectWire(":0100000011EE\r\n");
  AckUpload(2);
  h.Pump();
  h.ExpectWire(":0100000011EE\r\n:00000001FF\r\n");
  h.ExpectEvents({"busy:1", "max:3", "step", "step", "step", "busy:0"});
  EXPECT_EQ(h.engine.State(), TPsdState::PSD_IDLE);
}

TEST_F(ProgPsdTest, PeRefusedOrEmpty) {
  WriteHex("empty.hex", {});
  ASSERT_TRUE(h.Offer("P E empty.hex"));
  h.Pump();
  h.Answer(".");
  h.ExpectWire("PE");
  h.ExpectError("Keyb File Empty !!!");

  h.engine.ResetEngine();
  ASSERT_TRUE(h.Offer("PE empty.hex"));
  h.Pump();
  h.TakeEvents();
  h.Answer("I");
  h.ExpectError("Instruction unknown");
  EXPECT_EQ(h.owner.RxBuffer, "");
}

TEST_F(ProgPsdTest, EmptyFileIsNoticedAfterTheErase) {
  WriteHex("empty.hex", {});
  ASSERT_TRUE(h.Offer("P4 empty.hex"));
  h.Pump();
  h.Answer(".");
  h.ExpectEvents({"busy:1", "info:Erase Bank4"});
  h.Answer(".");
  h.ExpectWire("P4");
  h.ExpectError("Keyb File Empty !!!");
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
  const std::vector<std::string> lines = {":0100000011EE", ":0100010022DC"};
  WriteHex("two.hex", lines);
  // The whole conversation's replies at once, as a link may deliver them.
  const std::string replies = "..R....";
  ForEveryPieceSize(replies.size(), [&](size_t piece) {
    h.engine.ResetEngine();
    h.engine.UpdateAllowed = true;
    h.owner.RxBuffer.clear();
    h.TakeWire();
    ASSERT_TRUE(h.Offer("P6 two.hex"));
    h.Pump();
    h.ReplyInPieces(replies, piece);
    ASSERT_TRUE(h.RunToIdle()) << piece;
    EXPECT_EQ(h.TakeWire(),
              "P6:0100000011EE\r\n:0100000011EE\r\n:0100000011EE\r\n"
              ":0100010022DC\r\n" +
                  BuildHexRecord(0x0C, 0, "8000") + "\r\n")
        << piece;
  });
}

}  // namespace
