// TProgBoot: the boot-loader engine. "SYN" synchronises with the device's boot
// loader, agrees on the device type (37, else 27) and reads the boot checksum and the
// 16-bit device identifier; "PB <file> [checksum]" erases the extended boot area,
// uploads an Intel HEX file line by line and has the device verify a 16-bit sum.
// Driven by the update sequencer (hand over a line, call Step while Busy);
// single-threaded, events raised synchronously. No time-outs: a silent device keeps
// the engine waiting until the owner calls ResetEngine. The checksum text of a "PB"
// line is sent as written, without being checked.
// Noise (see gestionnaire.h), by waiting state: SYNC_WAIT counts every byte but "."
// and clears the buffer as before (no limit); TYPE_WAIT keeps "." and "X";
// ID_WAIT drops what is not a hex digit in front, and a text whose first "." is not
// its 9th (type 27: 13th) character, "." included (the late answers to a "%"
// repeated while the line was slow are such texts); ERASE_ACK keeps "." and "I";
// ERASE_DONE "." and "X"; UPLOAD ".", "X", "R" and "I"; VERIFY_WAIT ".", "X", "R".
// Wire: doc/protocol.md, "Boot loader".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engines/gestionnaire.h"

// What a script line asks of the boot-loader engine, as its idle state reads it.
struct TBootInstruction {
  // Which operation the line starts.
  enum class TKind : uint8_t {
    BOOT_NONE,  // not a line of this engine
    BOOT_SYN,   // "SYN": synchronise and identify
    BOOT_PB,    // "P" then "B": program the boot image
  };
  TKind Kind = TKind::BOOT_NONE;
  std::string File;      // "PB": the file name (up to the first blank)
  std::string Checksum;  // "PB": the checksum text after it, or ""
  // Why the line cannot run, or "": a checksum text that is not four upper-case
  // hex digits (the device compares it with the sum it computes).
  std::string Fault;
};

class TProgBoot : public TGestionnaire {
 public:
  // The engine's states; Step runs the handler of the same name.
  enum class TBootState : uint8_t {
    BOOT_IDLE,         // looks for an instruction to accept
    BOOT_SYNC_SEND,    // sends "%"
    BOOT_SYNC_WAIT,    // PullInput: "." anywhere proposes 37; nothing sends "%" again
    BOOT_TYPE_WAIT,    // PullInput: "." accepted, "X" refused (37 then 27)
    BOOT_ID_WAIT,      // PullInput: checksum and identifier, "." at 9th/13th char
    BOOT_LOAD,         // loads the file, sends "PB"
    BOOT_ERASE_ACK,    // PullInput: "." erase started, "I" unknown command
    BOOT_ERASE_DONE,   // PullInput: "." erased (line 0 sent), "X" erase failed
    BOOT_UPLOAD,       // PullInput: "." next line, "X" write failed, "R" again, "I" refused
    BOOT_VERIFY_SEND,  // sends the verify record
    BOOT_VERIFY_WAIT,  // PullInput: "." match, "X" mismatch, "R" again
    BOOT_DONE,         // drops Lines, ClearBusy, back to idle
    BOOT_ERROR,        // after PostError; only ResetEngine leaves it
  };

  TProgBoot();

  // Reads `line` as the idle state does: "SYN", or "P", blanks, "B", blanks, the
  // file name and an optional checksum text. Used by Step and the package checker.
  static TBootInstruction ParseInstruction(std::string_view line);

  // Idle: accepts "SYN", or "P" followed (after blanks) by "B" (SetBusy).
  // Busy: does the work of the current state and returns. Error: nothing.
  void Step();

  // Drops Lines, ClearBusy, enters the error state, then stores the text and raises
  // OnError (so the owner sees Busy fall before the error).
  void PostError(const std::string& text) override;
  // Drops Lines, clears the base fields (no event) and returns to idle;
  // ExpectedChecksum, LineIndex and DeviceType keep their values.
  void ResetEngine() override;

  TBootState State() const { return state_; }
  // The identification reply and the erase's end by name; the rest as the base.
  std::string AwaitedReply() const override;

  std::string ExpectedChecksum;    // checksum text of the "PB" line; empty if none
  std::vector<std::string> Lines;  // the HEX file being uploaded, without line ends
  int32_t LineIndex = 0;           // index of the next line to send
  int32_t DeviceType = 37;         // type proposed to the boot loader: 37, then 27
  // The boot loader accepted DeviceType (raised before the identification reply).
  TNotifyEvent OnDeviceType;

 private:
  void Idle();
  void SyncSend();
  void SyncWait();
  void TypeWait();
  void IdWait();
  void Load();
  void EraseAck();
  void EraseDone();
  void Upload();
  void VerifySend();
  void VerifyWait();
  void Done();

  TBootState state_ = TBootState::BOOT_IDLE;  // current state
  std::string line_;                          // the "PB" line as handed over, for messages
};
