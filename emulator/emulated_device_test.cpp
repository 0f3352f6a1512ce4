// Raw byte exchanges with the emulated device: exactly what the host sends, exactly
// what the device answers, in the application, the boot loader and the updater.
#include "emulator/emulated_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/pieces.h"

namespace {

class DeviceTest : public ::testing::Test {
 protected:
  void Make(TDeviceConfig config = {}) { device_ = std::make_unique<TEmulatedDevice>(config); }
  // Sends host bytes and returns everything the device has ready.
  std::string Send(std::string_view bytes) {
    device_->Receive(bytes, now_);
    return device_->TakeOutput(now_);
  }
  // Application -> boot loader -> identified: the updater's command state.
  void Synchronise() {
    ASSERT_EQ(Send("254yU"), "UPD254\r\n");
    ASSERT_EQ(Send("%"), ".");
    ASSERT_EQ(Send("37"), ".6A5C01A7.");
  }
  void SetUp() override { Make(); }

  std::unique_ptr<TEmulatedDevice> device_;
  uint32_t now_ = 1000;
};

struct TExchange {
  const char* send;
  const char* reply;
};

TEST_F(DeviceTest, ApplicationAnswersTheVariableProtocol) {
  const TExchange table[] = {
      {"?", "DEV37\r\n"},
      {"1yU", "UPD1\r\n"},
      {"yU", "UPD1\r\n"},  // a bare command reports the value
      {"12@", "ADBG12\r\n"},
      {"@", "ADBG12\r\n"},
      {"4294967295>", "DDBG4294967295\r\n"},
      {"4294967296>", ""},    // more than 32 bits: ignored
      {"99999999999yU", ""},  // eleven digits: ignored
      {"$", "$\r\n"},
      {"#", "ADBG12\r\nDDBG4294967295\r\nDEV37\r\nUPD1\r\n#\r\n"},
      {"xz\x01\xFF!", ""},   // not the protocol: no answer at all
      {"5y?", "DEV37\r\n"},  // "y" without "U" writes nothing
      {"yU", "UPD1\r\n"},
      {"%", ""},  // the boot loader is not running
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
  EXPECT_TRUE(device_->InApplicationMode());
}

TEST_F(DeviceTest, CommandsArriveInPiecesOfEverySize) {
  // The updater request, the synchronisation and the identification, as one stream.
  const std::string commands = "254yU%37";
  ForEveryPieceSize(commands.size(), [&](size_t size) {
    Make();
    std::string out;
    for (const std::string& piece : CutInPieces(commands, size)) out += Send(piece);
    EXPECT_EQ(out, "UPD254\r\n..6A5C01A7.");
    EXPECT_FALSE(device_->InApplicationMode());
  });
}

TEST_F(DeviceTest, DeviceTypeIsConfigurableAndASilentDeviceAnswersNothing) {
  TDeviceConfig config;
  config.DeviceType = 39;
  Make(config);
  EXPECT_EQ(Send("?"), "DEV39\r\n");
  config.Silent = true;
  Make(config);
  EXPECT_EQ(Send("?1yU254yU#"), "");
  // Switched on by the operator, its boot loader answers the synchronisation.
  EXPECT_EQ(Send("%"), ".");
  EXPECT_EQ(Send("37"), ".6A5C01A7.");
}

TEST_F(DeviceTest, BootLoaderAgreesOnTheTypeItWasConfiguredFor) {
  struct TCase {
    int boot_type;
    std::vector<TExchange> exchanges;
  };
  const TCase cases[] = {
      {37, {{"%", "."}, {"37", ".6A5C01A7."}}},
      {27, {{"%", "."}, {"37", "X"}, {"27", ".6A5C01A70201."}}},
      {0, {{"%", "."}, {"37", "X"}, {"27", "X"}}},
      {37, {{"\x13junk%", "."}, {"%", "."}, {"3", ""}, {"7", ".6A5C01A7."}}},
  };
  for (const TCase& c : cases) {
    TDeviceConfig config;
    config.BootType = c.boot_type;
    Make(config);
    ASSERT_EQ(Send("1yU254yU"), "UPD1\r\nUPD254\r\n");
    for (const TExchange& e : c.exchanges) {
      EXPECT_EQ(Send(e.send), e.reply) << "boot type " << c.boot_type << ", sent " << e.send;
    }
  }
}

TEST_F(DeviceTest, IdentificationCarriesTheConfiguredChecksumAndIdentifier) {
  TDeviceConfig config;
  config.BootChecksum = 0x6000;
  config.BootId = 0xBEEF;
  Make(config);
  Send("254yU%");
  EXPECT_EQ(Send("37"), ".6000BEEF.");
}

TEST_F(DeviceTest, SupervisorCommands) {
  Synchronise();
  const TExchange table[] = {
      {"RS", "."},
      {"NP", "."},
      {"FY", "."},
      {"FU", "."},
      {"L0", "."},
      {"L1", "I"},
      {"M0", "."},
      {"M5", "."},
      {"M6", "I"},
      {"Q0", "."},
      {"Z0", "."},
      {"Q6", "I"},
      {"T8", ".0100."},
      {"TE", ".0100."},
      {"TB", "I"},
      {"TD", "I"},
      {"D3", ".F3."},
      {"F3", "."},
      {"P9", "."},
      {"F9", "."},
      {"D8", ".FF805C1AFFFFFFFFFFFFFFFFFFFFFFFF."},
      {"DA", ".FFA03C2BFFFFFFFFFFFFFFFFFFFFFFFF."},
      {"DC", ".FFD04D3CFFC04D3CFFFFFFFFFFFFFFFF."},
      {"D9", ".FF905C1AFFFFFFFFFFFFFFFFFFFFFFFF."},
      {"X", "I"},
      {"?", "I"},
      {"PZ", "I"},
      {"DB", "I"},
      {"UX", "I"},
      {" \r\n\t\x01\xFF", ""},  // blanks, line ends, control and binary bytes
      {"P:", "I"},              // a record line cuts "P" short ...
      {"\r\n", "X"},            // ... and, with nothing open, is refused
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
}

TEST_F(DeviceTest, VersionsAreWrittenAndReadPerComponent) {
  Synchronise();
  const TExchange table[] = {
      {"V8", "."},      {"0203", "."},    {"T8", ".0203."}, {"T9", ".0100."},
      {"V3", "."},      {"1", ""},        {"2", ""},        {"3", ""},
      {"4", "."},       {"T3", ".1234."}, {"UV", "."},      {"9 0304", "."},
      {"T9", ".0304."}, {"UV", "."},      {"C  A1B2", "."}, {"TC", ".A1B2."},
      {"V8", "."},      {"01.2", "X"},    {"T8", ".0203."},  // a "." would end a read early
      {"V8", "."},      {"0\r\n2", "X"},  {"T8", ".0203."}, {"UV", "."},
      {"B", "X"},  // no component B
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
  EXPECT_EQ(device_->Version(TEmulatedDevice::kMainCardSlot, '8'), "0203");
  EXPECT_EQ(device_->Version(TEmulatedDevice::kMainCardSlot, 'C'), "A1B2");
}

TEST_F(DeviceTest, BridgeSendsPerCardCommandsToTheOptionCard) {
  TDeviceConfig config;
  config.CardPresent[1] = false;
  Make(config);
  Synchronise();
  // A bridge opens to an empty slot too; nothing behind it knows a per-card command.
  const TExchange table[] = {
      {"M1", "X"},    {"Q1", "."}, {"T3", "I"},      {"P2", "I"},    {"D6", "I"}, {"F2", "I"},
      {"UV", "I"},    {"V3", "I"}, {"M2", "."},      {"Q2", "."},    {"V3", "."}, {"0405", "."},
      {"D6", ".26."}, {"Z2", "."}, {"T3", ".0100."}, {"D6", ".F6."},
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
  EXPECT_EQ(device_->Version(2, '3'), "0405");
  EXPECT_EQ(device_->Version(TEmulatedDevice::kMainCardSlot, '3'), "0100");
  EXPECT_EQ(device_->BridgedCard(), TEmulatedDevice::kMainCardSlot);
}

TEST_F(DeviceTest, FlashBankIsErasedWrittenAndVerified) {
  Synchronise();
  EXPECT_EQ(Send("P3"), "..");
  EXPECT_EQ(Send(":048000000102030472\r\n"), ".");
  EXPECT_EQ(Send(":048000000102030472\r\n"), ".");  // the same line again changes nothing
  EXPECT_EQ(Send(":00000001FF\r\n"), ".");
  EXPECT_EQ(Send(":0200000C7C0F67\r\n"), "X");  // one off: the device's sum differs
  EXPECT_EQ(Send(":0200000C7C0E68\r\n"), "X");  // the transfer ended with its verdict
  const std::vector<uint8_t>& bank = device_->BankMemory(TEmulatedDevice::kMainCardSlot, 3);
  EXPECT_EQ(bank[0], 0x01);
  EXPECT_EQ(bank[3], 0x04);
  EXPECT_EQ(bank[4], 0xFF);
  EXPECT_EQ(Send("P3"), "..");
  EXPECT_EQ(Send(":048000000102030472\n"), ".");  // a bare line feed ends a line too
  EXPECT_EQ(Send(":0200000C7C0E68\r\n"), ".");
}

TEST_F(DeviceTest, RecordLinesAreCheckedLikeARealDevice) {
  Synchronise();
  ASSERT_EQ(Send("P0"), "..");
  const TExchange table[] = {
      {":02001000A55AEF\r\n", "."},
      {":02001000A55AEE\r\n", "R"},          // checksum wrong
      {":02001000A55AG0\r\n", "R"},          // not a hex digit
      {":03001000A55AEF\r\n", "R"},          // count disagrees with the length
      {":02001000A55\r\n", "R"},             // truncated
      {"junk:02001000a55aef\r\n", "IIII."},  // noise is refused; lower case is hex too
      {":048000000102030472\r\n", "X"},      // bank 0 has no address 0x8000
      {":020000040000FA\r\n", "."},          // address records are ignored
      {":0200000C7F0172\r\n", "."},
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
  EXPECT_EQ(device_->BankMemory(TEmulatedDevice::kMainCardSlot, 0)[0x10], 0xA5);
  EXPECT_EQ(device_->BankMemory(TEmulatedDevice::kMainCardSlot, 0)[0x11], 0x5A);
}

TEST_F(DeviceTest, AnOverlongLineIsAskedForAgainWithoutGrowingABuffer) {
  Synchronise();
  ASSERT_EQ(Send("P1"), "..");
  EXPECT_EQ(Send(":" + std::string(200000, '0')), "");
  EXPECT_EQ(Send("\r\n"), "R");
  EXPECT_EQ(Send(":048000000102030472\r\n"), ".");
}

TEST_F(DeviceTest, BootAreaAndEMemory) {
  Synchronise();
  EXPECT_EQ(Send("PB"), "..");
  EXPECT_EQ(Send(":04400000DEADBEEF84\r\n"), ".");
  EXPECT_EQ(Send(":013FFF0000C1\r\n"), "X");  // below the boot area
  EXPECT_EQ(Send(":0200000CDF3CD7\r\n"), ".");
  EXPECT_EQ(device_->BootArea()[0], 0xDE);
  EXPECT_EQ(device_->BootArea()[3], 0xEF);
  EXPECT_EQ(Send("Q5"), ".");
  EXPECT_EQ(Send("PE"), ".");
  EXPECT_EQ(Send(":040000001122334452\r\n"), ".");
  EXPECT_EQ(Send(":0200000C1234AC\r\n"), "X");  // the "E" memory has no verify
  EXPECT_EQ(Send("Z5"), ".");
  EXPECT_EQ(device_->EMemory(5)[0], 0x11);
  EXPECT_EQ(device_->EMemory(5)[3], 0x44);
  EXPECT_EQ(device_->EMemory(TEmulatedDevice::kMainCardSlot)[0], 0xFF);
}

TEST_F(DeviceTest, FinishReturnsToTheApplicationAndSyncCanStartAgain) {
  Synchronise();
  EXPECT_EQ(Send("FI"), ".");
  EXPECT_TRUE(device_->InApplicationMode());
  EXPECT_EQ(Send("?yU"), "DEV37\r\nUPD0\r\n");
  Synchronise();
  // A host that starts over while the updater runs: "%" synchronises again.
  EXPECT_EQ(Send("%"), ".");
  EXPECT_EQ(Send("37"), ".6A5C01A7.");
}

TEST_F(DeviceTest, AccessorsRefuseWhatDoesNotExist) {
  EXPECT_THROW(device_->BankMemory(6, 0), std::out_of_range);
  EXPECT_THROW(device_->BankMemory(0, 8), std::out_of_range);
  EXPECT_THROW(device_->Version(0, 'B'), std::out_of_range);
  EXPECT_THROW(device_->Chain(0, '7'), std::out_of_range);
  EXPECT_EQ(device_->McuId(4, 7), "47");
}

TEST(JtagChainIndexTest, OnlyTheFourComponentCodesHaveAChain) {
  const std::pair<char, int> cases[] = {{'8', 0},  {'9', 1},  {'A', 2},  {'C', 3},  {'B', -1},
                                        {'a', -1}, {'c', -1}, {'7', -1}, {'E', -1}, {'\0', -1}};
  for (const auto& [code, index] : cases) EXPECT_EQ(JtagChainIndex(code), index) << code;
}

TEST_F(DeviceTest, GarbageInEveryStateNeverCrashesAndAnswersBoundedly) {
  // Each state is reached, then fed every byte value several times over.
  const std::vector<std::string> preludes = {
      "",
      "254yU",
      "254yU%",
      "254yU%37",
      "254yU%37P",
      "254yU%37V8",
      "254yU%37UV",
      "254yU%37UV8",
      "254yU%37P3",
      "254yU%37P8",
      "254yU%37P8:010020630A72\r\n",
      "254yU%37P8:010008720184\r\n",
  };
  std::string garbage;
  for (int round = 0; round < 3; ++round) {
    for (int b = 0; b < 256; ++b) garbage += static_cast<char>(b);
  }
  for (const std::string& prelude : preludes) {
    Make();
    Send(prelude);
    const std::string out = Send(garbage);
    EXPECT_LE(out.size(), garbage.size() * 40) << prelude;  // bounded by the input
    for (char c : out) {
      EXPECT_NE(c, '\0') << prelude;
    }
  }
}

}  // namespace
