// A file converted by qelt-svf2eff plays on the emulated device as the SVF's own
// statements intend: SVF written for a two-device chain, with headers holding the
// second device in BYPASS, values carried from one statement to the next, RUNTEST
// in seconds and an end state, is converted, checked as a package would be, and
// played by the JTAG engine into the main card's chain "C".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/jtag_session.h"
#include "integration/engine_rig.h"
#include "engines/effect_file_check.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "tools/svf_convert.h"

namespace {

constexpr int kMain = TEmulatedDevice::kMainCardSlot;

// Chain "C" of the main card, from TDI to TDO: device 0 (IR 8 bits, IDCODE
// 3C4DC0FF by instruction 01, a 32-bit USER register by instruction 02), then
// device 1 (IR 6 bits, IDCODE 3C4DD0FF). The SVF addresses device 0; device 1, at
// the TDO end, is what the headers (shifted first) hold in BYPASS.
const char kSvf[] =
    "! Test vectors for device 0 of a two-device chain\r\n"
    "FREQUENCY 1.00E+06 HZ;\r\n"
    "TRST OFF;\r\n"
    "ENDIR IDLE;\r\n"
    "ENDDR IDLE;\r\n"
    "STATE RESET;\r\n"
    "STATE IDLE;\r\n"
    "HIR 6 TDI (3F);\r\n"
    "TIR 0;\r\n"
    "HDR 1 TDI (0);\r\n"
    "TDR 0;\r\n"
    "// the identifier, read through device 1's bypass bit\r\n"
    "SIR 8 TDI (01) TDO (01) MASK (03);\r\n"
    "SDR 32 TDI (00000000)\r\n"
    "       TDO (3c4dc0ff);\r\n"
    "// the user register: written, then read back with the same TDI repeated\r\n"
    "SIR 8 TDI (02);\r\n"
    "SDR 32 TDI (CAFEF00D);\r\n"
    "SDR 32 TDO (CAFEF00D);\r\n"
    "SDR 32 TDI (FFFFFFFF) SMASK (0000FFFF) TDO (CAFEF00D) MASK (FFFF0000);\r\n"
    "RUNTEST 100 TCK;\r\n"
    "RUNTEST IDLE 1.0E-03 SEC;\r\n"
    "SDR 32 TDI (00000000) TDO (0000FFFF);\r\n"  // SMASK 0000FFFF still applies
    "SDR 32 TDI (12345678);\r\n"                 // and here: 00005678 is written
    "RUNTEST 10 TCK ENDSTATE DRPAUSE;\r\n";

class SvfOnDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_.Attach(boot_);
    rig_.Attach(jtag_);
    rig_.EnterUpdater();
    ASSERT_TRUE(rig_.Run(boot_, "SYN"));
    rig_.owner.ClearLogs();
  }
  TEngineRig rig_;
  TProgBoot boot_;
  TProgJtag jtag_{rig_.clock};
};

TEST_F(SvfOnDevice, AConvertedFilePlaysAsItsStatementsIntend) {
  const TSvfConversion c = ConvertSvf(kSvf, TSvfOptions{1000000, false});
  ASSERT_TRUE(c.Ok());
  std::string effect;
  for (const std::string& line : c.Lines) effect += line + "\r\n";
  rig_.folder.Write("chain.eff", effect);

  // The file passes the check a package gets before a run.
  TEffectFileCheck check;
  ASSERT_TRUE(check.Open(rig_.folder.Dir() + "chain.eff"));
  EXPECT_TRUE(check.Advance(1000));
  EXPECT_TRUE(check.Faults().empty());

  ASSERT_TRUE(rig_.Run(jtag_, "PC chain.eff"));
  EXPECT_TRUE(rig_.Errors().empty()) << rig_.Errors().front();
  // Every statement ran: the identifier and both read-backs matched their TDO.
  EXPECT_EQ(rig_.owner.step_count, static_cast<int>(c.Lines.size()) - 1);  // TRST sends nothing
  const TJtagChain& chain = rig_.device.Chain(kMain, 'C');
  EXPECT_EQ(BitsToBytes(chain.UserRegister(0)), (std::vector<uint8_t>{0x78, 0x56, 0x00, 0x00}));
  EXPECT_EQ(chain.Instruction(1), 0x3Fu);  // device 1 stayed in BYPASS
  EXPECT_EQ(chain.State(), TTapState::TAP_DRPAUSE);
}

// The same statements without the headers address the wrong device: the identifier
// read (line 7 of the Effect file) then differs, and the playback fails there. The
// fold is what makes it right.
TEST_F(SvfOnDevice, WithoutTheHeadersTheIdentifierDoesNotMatch) {
  std::string svf = kSvf;
  svf.replace(svf.find("HIR 6 TDI (3F);"), 15, "HIR 0;");
  svf.replace(svf.find("HDR 1 TDI (0);"), 14, "HDR 0;");
  const TSvfConversion c = ConvertSvf(svf, TSvfOptions{1000000, false});
  ASSERT_TRUE(c.Ok());
  std::string effect;
  for (const std::string& line : c.Lines) effect += line + "\r\n";
  rig_.folder.Write("chain.eff", effect);
  ASSERT_TRUE(rig_.Run(jtag_, "PC chain.eff"));
  EXPECT_EQ(rig_.Errors(),
            (std::vector<std::string>{"error:Error while executing Effect file line : 7"}));
}

}  // namespace
