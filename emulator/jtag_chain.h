// One JTAG chain of the emulated device: the devices on it (instruction register
// length, IDCODE, an optional user data register) behind one TAP controller that
// all of them share. The device's JTAG session (jtag_session.h) walks it with TMS
// clocks and shifts bit strings through it. Bits travel least significant first;
// devices are listed from the TDI end to the TDO end. Plain C++; single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// The sixteen TAP controller states, numbered as the JTAG records code them.
enum class TTapState : uint8_t {
  TAP_RESET = 0x00,      // Test-Logic-Reset: every device holds its IDCODE instruction
  TAP_IDLE = 0x01,       // Run-Test/Idle
  TAP_DRSELECT = 0x02,   // Select-DR-Scan
  TAP_DRCAPTURE = 0x03,  // Capture-DR: the selected data registers are loaded
  TAP_DRSHIFT = 0x04,    // Shift-DR: one bit per clock from TDI towards TDO
  TAP_DREXIT1 = 0x05,    // Exit1-DR
  TAP_DRPAUSE = 0x06,    // Pause-DR
  TAP_DREXIT2 = 0x07,    // Exit2-DR
  TAP_DRUPDATE = 0x08,   // Update-DR: shifted data takes effect
  TAP_IRSELECT = 0x09,   // Select-IR-Scan
  TAP_IRCAPTURE = 0x0A,  // Capture-IR: instruction registers load ...01
  TAP_IRSHIFT = 0x0B,    // Shift-IR
  TAP_IREXIT1 = 0x0C,    // Exit1-IR
  TAP_IRPAUSE = 0x0D,    // Pause-IR
  TAP_IREXIT2 = 0x0E,    // Exit2-IR
  TAP_IRUPDATE = 0x0F,   // Update-IR: shifted instructions take effect
};

// True for the four states a TAP may rest in: RESET, IDLE, DRPAUSE, IRPAUSE.
bool IsStableTapState(TTapState state);

// The state one clock with `tms` leads to.
TTapState NextTapState(TTapState state, bool tms);

// One device on a chain. BYPASS is the all-ones instruction; any instruction that
// is neither IDCODE nor USER also selects the one-bit bypass register.
struct TJtagDevice {
  int IrLength = 8;                // 2..32 bits
  uint32_t IdCode = 0;             // bit 0 is 1 by the JTAG rules
  uint32_t IdCodeInstruction = 1;  // selects the 32-bit IDCODE register
  uint32_t UserInstruction = 0;    // selects the user register (0: none)
  int UserLength = 0;              // user register length in bits (0: none)
};

class TJtagChain {
 public:
  explicit TJtagChain(std::vector<TJtagDevice> devices = {});

  const std::vector<TJtagDevice>& Devices() const { return devices_; }
  TTapState State() const { return state_; }
  // The instruction device `index` holds now.
  uint32_t Instruction(size_t index) const { return instructions_.at(index); }
  // The user register content of device `index` (UserLength bits).
  const std::vector<bool>& UserRegister(size_t index) const { return user_.at(index); }

  // One TCK with `tms` and `tdi`; returns TDO (the bit leaving the chain when the
  // TAP shifts, 0 otherwise).
  bool Clock(bool tms, bool tdi);

  // Five clocks with TMS high: Test-Logic-Reset from anywhere.
  void Reset();

  // Walks the shortest TMS path to `target` (TDI low). Returns the clock count.
  int MoveTo(TTapState target);

  // Shifts `bits` (TDI, first bit first) in the current Shift state; the last
  // clock leaves for Exit1 when `exit_last`. Returns the bits seen on TDO.
  std::vector<bool> Shift(const std::vector<bool>& bits, bool exit_last);

 private:
  void Capture(bool instruction_register);
  void Update(bool instruction_register);
  int DataRegisterLength(size_t index) const;

  std::vector<TJtagDevice> devices_;
  TTapState state_ = TTapState::TAP_RESET;
  std::vector<uint32_t> instructions_;   // per device
  std::vector<std::vector<bool>> user_;  // per device, UserLength bits
  std::deque<bool> shift_;               // the chain's shift path; front is at TDO
};
