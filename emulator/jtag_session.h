// The device's side of a JTAG playback: it executes the records the host sends
// for one chain (STATE, ENDIR, ENDDR, RUNTEST, SIR, SDR, end) on the chain's TAP
// controller, takes the raw TDI block of a long SDR, and encodes captured TDO
// data for the reply. The emulated device owns one session per open playback.
// Plain C++; single-threaded; the chain must outlive the session.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/hex_record.h"
#include "emulator/jtag_chain.h"

// What executing a record (or a raw block) came to.
enum class TJtagOutcome : uint8_t {
  JO_DONE,        // the statement is complete: the device answers "."
  JO_FAILED,      // the statement cannot be executed: the device answers "X"
  JO_RAW_WANTED,  // a long SDR: acknowledge with ESC "." and read RawLength characters
  JO_RAW_BAD,     // the raw block is damaged: the device answers "R"
  JO_CAPTURED,    // shifted with TDO wanted: Captured goes back, then "." after the ack
  JO_END,         // the end record: the playback is over, the device answers "."
};

struct TJtagResult {
  TJtagOutcome Outcome = TJtagOutcome::JO_DONE;
  size_t RawLength = 0;           // for JO_RAW_WANTED
  std::vector<uint8_t> Captured;  // for JO_CAPTURED, least significant byte first
};

class TJtagSession {
 public:
  explicit TJtagSession(TJtagChain& chain) : chain_(chain) {}

  // Executes one well-formed record.
  TJtagResult Execute(const TDeviceRecord& record);
  // Executes the pending long SDR with its raw block: hex TDI bytes (least
  // significant first) followed by two hex digits of their byte sum.
  TJtagResult ExecuteRawBlock(std::string_view block);

 private:
  TJtagResult RunTest(const std::vector<uint8_t>& data);
  TJtagResult WalkStates(const std::vector<uint8_t>& data);
  TJtagResult SetEndState(const std::vector<uint8_t>& data, TTapState& end_state);
  TJtagResult ShiftRecord(const TDeviceRecord& record);
  TJtagResult DoShift(uint8_t type, uint16_t bit_count, const std::vector<uint8_t>& tdi);

  TJtagChain& chain_;
  TTapState end_ir_ = TTapState::TAP_IDLE;  // where a SIR ends (ENDIR)
  TTapState end_dr_ = TTapState::TAP_IDLE;  // where a SDR ends (ENDDR)
  uint8_t pending_type_ = 0;                // the long SDR awaiting its raw block
  uint16_t pending_bits_ = 0;
};

// The reply that carries captured data (doc/protocol.md, "Captured data"): the bytes
// and their 8-bit sum as hex pairs, a 00 byte written ESC "0" and a 1B byte ESC ESC,
// then ESC ".".
// `corrupt_checksum` sends a wrong sum (a damaged transmission).
std::string EncodeCapturedData(const std::vector<uint8_t>& bytes, bool corrupt_checksum);

// The "D" identifier reading: resets the chain, shifts 128 data bits with TDI
// high and returns them as 32 hex digits, least significant byte first. The
// chain rests in IDLE afterwards.
std::string ReadChainIdentifiers(TJtagChain& chain);

// Bits (first bit = bit 0 of byte 0) to bytes and back.
std::vector<bool> BytesToBits(const std::vector<uint8_t>& bytes, size_t bit_count);
std::vector<uint8_t> BitsToBytes(const std::vector<bool>& bits);
