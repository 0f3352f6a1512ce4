// The JTAG side of the device: the TAP controller, the chain's registers, and the
// playback exchange with its raw blocks and captured-data replies, byte for byte.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"
#include "emulator/jtag_chain.h"
#include "emulator/jtag_session.h"

namespace {

using S = TTapState;
const std::string kEsc = "\x1B";

TEST(TapController, FollowsEveryTransitionOfTheStandardDiagram) {
  struct TCase {
    S from;
    S on0;
    S on1;
  };
  const TCase table[] = {
      {S::TAP_RESET, S::TAP_IDLE, S::TAP_RESET},
      {S::TAP_IDLE, S::TAP_IDLE, S::TAP_DRSELECT},
      {S::TAP_DRSELECT, S::TAP_DRCAPTURE, S::TAP_IRSELECT},
      {S::TAP_DRCAPTURE, S::TAP_DRSHIFT, S::TAP_DREXIT1},
      {S::TAP_DRSHIFT, S::TAP_DRSHIFT, S::TAP_DREXIT1},
      {S::TAP_DREXIT1, S::TAP_DRPAUSE, S::TAP_DRUPDATE},
      {S::TAP_DRPAUSE, S::TAP_DRPAUSE, S::TAP_DREXIT2},
      {S::TAP_DREXIT2, S::TAP_DRSHIFT, S::TAP_DRUPDATE},
      {S::TAP_DRUPDATE, S::TAP_IDLE, S::TAP_DRSELECT},
      {S::TAP_IRSELECT, S::TAP_IRCAPTURE, S::TAP_RESET},
      {S::TAP_IRCAPTURE, S::TAP_IRSHIFT, S::TAP_IREXIT1},
      {S::TAP_IRSHIFT, S::TAP_IRSHIFT, S::TAP_IREXIT1},
      {S::TAP_IREXIT1, S::TAP_IRPAUSE, S::TAP_IRUPDATE},
      {S::TAP_IRPAUSE, S::TAP_IRPAUSE, S::TAP_IREXIT2},
      {S::TAP_IREXIT2, S::TAP_IRSHIFT, S::TAP_IRUPDATE},
      {S::TAP_IRUPDATE, S::TAP_IDLE, S::TAP_DRSELECT},
  };
  for (const TCase& c : table) {
    EXPECT_EQ(NextTapState(c.from, false), c.on0) << static_cast<int>(c.from);
    EXPECT_EQ(NextTapState(c.from, true), c.on1) << static_cast<int>(c.from);
  }
}

TEST(TapController, MovesByTheShortestPathAndResetsFromAnywhere) {
  TJtagChain chain(DefaultJtagChains()[0]);
  chain.Reset();
  EXPECT_EQ(chain.MoveTo(S::TAP_IDLE), 1);
  EXPECT_EQ(chain.MoveTo(S::TAP_IRSHIFT), 4);  // Select-DR, Select-IR, Capture-IR, Shift-IR
  EXPECT_EQ(chain.MoveTo(S::TAP_IRPAUSE), 2);
  EXPECT_EQ(chain.MoveTo(S::TAP_DRPAUSE), 6);
  chain.Reset();
  EXPECT_EQ(chain.State(), S::TAP_RESET);
  EXPECT_EQ(chain.MoveTo(S::TAP_RESET), 0);
}

TEST(JtagChainRegisters, InstructionsIdcodeBypassAndUserRegister) {
  TJtagChain chain(DefaultJtagChains()[3]);  // IR 8 (near TDI) then IR 6 (near TDO)
  chain.Reset();
  EXPECT_EQ(chain.Instruction(0), 0x01u);
  EXPECT_EQ(chain.Instruction(1), 0x09u);
  // Capture-IR puts ...01 in each register, the TDO-side device first.
  chain.MoveTo(S::TAP_IRSHIFT);
  // Load USER (0x02) into device 0 and BYPASS (all ones) into device 1.
  std::vector<bool> in = BytesToBits({0xFF, 0x00}, 6);    // device 1: 111111
  const std::vector<bool> dev0 = BytesToBits({0x02}, 8);  // device 0: 00000010
  in.insert(in.end(), dev0.begin(), dev0.end());
  const std::vector<bool> out = chain.Shift(in, true);
  EXPECT_EQ(BitsToBytes(out), (std::vector<uint8_t>{0x41, 0x00}));
  chain.MoveTo(S::TAP_IDLE);
  EXPECT_EQ(chain.Instruction(0), 0x02u);
  EXPECT_EQ(chain.Instruction(1), 0x3Fu);
  // DR path: the bypass bit nearest TDO, then the 32-bit user register; the
  // first bit in ends up in bypass, the next 32 in the user register.
  chain.MoveTo(S::TAP_DRSHIFT);
  std::vector<bool> data = {false};
  const std::vector<bool> word = BytesToBits({0x78, 0x56, 0x34, 0x12}, 32);
  data.insert(data.end(), word.begin(), word.end());
  chain.Shift(data, true);
  chain.MoveTo(S::TAP_IDLE);
  EXPECT_EQ(BitsToBytes(chain.UserRegister(0)), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
}

TEST(JtagEncoding, CapturedDataEscapesZeroAndEscapeBytes) {
  EXPECT_EQ(EncodeCapturedData({0x01}, false), "0101" + kEsc + ".");
  EXPECT_EQ(EncodeCapturedData({0x01, 0x00}, false), "01" + kEsc + "0" + "01" + kEsc + ".");
  EXPECT_EQ(EncodeCapturedData({0x1B, 0xE5}, false), kEsc + kEsc + "E5" + kEsc + "0" + kEsc + ".");
  EXPECT_EQ(EncodeCapturedData({0x01}, true), "0102" + kEsc + ".");
  EXPECT_EQ(EncodeCapturedData({}, false), kEsc + "0" + kEsc + ".");
}

class JtagPlaybackTest : public ::testing::Test {
 protected:
  std::string Send(std::string_view bytes) {
    device_.Receive(bytes, 1000);
    return device_.TakeOutput(1000);
  }
  void SetUp() override { ASSERT_EQ(Send("254yU%37"), "UPD254\r\n..6A5C01A7."); }
  TEmulatedDevice device_;
};

struct TExchange {
  std::string send;
  std::string reply;
};

TEST_F(JtagPlaybackTest, IdcodeCheckThroughIrAndDrShifts) {
  const std::vector<TExchange> table = {
      {"P8", "."},
      {":0100000601F8\r\n", "."},                        // ENDIR IDLE
      {":020000050001F8\r\n", "."},                      // STATE RESET IDLE
      {":05000004000003E8010B\r\n", "."},                // RUNTEST 1000 TCK
      {":010008720184\r\n", "0101" + kEsc + "."},        // SIR 8 TDI (01) TDO: captures 01
      {".", "."},                                        // host accepts: statement complete
      {":010020F300EC\r\n", "FF805C1AF5" + kEsc + "."},  // SDR 32 fill 00, TDO: the IDCODE
      {"R", "FF805C1AF5" + kEsc + "."},                  // asked again: the same reply
      {".", "."},
      {":00000001FF\r\n", "."},  // end of the playback
      {":00000001FF\r\n", "X"},  // nothing is open any more
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
}

TEST_F(JtagPlaybackTest, LongSdrTakesItsRawBlockAfterAnAcknowledgement) {
  const std::string zeros = kEsc + "0" + kEsc + "0" + kEsc + "0" + kEsc + "0";
  const std::vector<TExchange> table = {
      {"Q3", "."},
      {"P9", "."},
      {":010008620293\r\n", "."},         // SIR 8 TDI (02): USER
      {":010020630A72\r\n", kEsc + "."},  // SDR 32, raw block of 10 characters
      {"7856341214", "."},                // TDI 12345678 and its sum 14
      {":010020630A72\r\n", kEsc + "."},
      {"7856341215", "R"},                        // a wrong sum: the record comes again
      {":010020730A62\r\n", kEsc + "."},          // with TDO wanted, zeros shifted in:
      {"0000000000", "7856341214" + kEsc + "."},  // the register gives back 12345678
      {".", "."},
      {":010020F300EC\r\n", zeros + kEsc + "0" + kEsc + "."},  // and now holds zeros
      {".", "."},
      {":00000001FF\r\n", "."},
      {"Z3", "."},
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
  EXPECT_EQ(BitsToBytes(device_.Chain(3, '9').UserRegister(0)), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(JtagPlaybackTest, StatementsTheTapCannotCarryOutAreRefused) {
  const std::vector<TExchange> table = {
      {"PA", "."},
      {":010000060BEE\r\n", "X"},  // ENDIR IRSHIFT: not a rest state
      {":0100000504F6\r\n", "X"},  // STATE DRSHIFT from RESET: not one step away
      {":0100000510EA\r\n", "X"},  // not a state code at all
      {":010020630272\r\n", "R"},  // damaged record (checksum)
      {":01000893FF65\r\n", "X"},  // SDR continuation with no shift under way
      {":02000A72010081\r\n", "01" + kEsc + "0" + "01" + kEsc + "."},  // SIR 10 captures ..01
      {".", "."},
      {":0100042206D3\r\n", "."},  // SIR start: 4 bits, stays in Shift-IR
      {":0100064200B7\r\n", "."},  // SIR end: 6 more bits, then ENDIR
      {":0100000C0CE7\r\n", "X"},  // a verify record means nothing here
  };
  for (const TExchange& e : table) EXPECT_EQ(Send(e.send), e.reply) << e.send;
  // The two halves made one 10-bit instruction: 0000000110, the IDCODE instruction.
  EXPECT_EQ(device_.Chain(TEmulatedDevice::kMainCardSlot, 'A').Instruction(0), 0x006u);
  EXPECT_EQ(device_.Chain(TEmulatedDevice::kMainCardSlot, 'A').State(), S::TAP_IDLE);
}

TEST_F(JtagPlaybackTest, TwoDeviceChainCapturesBothInstructionRegisters) {
  // SIR 14 with TDO on chain C: IR 6 (near TDO) then IR 8, each capturing ...01.
  EXPECT_EQ(Send("PC"), ".");
  EXPECT_EQ(Send(":02000E72FFFF80\r\n"), "41" + kEsc + "0" + "41" + kEsc + ".");
  EXPECT_EQ(Send("."), ".");
  EXPECT_EQ(device_.Chain(TEmulatedDevice::kMainCardSlot, 'C').Instruction(0), 0xFFu);
  EXPECT_EQ(device_.Chain(TEmulatedDevice::kMainCardSlot, 'C').Instruction(1), 0x3Fu);
  EXPECT_EQ(Send("FC"), ".");  // closing resets the chain
  EXPECT_EQ(device_.Chain(TEmulatedDevice::kMainCardSlot, 'C').Instruction(1), 0x09u);
}

}  // namespace
