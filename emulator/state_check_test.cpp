// The device's check of its memories against Intel HEX images and of its version
// registers against texts (qelt-emulator --expect): the names it takes, the image a
// file describes, and the exact verdict lines.
#include "emulator/state_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/emulated_device.h"
#include "testing/temp_dir.h"

namespace {

constexpr int kMain = TEmulatedDevice::kMainCardSlot;

TEST(StateExpectation, NamesASingleMemoryOrVersion) {
  struct TCase {
    const char* text;
    TMemKind kind;
    int card, index;
  };
  const TCase table[] = {
      {"boot=a.hex", TMemKind::MK_BOOT, -1, -1},
      {"main.bank1=VI3_B1.HEX", TMemKind::MK_BANK, 6, 1},
      {"card3.bank0=x", TMemKind::MK_BANK, 3, 0},
      {"card5.e=EDID.HEX", TMemKind::MK_EMEM, 5, -1},
      {"main.versionA=0105", TMemKind::MK_VERSION, 6, 10},
  };
  for (const TCase& c : table) {
    TStateExpectation e;
    std::string error;
    ASSERT_TRUE(ParseStateExpectation(c.text, e, error)) << c.text << ": " << error;
    EXPECT_EQ(e.Memory.Kind, c.kind) << c.text;
    EXPECT_EQ(e.Memory.Card, c.card) << c.text;
    EXPECT_EQ(e.Memory.Index, c.index) << c.text;
  }
}

TEST(StateExpectation, RefusesWhatNamesNoSingleMemory) {
  const std::string names = "\" names no single memory (boot, CARD.bankB, CARD.e or CARD.versionC)";
  const std::pair<const char*, std::string> table[] = {
      {"bank1=x.hex", "\"bank1" + names},  // which card?
      {"main.bank=x.hex", "\"main.bank" + names},
      {"main.jtag8=x.svf", "\"main.jtag8" + names},
      {"card6.e=x", "\"card6.e" + names},
      {"main.bank1", "\"main.bank1\" is not MEMORY=VALUE"},
      {"main.bank1=", "\"main.bank1=\" is not MEMORY=VALUE"},
      {"main.version8=107", "a version has four characters: \"107\""},
  };
  for (const auto& [text, message] : table) {
    TStateExpectation e;
    std::string error;
    EXPECT_FALSE(ParseStateExpectation(text, e, error)) << text;
    EXPECT_EQ(error, message);
  }
}

TEST(ImageFromHexLines, IsTheMemoryAfterAnEraseAndTheUpload) {
  const std::vector<std::string> lines = {
      ":020000040000FA",    // an address record a 16-bit image passes over
      ":0380000011223317",  // 8000: 11 22 33
      "",                   // empty lines are skipped
      ":01800100007E",      // 8001: 00 over 22
      ":00000001FF",        // the end: nothing after it counts
      ":0180020044",        // (not even a damaged line)
  };
  std::vector<uint8_t> image;
  std::string error;
  ASSERT_TRUE(ImageFromHexLines(lines, 0x8000, 4, true, image, error)) << error;
  EXPECT_EQ(image, (std::vector<uint8_t>{0x11, 0x00, 0x33, 0xFF}));
  // A memory that is overwritten rather than flashed takes the last byte written.
  ASSERT_TRUE(ImageFromHexLines({":02000000334487", ":0100000055AA"}, 0, 3, false, image, error))
      << error;
  EXPECT_EQ(image, (std::vector<uint8_t>{0x55, 0x44, 0xFF}));
}

TEST(ImageFromHexLines, RefusesALineTheDeviceWouldNotTake) {
  const std::pair<std::vector<std::string>, std::string> table[] = {
      {{":00000001FE"}, "line 1: not a record with a right checksum"},
      {{"", "4000000102"}, "line 2: not a record with a right checksum"},
      {{":0200000C1234AC"}, "line 1: record type the memory refuses"},
      {{":020002000102F9"}, "line 1: data outside the memory"},  // 0002-0003 of 0000-0002
  };
  for (const auto& [lines, message] : table) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_FALSE(ImageFromHexLines(lines, 0, 3, true, image, error)) << message;
    EXPECT_EQ(error, message);
  }
}

class StateCheckTest : public ::testing::Test {
 protected:
  TStateCheck Check(const std::string& text) {
    TStateExpectation e;
    std::string error;
    EXPECT_TRUE(ParseStateExpectation(text, e, error)) << error;
    return CheckStateExpectation(device_, e);
  }
  void Program(std::string_view bytes) {
    device_.Receive(bytes, 1000);
    device_.TakeOutput(1000);
  }
  TTempDir dir_;
  TEmulatedDevice device_;
};

TEST_F(StateCheckTest, AMemoryMatchesTheImageItWasProgrammedWith) {
  dir_.Write("b3.hex", ":0380000011223317\r\n:00000001FF\r\n");
  Program("254yU%37P3:0380000011223317\r\n");
  const TStateCheck check = Check("main.bank3=" + dir_.File("b3.hex"));
  EXPECT_TRUE(check.Match);
  EXPECT_EQ(check.Line, "main.bank3 matches " + dir_.File("b3.hex"));
  // Another card's bank, still erased, is not that image.
  const TStateCheck other = Check("card1.bank3=" + dir_.File("b3.hex"));
  EXPECT_FALSE(other.Match);
  EXPECT_TRUE(other.Readable);
  EXPECT_EQ(other.Line, "card1.bank3 differs from " + dir_.File("b3.hex") +
                            ": 3 bytes, the first at 8000 (device FF, image 11)");
}

TEST_F(StateCheckTest, ABytePastTheImageCountsAsADifference) {
  dir_.Write("e.hex", ":0100100000EF\r\n");
  Program("254yU%37PE:020010000000EE\r\n");  // one byte more than the image writes
  EXPECT_EQ(Check("main.e=" + dir_.File("e.hex")).Line,
            "main.e differs from " + dir_.File("e.hex") +
                ": 1 byte, the first at 0011 (device 00, image FF)");
}

TEST_F(StateCheckTest, VersionsAndUnreadableImages) {
  Program("254yU%37V80107");
  EXPECT_EQ(Check("main.version8=0107").Line, "main.version8 is 0107");
  const TStateCheck old = Check("main.version9=0107");
  EXPECT_FALSE(old.Match);
  EXPECT_EQ(old.Line, "main.version9 is 0100, not 0107");
  const TStateCheck missing = Check("boot=" + dir_.File("none.hex"));
  EXPECT_FALSE(missing.Readable);
  EXPECT_EQ(missing.Line, "boot: cannot read " + dir_.File("none.hex"));
  dir_.Write("bad.hex", ":0440000001020304B2\r\n:0440000001020304B3\r\n");
  const TStateCheck bad = Check("boot=" + dir_.File("bad.hex"));
  EXPECT_FALSE(bad.Readable);
  EXPECT_EQ(bad.Line,
            "boot: " + dir_.File("bad.hex") + " line 2: not a record with a right checksum");
}

}  // namespace
