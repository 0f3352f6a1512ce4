// The host's JTAG engine against the emulated device's chains: identifier reads,
// an IDCODE check with TDO and MASK, long SDRs written and read back through the
// user registers, on one- and two-device chains.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "integration/engine_rig.h"

namespace {

constexpr int kMain = TEmulatedDevice::kMainCardSlot;

const char* const kIdcodeCheck =
    "// IDCODE check of the first programmable memory\r\n"
    "TRST OFF;\r\n"
    "ENDIR IDLE;\r\n"
    "ENDDR IDLE;\r\n"
    "STATE RESET IDLE;\r\n"
    "SIR 8 TDI (01) TDO (01) MASK (03);\r\n"
    "SDR 32 TDI (00000000) TDO (1A5C80FF) MASK (0FFFFFFF);\r\n"
    "RUNTEST 100 TCK;\r\n"
    "STATE IDLE;\r\n";

class JtagOnDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_.Attach(boot_);
    rig_.Attach(crt_);
    rig_.Attach(jtag_);
    rig_.EnterUpdater();
    ASSERT_TRUE(rig_.Run(boot_, "SYN"));
    rig_.owner.ClearLogs();
  }
  TEngineRig rig_;
  TProgBoot boot_;
  TInstCrt crt_{rig_.clock};
  TProgJtag jtag_{rig_.clock};
};

TEST_F(JtagOnDevice, IdentifiersOfEveryChain) {
  for (const char* line : {"D8", "D9", "DA", "DC"}) ASSERT_TRUE(rig_.Run(jtag_, line)) << line;
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.owner.EventsWith("info:ID"),
            (std::vector<std::string>{
                "info:ID Number : [FFFFFFFF][1A5C80FF]", "info:ID Number : [FFFFFFFF][1A5C90FF]",
                "info:ID Number : [FFFFFFFF][2B3CA0FF]", "info:ID Number : [3C4DC0FF][3C4DD0FF]"}));
}

TEST_F(JtagOnDevice, IdcodeCheckWithTdoAndMaskPasses) {
  rig_.folder.Write("idcode.svf", kIdcodeCheck);
  ASSERT_TRUE(rig_.Run(jtag_, "P8 idcode.svf"));
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.owner.step_count, 7);  // one step per statement the device completed
  EXPECT_EQ(jtag_.ErrorCount, 0);
  ASSERT_TRUE(rig_.Run(jtag_, "F8"));
  EXPECT_EQ(rig_.device.Chain(kMain, '8').State(), TTapState::TAP_RESET);
}

TEST_F(JtagOnDevice, AnIdcodeThatDiffersFailsOnItsLineUnlessMasked) {
  std::string wrong = kIdcodeCheck;
  wrong.replace(wrong.find("1A5C80FF"), 8, "1A5C90FF");
  rig_.folder.Write("wrong.svf", wrong);
  ASSERT_TRUE(rig_.Run(jtag_, "P8 wrong.svf"));
  EXPECT_EQ(rig_.Errors(),
            (std::vector<std::string>{"error:Error while executing Effect file line : 7"}));
  jtag_.ResetEngine();
  std::string masked = wrong;
  masked.replace(masked.find("0FFFFFFF"), 8, "FFFF0FFF");  // hides the differing digit
  rig_.folder.Write("masked.svf", masked);
  rig_.owner.ClearLogs();
  jtag_.UpdateAllowed = true;
  ASSERT_TRUE(rig_.Run(jtag_, "P8 masked.svf"));
  EXPECT_TRUE(rig_.Errors().empty());
}

TEST_F(JtagOnDevice, LongSdrsAreWrittenAndReadBack) {
  rig_.folder.Write("user.svf",
                    "ENDIR IDLE;\n"
                    "ENDDR IDLE;\n"
                    "SIR 10 TDI (0002);\n"
                    "SDR 64 TDI (0123456789ABCDEF);\n"
                    "SDR 64 TDI (FEDCBA9876543210) TDO (0123456789ABCDEF);\n"
                    "SDR 64 TDI (0000000000000000) TDO (FEDCBA9876543210);\n"
                    "SIR 10 TDI (0006) TDO (0001) MASK (0003);\n"
                    "SDR 32 TDI (FFFFFFFF) TDO (2B3CA0FF);\n");
  ASSERT_TRUE(rig_.Run(crt_, "Q4"));
  ASSERT_TRUE(rig_.Run(jtag_, "PA user.svf"));
  ASSERT_TRUE(rig_.Run(crt_, "Z4"));
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.owner.step_count, 8);
  EXPECT_EQ(BitsToBytes(rig_.device.Chain(4, 'A').UserRegister(0)),
            (std::vector<uint8_t>(8, 0x00)));
  // The raw blocks went after the device's ESC "." acknowledgement.
  const std::vector<std::string>& sent = rig_.owner.Sent;
  const auto raw = std::find(sent.begin(), sent.end(), "EFCDAB8967452301C0");
  ASSERT_NE(raw, sent.end());
  EXPECT_EQ(*(raw - 1), ":01004063124A\r\n");
}

TEST_F(JtagOnDevice, TwoDeviceChainWithOneInBypass) {
  rig_.folder.Write("chain.svf",
                    "STATE RESET IDLE;\n"
                    "SIR 14 TDI (00BF) TDO (0041);\n"  // device 0 USER, device 1 BYPASS
                    "SDR 33 TDI (00AAAAAAAA);\n"       // user := 55555555, bypass bit 0
                    "SDR 33 TDI (0000000000) TDO (00AAAAAAAA) MASK (01FFFFFFFE);\n"
                    "SIR 14 TDI (0049);\n"  // back to the IDCODE instructions
                    "SDR 64 TDI (0000000000000000) TDO (3C4DC0FF3C4DD0FF);\n");
  ASSERT_TRUE(rig_.Run(jtag_, "PC chain.svf"));
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.owner.step_count, 6);
}

}  // namespace
