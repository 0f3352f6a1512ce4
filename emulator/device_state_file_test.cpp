// The device state file: what one run writes, the next one reads back exactly;
// a damaged file is refused with the line at fault and changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr int kMain = TEmulatedDevice::kMainCardSlot;

std::string Exchange(TEmulatedDevice& device, std::string_view bytes) {
  device.Receive(bytes, 1000);
  return device.TakeOutput(1000);
}

class StateFileTest : public ::testing::Test {
 protected:
  // A device with something written into every kind of memory and register.
  void Fill(TEmulatedDevice& d) {
    ASSERT_EQ(Exchange(d, "254yU%37PB:04400000DEADBEEF84\r\n"), "UPD254\r\n..6A5C01A7....");
    ASSERT_EQ(Exchange(d, "P3:048000000102030472\r\nV80203"), ".....");
    ASSERT_EQ(Exchange(d, "Q5PE:040000001122334452\r\nUV 9 A B Z5"), "......");
  }
  TTempDir dir_;
  const fs::path& folder_ = dir_.path();
};

TEST_F(StateFileTest, WhatOneRunWritesTheNextReadsBack) {
  TDeviceConfig config;
  config.CardPresent[2] = false;
  TEmulatedDevice first(config);
  Fill(first);
  const std::string path = dir_.File("device.state");
  std::string error;
  ASSERT_TRUE(first.SaveState(path, &error)) << error;
  EXPECT_FALSE(fs::exists(TTempDir::Path(path + ".tmp")));

  TEmulatedDevice second;
  ASSERT_TRUE(second.LoadState(path, &error)) << error;
  EXPECT_EQ(second.BootArea(), first.BootArea());
  EXPECT_EQ(second.BankMemory(kMain, 3), first.BankMemory(kMain, 3));
  EXPECT_EQ(second.EMemory(5), first.EMemory(5));
  EXPECT_EQ(second.Version(kMain, '8'), "0203");
  EXPECT_EQ(second.Version(5, '9'), "A B ");  // blanks inside a version survive
  EXPECT_FALSE(second.CardPresent(2));
  EXPECT_TRUE(second.CardPresent(1));
  EXPECT_EQ(second.SaveStateText(), first.SaveStateText());
  // The restored device answers from what it loaded.
  EXPECT_EQ(Exchange(second, "254yU%37T8Q2T9Q5T9"), "UPD254\r\n..6A5C01A7..0203..I..A B .");
}

TEST_F(StateFileTest, IdentityAndChainsAreKept) {
  TDeviceConfig config;
  config.BootId = 0x1234;
  config.BootChecksum = 0x6001;
  config.Chains[0] = {TJtagDevice{4, 0x0000A0FF, 0x1, 0x0, 0}};
  TEmulatedDevice first(config);
  TEmulatedDevice second;
  std::string error;
  ASSERT_TRUE(second.LoadStateText(first.SaveStateText(), &error)) << error;
  EXPECT_EQ(Exchange(second, "254yU%37"), "UPD254\r\n..60011234.");
  EXPECT_EQ(Exchange(second, "D8"), ".FFA00000FFFFFFFFFFFFFFFFFFFFFFFF.");
  EXPECT_EQ(second.Chain(3, '8').Devices()[0].IrLength, 4);
}

TEST_F(StateFileTest, ALoadIntoAUsedDeviceLeavesWhatAFreshOneWouldHold) {
  // A load reuses the device's memory: whatever an earlier session or load wrote
  // there is erased, and only the file's rows come back.
  const std::string text =
      "qelt-emulator-state 1\nmem main.bank3 0010 A1B2\nmem 4.e 00FE 5A\nmem boot 0000 00\n";
  TEmulatedDevice used;
  Fill(used);
  TEmulatedDevice fresh;
  std::string error;
  ASSERT_TRUE(used.LoadStateText(text, &error)) << error;
  ASSERT_TRUE(fresh.LoadStateText(text, &error)) << error;
  EXPECT_EQ(used.SaveStateText(), fresh.SaveStateText());
  std::vector<uint8_t> bank(TEmulatedDevice::kBankSize, 0xFF);
  bank[0x10] = 0xA1;
  bank[0x11] = 0xB2;
  EXPECT_EQ(used.BankMemory(kMain, 3), bank);
  EXPECT_EQ(used.EMemory(4)[0xFE], 0x5A);
  EXPECT_EQ(used.EMemory(5), std::vector<uint8_t>(TEmulatedDevice::kEMemorySize, 0xFF));
  std::vector<uint8_t> boot(TEmulatedDevice::kBootSize, 0xFF);
  boot[0] = 0x00;
  EXPECT_EQ(used.BootArea(), boot);
  EXPECT_EQ(used.Version(kMain, '8'), "0100");
  // A second load of the same file changes nothing more.
  const std::string once = used.SaveStateText();
  ASSERT_TRUE(used.LoadStateText(once, &error)) << error;
  EXPECT_EQ(used.SaveStateText(), once);
}

TEST_F(StateFileTest, ADamagedFileIsRefusedWithItsLineAndChangesNothing) {
  struct TCase {
    std::string text;
    std::string error;
  };
  const std::string head = "qelt-emulator-state 1\n";
  const TCase table[] = {
      {"", "line 1: the file is empty"},
      {"hello\n", "line 1: not a device state file (expected \"qelt-emulator-state 1\")"},
      {head + "# comment\n\nbogus 1\n", "line 4: unknown or malformed line"},
      {head + "mem boot 0000 00\nbogus\n", "line 3: unknown or malformed line"},
      {head + "boot-id 12345\n", "line 2: unknown or malformed line"},
      {head + "card 6 absent\n", "line 2: unknown or malformed line"},
      {head + "mem main.bank9 0000 FF\n", "line 2: unknown memory \"main.bank9\""},
      {head + "mem boot 1FFF 0000\n", "line 2: data beyond the end of boot"},
      {head + "mem 3.e 0000 ABC\n", "line 2: bad offset or hex data"},
      {head + "mem 3.e\n", "line 2: expected: mem MEMORY OFFSET HEX"},
      {head + "chain main 8 8:1A5C80FE:1:2:20\n", "line 2: bad JTAG device \"8:1A5C80FE:1:2:20\""},
      {head + "chain 1 9 40:1A5C80FF:1:2:20\n", "line 2: bad JTAG device \"40:1A5C80FF:1:2:20\""},
      {head + "version main 8 012\n", "line 2: a version has four characters"},
      {head + "mcu 2 8 AB\n", "line 2: unknown or malformed line"},
  };
  TEmulatedDevice device;
  Fill(device);
  const std::string before = device.SaveStateText();
  for (const TCase& c : table) {
    std::string error;
    EXPECT_FALSE(device.LoadStateText(c.text, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(device.SaveStateText(), before) << c.text;
  }
}

TEST_F(StateFileTest, FileErrorsNameThePath) {
  TEmulatedDevice device;
  std::string error;
  const std::string missing = dir_.File("missing.state");
  EXPECT_FALSE(device.LoadState(missing, &error));
  EXPECT_EQ(error, "cannot read " + missing + ": No such file or directory");
  const std::string nowhere = dir_.File("no/such/x.state");
  EXPECT_FALSE(device.SaveState(nowhere, &error));
  EXPECT_EQ(error.rfind("cannot write " + nowhere + ".tmp: ", 0), 0u) << error;
  const std::string bad = dir_.File("bad.state");
  std::ofstream(TTempDir::Path(bad)) << "qelt-emulator-state 1\nmcu main 9 AA\n";
  EXPECT_FALSE(device.LoadState(bad, &error));
  EXPECT_EQ(error, bad + ": line 2: unknown or malformed line");
}

TEST_F(StateFileTest, SavingReplacesTheOldFileWhole) {
  const std::string path = dir_.File("device.state");
  std::ofstream(TTempDir::Path(path)) << std::string(500000, 'x');
  TEmulatedDevice device;
  std::string error;
  ASSERT_TRUE(device.SaveState(path, &error)) << error;
  std::ifstream in(TTempDir::Path(path));
  std::string first_line;
  std::getline(in, first_line);
  EXPECT_EQ(first_line, "qelt-emulator-state 1");
  EXPECT_LT(fs::file_size(TTempDir::Path(path)), 20000u);  // nothing of the old content is left
}

}  // namespace
