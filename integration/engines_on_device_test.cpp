// The host's engines against the emulated device: every operation of the boot
// loader, the supervisor and the bank flash engine, ending with the device's
// memories equal to the images that were sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/inst_crt.h"
#include "engines/prog_boot.h"
#include "engines/prog_psd.h"
#include "integration/engine_rig.h"

namespace {

constexpr int kMain = TEmulatedDevice::kMainCardSlot;

class EnginesOnDevice : public ::testing::Test {
 protected:
  explicit EnginesOnDevice(TDeviceConfig config = {}) : rig_(std::move(config)) {}
  void SetUp() override {
    rig_.Attach(boot_);
    rig_.Attach(crt_);
    rig_.Attach(psd_);
    boot_.OnDeviceType = [this](TGestionnaire*) { types_.push_back(boot_.DeviceType); };
    rig_.EnterUpdater();
  }
  // "SYN" must succeed before anything else is accepted by the device.
  void Synchronise() {
    ASSERT_TRUE(rig_.Run(boot_, "SYN"));
    ASSERT_TRUE(rig_.Errors().empty());
    rig_.owner.ClearLogs();
  }

  TEngineRig rig_;
  TProgBoot boot_;
  TInstCrt crt_{rig_.clock};
  TProgPsd psd_;
  std::vector<int> types_;
};

TEST_F(EnginesOnDevice, SynchroniseWithType37) {
  ASSERT_TRUE(rig_.Run(boot_, "SYN"));
  EXPECT_EQ(rig_.owner.Wire, "%37");
  EXPECT_EQ(types_, (std::vector<int>{37}));
  EXPECT_EQ(rig_.Infos(),
            (std::vector<std::string>{"info:Verify Device Type", "info:Boot Checksum : 0A5C",
                                      "info:Device ID : 01A7"}));
  EXPECT_EQ(rig_.owner.EventsWith("id:"), (std::vector<std::string>{"id:423"}));
  EXPECT_TRUE(rig_.Errors().empty());
}

TEST_F(EnginesOnDevice, BootImageIsErasedUploadedAndVerified) {
  Synchronise();
  const std::vector<uint8_t> data = Pattern(700, 0x11);
  const std::vector<std::string> lines = rig_.WriteHex("BOOT_EXT_PONT.HEX", 0x4100, data);
  ASSERT_TRUE(rig_.Run(boot_, "PB BOOT_EXT_PONT.HEX"));
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.device.BootArea(), Image(0x2000, 0x100, data));
  ASSERT_EQ(rig_.owner.Sent.size(), lines.size() + 3);  // PB, line 0 twice, the rest, verify
  EXPECT_EQ(rig_.owner.Sent[0], "PB");
  EXPECT_EQ(rig_.owner.Sent[1], lines[0] + "\r\n");
  EXPECT_EQ(rig_.owner.Sent[2], lines[0] + "\r\n");
  EXPECT_EQ(rig_.owner.step_count, static_cast<int>(lines.size()) + 2);
  // A second image replaces the first: the erase leaves nothing of it.
  const std::vector<uint8_t> other = Pattern(16, 0x80);
  rig_.WriteHex("OTHER.HEX", 0x5FF0, other);
  ASSERT_TRUE(rig_.Run(boot_, "PB OTHER.HEX"));
  EXPECT_EQ(rig_.device.BootArea(), Image(0x2000, 0x1FF0, other));
}

TEST_F(EnginesOnDevice, FlashBanksOfTheMainAndAnOptionCard) {
  Synchronise();
  const std::vector<uint8_t> low = Pattern(1000, 0x01);
  const std::vector<uint8_t> high = Pattern(3000, 0x42);
  rig_.WriteHex("bank0.hex", 0x0200, low);
  rig_.WriteHex("bank3.hex", 0x8000, high);
  ASSERT_TRUE(rig_.Run(psd_, "P0 bank0.hex"));
  ASSERT_TRUE(rig_.Run(psd_, "P3 bank3.hex"));
  ASSERT_TRUE(rig_.Run(crt_, "Q2"));
  ASSERT_TRUE(rig_.Run(psd_, "P7 bank3.hex"));
  ASSERT_TRUE(rig_.Run(crt_, "Z2"));
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.device.BankMemory(kMain, 0), Image(0x8000, 0x200, low));
  EXPECT_EQ(rig_.device.BankMemory(kMain, 3), Image(0x8000, 0, high));
  EXPECT_EQ(rig_.device.BankMemory(2, 7), Image(0x8000, 0, high));
  EXPECT_EQ(rig_.device.BankMemory(kMain, 7), Image(0x8000, 0, {}));
  const std::vector<std::string> infos = rig_.Infos();
  EXPECT_NE(std::find(infos.begin(), infos.end(), "info:Verify Bank3"), infos.end());
}

TEST_F(EnginesOnDevice, EMemoryIdentifierAndClosingCommand) {
  Synchronise();
  const std::vector<uint8_t> edid = Pattern(256, 0x00);
  rig_.WriteHex("edid.hex", 0x0000, edid);
  ASSERT_TRUE(rig_.Run(crt_, "Q5"));
  ASSERT_TRUE(rig_.Run(psd_, "PE edid.hex"));
  ASSERT_TRUE(rig_.Run(psd_, "D4"));
  ASSERT_TRUE(rig_.Run(psd_, "F4"));
  ASSERT_TRUE(rig_.Run(crt_, "Z5"));
  ASSERT_TRUE(rig_.Run(psd_, "D0"));
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.device.EMemory(5), edid);
  EXPECT_EQ(rig_.owner.EventsWith("info:ID"),
            (std::vector<std::string>{"info:ID Number : 54", "info:ID Number : F0"}));
}

TEST_F(EnginesOnDevice, EverySupervisorCommand) {
  Synchronise();
  std::vector<int> same, ready, absent;
  crt_.OnVersionSame = [&](TGestionnaire*, int component) { same.push_back(component); };
  crt_.OnCardReady = [&](TGestionnaire*, int card) { ready.push_back(card); };
  crt_.OnCardError = [&](TGestionnaire*, int card) { absent.push_back(card); };
  for (const char* line :
       {"RS", "NP", "FY", "Q0", "L0", "V8 0203", "UV 9 0304", "T8 0203", "T9 0304", "TA 0999", "FU",
        "Z0", "M0", "M5", "wait 30", "prompt Switch over"}) {
    ASSERT_TRUE(rig_.Run(crt_, line)) << line;
  }
  EXPECT_TRUE(rig_.Errors().empty());
  EXPECT_EQ(rig_.device.Version(0, '8'), "0203");  // written through the bridge to card 0
  EXPECT_EQ(rig_.device.Version(0, '9'), "0304");
  EXPECT_EQ(rig_.device.Version(kMain, '8'), "0100");
  EXPECT_EQ(same, (std::vector<int>{8, 9}));
  EXPECT_EQ(ready, (std::vector<int>{0, 5}));
  EXPECT_TRUE(absent.empty());
  EXPECT_EQ(rig_.owner.Wire, "RSNPFYQ0L0V80203UV9 0304T8T9TAFUZ0M0M5");
  // "FI" ends the update: the device runs its application again.
  ASSERT_TRUE(rig_.Run(crt_, "FI"));
  EXPECT_TRUE(rig_.device.InApplicationMode());
}

class EnginesOnRevision0Device : public EnginesOnDevice {
 protected:
  static TDeviceConfig Revision0() {
    TDeviceConfig config;
    config.BootType = 27;
    config.CardPresent[1] = false;
    return config;
  }
  EnginesOnRevision0Device() : EnginesOnDevice(Revision0()) {}
};

TEST_F(EnginesOnRevision0Device, SynchroniseWithType27AfterTheRefusalOf37) {
  ASSERT_TRUE(rig_.Run(boot_, "SYN"));
  EXPECT_EQ(rig_.owner.Wire, "%3727");
  EXPECT_EQ(types_, (std::vector<int>{27}));
  EXPECT_EQ(boot_.DeviceID, 0x01A7);
  EXPECT_TRUE(rig_.Errors().empty());
}

TEST_F(EnginesOnRevision0Device, AnAbsentCardAnswersItsPingWithAnError) {
  Synchronise();
  std::vector<int> absent;
  crt_.OnCardError = [&](TGestionnaire*, int card) { absent.push_back(card); };
  ASSERT_TRUE(rig_.Run(crt_, "M1"));
  EXPECT_EQ(absent, (std::vector<int>{1}));
  EXPECT_EQ(rig_.Infos(), (std::vector<std::string>{"info:Ping Card 1", "info:Ping Error"}));
  EXPECT_TRUE(rig_.Errors().empty());
}

}  // namespace
