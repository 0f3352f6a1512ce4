#include "engines/gestionnaire.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engines/testing/test_owner.h"

namespace {

// Opens the base's protected operations to the tests.
class TProbe : public TGestionnaire {
 public:
  using TGestionnaire::BeginUpload;
  using TGestionnaire::ClearBusy;
  using TGestionnaire::ClearInput;
  using TGestionnaire::ConsumeInput;
  using TGestionnaire::CountRetransmission;
  using TGestionnaire::InputStartsWith;
  using TGestionnaire::PostInfo;
  using TGestionnaire::PullInput;
  using TGestionnaire::ReceiveAck;
  using TGestionnaire::ReceiveDone;
  using TGestionnaire::ReceiveRecordReply;
  using TGestionnaire::SendFileLine;
  using TGestionnaire::SendLine;
  using TGestionnaire::SetBusy;
  using TGestionnaire::SetDeviceID;
  using TGestionnaire::SetMaxProgress;
  using TGestionnaire::SpeedDown;
  using TGestionnaire::StartRetransmissionCount;
  using TGestionnaire::StepProgress;
  using TGestionnaire::TRecordReply;
  using TGestionnaire::UploadStep;
};

class GestionnaireTest : public ::testing::Test {
 protected:
  GestionnaireTest() { owner.Attach(engine); }
  TProbe engine;
  TTestOwner owner;
};

void ExpectInitialValues(const TGestionnaire& e) {
  EXPECT_EQ(e.Instruction, "");
  EXPECT_EQ(e.BufIn, "");
  EXPECT_EQ(e.BufOut, "");
  EXPECT_EQ(e.ErrorText, "");
  EXPECT_EQ(e.InfoText, "");
  EXPECT_EQ(e.MaxProgress, 100);
  EXPECT_EQ(e.DeviceID, 0);
  EXPECT_FALSE(e.UpdateAllowed);
  EXPECT_EQ(e.ErrorCount, 0);
  EXPECT_FALSE(e.Busy);
}

TEST_F(GestionnaireTest, StartsWithTheInitialValues) {
  ExpectInitialValues(engine);
  EXPECT_EQ(engine.CurentDir, "");
}

TEST_F(GestionnaireTest, EachOperationStoresItsValueAndRaisesItsOneEvent) {
  struct {
    const char* name;
    std::function<void()> run;
    std::vector<std::string> events;
  } const cases[] = {
      {"SetBusy", [&] { engine.SetBusy(); }, {"busy:1"}},
      {"ClearBusy", [&] { engine.ClearBusy(); }, {"busy:0"}},
      {"PostInfo", [&] { engine.PostInfo("Reset"); }, {"info:Reset"}},
      {"PostError", [&] { engine.PostError("Checksum Error"); }, {"error:Checksum Error"}},
      {"SetMaxProgress", [&] { engine.SetMaxProgress(7); }, {"max:7"}},
      {"StepProgress", [&] { engine.StepProgress(); }, {"step"}},
      {"SetDeviceID", [&] { engine.SetDeviceID(0x1A2B); }, {"id:6699"}},
      {"SpeedDown", [&] { engine.SpeedDown(); }, {"speeddown"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    owner.ClearLogs();
    c.run();
    EXPECT_EQ(owner.Events, c.events);
    EXPECT_EQ(owner.Wire, "");
  }
  EXPECT_EQ(engine.InfoText, "Reset");
  EXPECT_EQ(engine.ErrorText, "Checksum Error");
  EXPECT_EQ(engine.MaxProgress, 7);
  EXPECT_EQ(engine.DeviceID, 0x1A2B);
  EXPECT_FALSE(engine.Busy);
}

TEST_F(GestionnaireTest, SendLineHandsTheExactTextToTheOwner) {
  engine.SendLine("PB");
  engine.SendLine(":00000001FF\r\n");
  EXPECT_EQ(engine.BufOut, ":00000001FF\r\n");
  EXPECT_EQ(owner.Wire, "PB:00000001FF\r\n");
  EXPECT_EQ(owner.Sent, (std::vector<std::string>{"PB", ":00000001FF\r\n"}));
}

TEST_F(GestionnaireTest, PullInputCopiesTheWholeAccumulator) {
  owner.Reply("12");
  owner.Reply("34.");
  engine.PullInput();
  EXPECT_EQ(engine.BufIn, "1234.");
}

TEST_F(GestionnaireTest, ConsumeInputDropsTheCountWhateverItHolds) {
  owner.Reply("I.R");
  engine.PullInput();
  ASSERT_TRUE(engine.InputStartsWith('I'));
  engine.ConsumeInput(1);
  EXPECT_EQ(engine.BufIn, ".R");
  EXPECT_EQ(owner.RxBuffer, ".R");
  engine.ConsumeInput(6);
  EXPECT_EQ(engine.BufIn, "");
  EXPECT_EQ(owner.RxBuffer, "");
}

TEST_F(GestionnaireTest, ConsumeInputOnAnEmptyBufferStillRaisesItsEvent) {
  int changes = 0;
  engine.OnChangeBufIn = [&](TGestionnaire*) { ++changes; };
  engine.ConsumeInput(1);
  EXPECT_EQ(engine.BufIn, "");
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(engine.InputStartsWith('.'));
}

// The replies the engines wait for, read from the owner's accumulator: what each
// reading returns, what it leaves, what it raises and how many bytes in front of
// the reply it dropped as noise.
struct TReplyCase {
  std::string received;
  int result;  // ReceiveAck/ReceiveDone: 1 true, 0 false; record: TRecordReply value
  std::string left;
  std::vector<std::string> events;
  uint64_t noise = 0;
};

TEST_F(GestionnaireTest, ReceiveAckTakesTheDotAndFailsOnAnUnknownCommand) {
  const TReplyCase cases[] = {
      {"", 0, "", {}},      {".R", 1, "R", {}},   {"I.", 0, ".", {"error:Instruction unknown"}},
      {"X.", 1, "", {}, 1}, {"R.", 1, "", {}, 1}, {" \r\n.X", 1, "X", {}, 3},
      {"ZZ", 0, "", {}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.received);
    engine.ResetEngine();
    owner.ClearLogs();
    owner.RxBuffer = c.received;
    EXPECT_EQ(engine.ReceiveAck(), c.result == 1);
    EXPECT_EQ(owner.RxBuffer, c.left);
    EXPECT_EQ(owner.Events, c.events);
    EXPECT_EQ(owner.Wire, "");
    EXPECT_EQ(engine.NoiseCount(), c.noise);
  }
}

TEST_F(GestionnaireTest, ReceiveDoneTakesTheDotAndFailsOnX) {
  const TReplyCase cases[] = {
      {".X", 1, "X", {}},   {"X.", 0, ".", {"error:Error while erasing !!!"}},
      {"I.", 1, "", {}, 1}, {"R", 0, "", {}, 1},
      {"", 0, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.received);
    engine.ResetEngine();
    owner.ClearLogs();
    owner.RxBuffer = c.received;
    EXPECT_EQ(engine.ReceiveDone("Error while erasing !!!"), c.result == 1);
    EXPECT_EQ(owner.RxBuffer, c.left);
    EXPECT_EQ(owner.Events, c.events);
    EXPECT_EQ(engine.NoiseCount(), c.noise);
  }
}

TEST_F(GestionnaireTest, ReceiveRecordReplyCountsEachResendRequest) {
  using R = TProbe::TRecordReply;
  const TReplyCase cases[] = {
      {".R", static_cast<int>(R::RECORD_TAKEN), "R", {}},
      {"R.", static_cast<int>(R::RECORD_RESEND), ".", {}},
      {"X.", static_cast<int>(R::RECORD_FAILED), ".", {"error:Checksum Error"}},
      {"I.", static_cast<int>(R::RECORD_TAKEN), "", {}, 1},
      {"", static_cast<int>(R::RECORD_NONE), "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.received);
    engine.ResetEngine();
    owner.ClearLogs();
    owner.RxBuffer = c.received;
    engine.StartRetransmissionCount();
    EXPECT_EQ(static_cast<int>(engine.ReceiveRecordReply("Checksum Error")), c.result);
    EXPECT_EQ(owner.RxBuffer, c.left);
    EXPECT_EQ(owner.Events, c.events);
    EXPECT_EQ(engine.ErrorCount, c.result == static_cast<int>(R::RECORD_RESEND) ? 1 : 0);
    EXPECT_EQ(engine.NoiseCount(), c.noise);
  }
}

TEST_F(GestionnaireTest, The301stRetransmissionOfAnOperationFailsIt) {
  engine.ErrorCount = 17;
  engine.StartRetransmissionCount();
  for (int i = 1; i <= 299; ++i) ASSERT_TRUE(engine.CountRetransmission()) << i;
  owner.RxBuffer = "R";
  EXPECT_EQ(engine.ReceiveRecordReply("x"), TProbe::TRecordReply::RECORD_RESEND);
  EXPECT_EQ(engine.ErrorCount, 300);
  EXPECT_TRUE(owner.Events.empty());
  owner.RxBuffer = "R";
  EXPECT_EQ(engine.ReceiveRecordReply("x"), TProbe::TRecordReply::RECORD_FAILED);
  EXPECT_EQ(engine.ErrorCount, 301);
  EXPECT_EQ(owner.Events, (std::vector<std::string>{"error:Too Many Transmission Error !!!"}));
  EXPECT_FALSE(engine.CountRetransmission());  // each one after fails again
}

TEST_F(GestionnaireTest, UploadStepSendsLineZeroTwiceThenEachLineOnItsAcknowledgement) {
  const std::vector<std::string> lines = {":0100000011EE", ":00000001FF"};
  int32_t next = 0;
  engine.SendFileLine(lines, 0);  // as an upload starts
  const struct {
    std::string reply;
    bool finished;
    std::string wire;
    int32_t next;
    std::vector<std::string> events;
  } beats[] = {
      {"", false, "", 0, {}},
      {"R", false, ":0100000011EE\r\n", 0, {}},
      {".", false, ":0100000011EE\r\n", 1, {"step"}},
      {"R", false, ":0100000011EE\r\n", 1, {}},
      {"?", false, "", 1, {}},  // noise: dropped
      {".", false, ":00000001FF\r\n", 2, {"step"}},
      {"R", false, ":00000001FF\r\n", 2, {}},
      {".", true, "", 2, {"step"}},
      {"X", false, "", 2, {"error:Error while writing!!!"}},
  };
  EXPECT_EQ(owner.Wire, ":0100000011EE\r\n");
  for (const auto& b : beats) {
    SCOPED_TRACE(b.reply + " -> " + b.wire);
    owner.ClearLogs();
    owner.RxBuffer = b.reply;
    EXPECT_EQ(engine.UploadStep(lines, next), b.finished);
    EXPECT_EQ(owner.Wire, b.wire);
    EXPECT_EQ(next, b.next);
    EXPECT_EQ(owner.Events, b.events);
    EXPECT_EQ(owner.RxBuffer, "");
  }
  EXPECT_EQ(engine.ErrorCount, 3);
  EXPECT_EQ(engine.NoiseCount(), 1u);
}

// "I" to a file line: the device did not read it as a record. The upload fails at
// once, naming the file and the 1-based line sent last, and sends nothing more.
TEST_F(GestionnaireTest, UploadStepFailsOnTheFirstIAndNamesTheLine) {
  const std::vector<std::string> lines = {":0100000011EE", "junk", ":00000001FF"};
  struct {
    std::vector<std::string> before;  // acknowledgements before the refusal
    std::string error;
  } const cases[] = {
      {{}, "dir/f.hex line 1: the device cannot take this line (it answered \"I\")"},
      {{".", "."}, "dir/f.hex line 2: the device cannot take this line (it answered \"I\")"},
      {{".", "R", "."}, "dir/f.hex line 2: the device cannot take this line (it answered \"I\")"},
  };
  for (const auto& c : cases) {
    engine.ResetEngine();
    engine.BeginUpload("dir/f.hex");
    int32_t next = 0;
    engine.SendFileLine(lines, 0);
    for (const std::string& reply : c.before) {
      owner.RxBuffer = reply;
      engine.UploadStep(lines, next);
    }
    owner.ClearLogs();
    owner.RxBuffer = "IIII";
    EXPECT_FALSE(engine.UploadStep(lines, next));
    EXPECT_EQ(owner.Wire, "");
    EXPECT_EQ(owner.Events, (std::vector<std::string>{"error:" + c.error}));
    EXPECT_EQ(owner.RxBuffer, "III");
  }
}

TEST_F(GestionnaireTest, ClearInputDropsEverythingForEverybody) {
  owner.Reply("0102.X");
  engine.PullInput();
  engine.ClearInput();
  EXPECT_EQ(engine.BufIn, "");
  EXPECT_EQ(owner.RxBuffer, "");
}

TEST_F(GestionnaireTest, DeviceIdIsNeverNegative) {
  for (uint16_t id : {uint16_t{0x8000}, uint16_t{0xFFFF}, uint16_t{0x0000}}) {
    engine.SetDeviceID(id);
    EXPECT_EQ(engine.DeviceID, static_cast<int32_t>(id));
    EXPECT_GE(engine.DeviceID, 0);
  }
}

TEST_F(GestionnaireTest, ResetEngineClearsEverythingAndRaisesNothing) {
  engine.Instruction = "RS";
  engine.BufIn = "x";
  engine.SendLine("RS");
  engine.PostInfo("Reset");
  engine.PostError("Instruction unknown");
  engine.SetMaxProgress(9);
  engine.SetDeviceID(0xFFFF);
  engine.UpdateAllowed = true;
  engine.ErrorCount = 12;
  engine.CurentDir = "dir/";
  engine.SetBusy();
  owner.ClearLogs();

  engine.ResetEngine();
  EXPECT_TRUE(owner.Events.empty());
  ExpectInitialValues(engine);
  EXPECT_EQ(engine.CurentDir, "dir/");  // the folder is the owner's setting
}

TEST(GestionnaireUnwired, OperationsWithoutHandlersRaiseNothingAndKeepBufIn) {
  TProbe bare;
  bare.BufIn = "kept";
  bare.PullInput();  // no owner: BufIn stays as it was
  EXPECT_EQ(bare.BufIn, "kept");
  bare.SetBusy();
  bare.SendLine("RS");
  bare.PostInfo("i");
  bare.PostError("e");
  bare.SetMaxProgress(3);
  bare.StepProgress();
  bare.SetDeviceID(1);
  bare.SpeedDown();
  bare.ConsumeInput(1);
  bare.ClearBusy();
  EXPECT_EQ(bare.BufIn, "ept");
  EXPECT_EQ(bare.BufOut, "RS");
  EXPECT_EQ(bare.ErrorText, "e");
}

}  // namespace
