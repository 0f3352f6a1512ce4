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
  using TGestionnaire::ClearBusy;
  using TGestionnaire::ClearInput;
  using TGestionnaire::ConsumeInput;
  using TGestionnaire::InputStartsWith;
  using TGestionnaire::PostInfo;
  using TGestionnaire::PullInput;
  using TGestionnaire::SendLine;
  using TGestionnaire::SetBusy;
  using TGestionnaire::SetDeviceID;
  using TGestionnaire::SetMaxProgress;
  using TGestionnaire::SpeedDown;
  using TGestionnaire::StepProgress;
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

TEST_F(GestionnaireTest, ConsumeInputDropsTheTokensLengthWhateverItHolds) {
  owner.Reply("I.R");
  engine.PullInput();
  ASSERT_TRUE(engine.InputStartsWith('I'));
  engine.ConsumeInput("X");  // only the length counts
  EXPECT_EQ(engine.BufIn, ".R");
  EXPECT_EQ(owner.RxBuffer, ".R");
  engine.ConsumeInput("LONGER");
  EXPECT_EQ(engine.BufIn, "");
  EXPECT_EQ(owner.RxBuffer, "");
}

TEST_F(GestionnaireTest, ConsumeInputOnAnEmptyBufferStillRaisesItsEvent) {
  int changes = 0;
  engine.OnChangeBufIn = [&](TGestionnaire*) { ++changes; };
  engine.ConsumeInput(".");
  EXPECT_EQ(engine.BufIn, "");
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(engine.InputStartsWith('.'));
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
  bare.ConsumeInput("k");
  bare.ClearBusy();
  EXPECT_EQ(bare.BufIn, "ept");
  EXPECT_EQ(bare.BufOut, "RS");
  EXPECT_EQ(bare.ErrorText, "e");
}

}  // namespace
