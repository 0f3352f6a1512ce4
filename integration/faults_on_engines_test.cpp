// Each device fault against the host's engines: the engine's exact recovery (a
// resend, counted) or its exact error text.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "integration/engine_rig.h"

namespace {

constexpr int kMain = TEmulatedDevice::kMainCardSlot;

const char* const kIdcodeCheck =
    "// IDCODE check\n"
    "TRST OFF;\n"
    "ENDIR IDLE;\n"
    "ENDDR IDLE;\n"
    "STATE RESET IDLE;\n"
    "SIR 8 TDI (01) TDO (01) MASK (03);\n"
    "SDR 32 TDI (00000000) TDO (1A5C80FF) MASK (0FFFFFFF);\n"
    "RUNTEST 100 TCK;\n"
    "STATE IDLE;\n";

TDeviceConfig WithFaults(const std::vector<std::string>& rules, uint64_t seed = 1) {
  TDeviceConfig config;
  config.Faults.Seed = seed;
  for (const std::string& text : rules) {
    TFaultRule rule;
    std::string error;
    if (!ParseFaultRule(text, rule, error)) ADD_FAILURE() << text << ": " << error;
    config.Faults.Rules.push_back(rule);
  }
  return config;
}

// One rig with all four engines, synchronised, with the test files written.
struct TFaultRig {
  explicit TFaultRig(TDeviceConfig config) : rig(std::move(config)) {
    rig.Attach(boot);
    rig.Attach(crt);
    rig.Attach(psd);
    rig.Attach(jtag);
    rig.EnterUpdater();
    boot_image = rig.WriteHex("img.hex", 0x4000, Pattern(400, 0x21));
    bank_image = rig.WriteHex("bank.hex", 0x8000, Pattern(400, 0x33));
    rig.WriteHex("edid.hex", 0x0000, Pattern(128, 0x44));
    rig.folder.Write("idcode.svf", kIdcodeCheck);
  }
  // Runs `line` on the engine that takes it; false when it never finished.
  bool Run(const std::string& line, int max_ticks = 20000) {
    if (line == "SYN" || line.rfind("PB", 0) == 0) return rig.Run(boot, line, max_ticks);
    if (line.size() > 1 && std::string("89AC").find(line[1]) != std::string::npos &&
        std::string("PDF").find(line[0]) != std::string::npos) {
      return rig.Run(jtag, line, max_ticks);
    }
    if (std::string("PDF").find(line[0]) != std::string::npos && line.rfind("FI", 0) != 0 &&
        line.rfind("FU", 0) != 0 && line.rfind("FY", 0) != 0) {
      return rig.Run(psd, line, max_ticks);
    }
    return rig.Run(crt, line, max_ticks);
  }
  TEngineRig rig;
  TProgBoot boot;
  TInstCrt crt{rig.clock};
  TProgPsd psd;
  TProgJtag jtag{rig.clock};
  std::vector<std::string> boot_image, bank_image;
};

TEST(FaultsOnEngines, EachFailureGivesTheEnginesExactErrorText) {
  struct TCase {
    const char* fault;
    const char* line;
    const char* error;
  };
  const TCase table[] = {
      {"erase-fail,mem=boot", "PB img.hex", "Error while erasing !!!"},
      {"erase-fail,mem=bank2", "P2 bank.hex", "Error while erasing !!!"},
      {"write-fail,mem=boot,skip=3", "PB img.hex", "Error while writing!!!"},
      {"write-fail,mem=main.bank1", "P1 bank.hex", "Error while writing!!!"},
      {"write-fail,mem=e", "PE edid.hex", "Error while writing!!!"},
      {"verify-fail,mem=boot", "PB img.hex", "Checksum Error"},
      {"verify-fail,mem=bank1", "P1 bank.hex", "Checksum Error"},
      {"resend,mem=bank1", "P1 bank.hex", "Too Many Transmission Error !!!"},
      {"resend,mem=boot", "PB img.hex", "Too Many Transmission Error !!!"},
      {"resend,mem=e", "PE edid.hex", "Too Many Transmission Error !!!"},
      {"resend,mem=jtag8", "P8 idcode.svf", "Too Many Transmission Error !!!"},
      {"capture-checksum,mem=jtag8", "P8 idcode.svf", "Too Many Transmission Error !!!"},
      {"verify-fail,mem=jtag8", "P8 idcode.svf", "Error while executing Effect file line : 6"},
      {"write-fail,mem=jtag8,skip=2", "P8 idcode.svf",
       "Error while executing Effect file line : 5"},
      {"read-fail,mem=version8", "T8 0100", "Error while reading version number !!!"},
      {"write-fail,mem=version8", "V8 0200", "Error while writing version number !!!"},
      {"write-fail,mem=version9", "UV 9 0200", "Error while writing version number !!!"},
      {"unknown,cmd=RS", "RS", "Instruction unknown"},
      {"unknown,cmd=Q3", "Q3", "Instruction unknown"},
      {"unknown,cmd=T", "T8 0100", "Instruction unknown"},
      {"unknown,cmd=PB", "PB img.hex", "Instruction unknown"},
      {"unknown,cmd=P3", "P3 bank.hex", "Instruction unknown"},
      {"unknown,cmd=PE", "PE edid.hex", "Instruction unknown"},
      {"unknown,cmd=D2", "D2", "Instruction unknown"},
      {"unknown,cmd=F1", "F1", "Instruction unknown"},
      {"unknown,cmd=D8", "D8", "Instruction unknown"},
      {"unknown,cmd=P9", "P9 idcode.svf", "Instruction unknown"},
      {"unknown,cmd=FC", "FC", "Instruction unknown"},
  };
  for (const TCase& c : table) {
    TFaultRig f(WithFaults({c.fault}));
    ASSERT_TRUE(f.Run("SYN")) << c.fault;
    ASSERT_TRUE(f.Run(c.line)) << c.fault;
    EXPECT_EQ(f.rig.Errors(), (std::vector<std::string>{std::string("error:") + c.error}))
        << c.fault;
  }
}

TEST(FaultsOnEngines, TheThreeHundredthResendIsStillAnsweredTheNextFails) {
  TFaultRig ok(WithFaults({"resend,mem=bank1,count=300"}));
  ASSERT_TRUE(ok.Run("SYN"));
  ASSERT_TRUE(ok.Run("P1 bank.hex"));
  EXPECT_TRUE(ok.rig.Errors().empty());
  EXPECT_EQ(ok.psd.ErrorCount, 300);
  EXPECT_EQ(ok.rig.device.BankMemory(kMain, 1), Image(0x8000, 0, Pattern(400, 0x33)));
  TFaultRig fails(WithFaults({"resend,mem=bank1,count=301"}));
  ASSERT_TRUE(fails.Run("SYN"));
  ASSERT_TRUE(fails.Run("P1 bank.hex"));
  EXPECT_EQ(fails.rig.Errors(),
            (std::vector<std::string>{"error:Too Many Transmission Error !!!"}));
  EXPECT_EQ(fails.rig.device.Stats().ResendRequests, 301u);
}

TEST(FaultsOnEngines, ResendsAreAnsweredAndCountedAndTheMemoryStillEndsRight) {
  TFaultRig f(WithFaults({"resend,rate=20"}, 99));
  ASSERT_TRUE(f.Run("SYN"));
  ASSERT_TRUE(f.Run("PB img.hex"));
  ASSERT_TRUE(f.Run("P1 bank.hex"));
  ASSERT_TRUE(f.Run("P8 idcode.svf"));
  EXPECT_TRUE(f.rig.Errors().empty());
  EXPECT_GT(f.rig.device.Stats().ResendRequests, 10u);
  EXPECT_EQ(static_cast<uint32_t>(f.boot.ErrorCount + f.psd.ErrorCount + f.jtag.ErrorCount),
            f.rig.device.Stats().ResendRequests);
  EXPECT_EQ(f.rig.device.BootArea(), Image(0x2000, 0, Pattern(400, 0x21)));
  EXPECT_EQ(f.rig.device.BankMemory(kMain, 1), Image(0x8000, 0, Pattern(400, 0x33)));
}

TEST(FaultsOnEngines, ADamagedCaptureIsAskedForAgainWithR) {
  TFaultRig f(WithFaults({"capture-checksum,mem=jtag8,count=2"}));
  ASSERT_TRUE(f.Run("SYN"));
  ASSERT_TRUE(f.Run("P8 idcode.svf"));
  EXPECT_TRUE(f.rig.Errors().empty());
  EXPECT_EQ(f.jtag.ErrorCount, 2);
  EXPECT_EQ(std::count(f.rig.owner.Sent.begin(), f.rig.owner.Sent.end(), "R"), 2);
}

TEST(FaultsOnEngines, NoiseBeforeRepliesWhereTheEngineCanSkipIt) {
  // The boot loader's synchronisation drops what is not ".", and the JTAG
  // playback drops what cannot begin a reply (here before the three statements
  // that come ahead of the first captured data).
  TFaultRig f(WithFaults({"garbage,cmd=%", "garbage,cmd=:,count=3"}));
  ASSERT_TRUE(f.Run("SYN"));
  ASSERT_TRUE(f.Run("P8 idcode.svf"));
  EXPECT_TRUE(f.rig.Errors().empty());
  EXPECT_EQ(f.boot.DeviceID, 0x01A7);
  EXPECT_GT(f.jtag.NoiseCount(), 2u);
}

TEST(FaultsOnEngines, NoiseBeforeCapturedDataIsDroppedNotReadAsData) {
  TFaultRig f(WithFaults({"garbage,cmd=:,skip=3,count=1,bytes=2"}));
  ASSERT_TRUE(f.Run("SYN"));
  ASSERT_TRUE(f.Run("P8 idcode.svf"));
  EXPECT_TRUE(f.rig.Errors().empty());
  EXPECT_EQ(f.jtag.NoiseCount(), 2u);
  EXPECT_EQ(f.jtag.ErrorCount, 0);
}

// Noise on the line, before every reply or before a few data-record replies, up to
// the largest amount the emulator injects: every operation still ends right.
TEST(FaultsOnEngines, NoiseBeforeRepliesIsDroppedAndEveryOperationEndsRight) {
  for (const char* fault :
       {"garbage", "garbage,cmd=:,rate=5", "garbage,cmd=:,count=4,bytes=4096"}) {
    SCOPED_TRACE(fault);
    TFaultRig f(WithFaults({fault}, 7));
    uint64_t noise = 0;
    for (const char* line : {"SYN", "PB img.hex", "P1 bank.hex", "PE edid.hex", "T8 0100", "D3",
                             "DC", "M2", "P8 idcode.svf", "V8 0200", "FI"}) {
      ASSERT_TRUE(f.Run(line)) << line;
      noise += f.boot.NoiseCount() + f.crt.NoiseCount() + f.psd.NoiseCount() + f.jtag.NoiseCount();
    }
    EXPECT_TRUE(f.rig.Errors().empty());
    EXPECT_GT(noise, 0u);
    EXPECT_EQ(f.boot.DeviceID, 0x01A7);
    EXPECT_EQ(f.rig.device.BootArea(), Image(0x2000, 0, Pattern(400, 0x21)));
    EXPECT_EQ(f.rig.device.BankMemory(kMain, 1), Image(0x8000, 0, Pattern(400, 0x33)));
    EXPECT_EQ(f.rig.device.Version(kMain, '8'), "0200");
  }
}

TEST(FaultsOnEngines, RepliesInOneBytePiecesChangeNothing) {
  TFaultRig f(WithFaults({"split,size=1"}));
  ASSERT_TRUE(f.Run("SYN"));
  ASSERT_TRUE(f.Run("PB img.hex"));
  ASSERT_TRUE(f.Run("P1 bank.hex"));
  ASSERT_TRUE(f.Run("T8 0100"));
  ASSERT_TRUE(f.Run("D3"));
  ASSERT_TRUE(f.Run("DC"));
  ASSERT_TRUE(f.Run("P8 idcode.svf"));
  EXPECT_TRUE(f.rig.Errors().empty());
  EXPECT_EQ(f.rig.device.BankMemory(kMain, 1), Image(0x8000, 0, Pattern(400, 0x33)));
}

TEST(FaultsOnEngines, ADelayedReplyIsWaitedForAndAHungDeviceKeepsTheEngineBusy) {
  TFaultRig f(WithFaults({"delay,cmd=M3,ms=2000", "hang,cmd=P3"}));
  ASSERT_TRUE(f.Run("SYN"));
  const uint32_t start = f.rig.clock.TickCount();
  ASSERT_TRUE(f.Run("M3"));
  EXPECT_GE(f.rig.clock.TickCount() - start, 2000u);
  EXPECT_EQ(f.rig.Infos().back(), "info:Ping OK");
  // No reply ever comes: no error either; the engine waits until the operator stops.
  EXPECT_FALSE(f.Run("P3 bank.hex", 5000));
  EXPECT_TRUE(f.psd.Busy);
  EXPECT_TRUE(f.rig.Errors().empty());
  EXPECT_TRUE(f.rig.device.Hung());
}

TEST(FaultsOnEngines, ARefusedDeviceTypeEndsTheSynchronisation) {
  TDeviceConfig config;
  config.BootType = 0;
  TFaultRig f(config);
  ASSERT_TRUE(f.Run("SYN"));
  EXPECT_EQ(f.rig.owner.Wire, "%3727");
  EXPECT_EQ(f.rig.Errors(), (std::vector<std::string>{"error:Bad type of device !!!"}));
}

}  // namespace
