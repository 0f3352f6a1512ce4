// TProgPsd: the bank flash engine. For banks "0" to "7" it erases a flash bank,
// uploads an Intel HEX file line by line and has the device verify the bank's
// checksum ("P" + bank + file), uploads a file without erase or verify ("PE" +
// file), reads the microcontroller's identifier ("D" + bank) and sends the closing
// command ("F" + bank). The sequencer hands it a script line and calls Step until
// Busy falls. Runs on the owner's thread; Step never blocks.
// Noise (see gestionnaire.h): the acknowledgement states keep "." and "I",
// ERASE_DONE "." and "X", the uploads ".", "X", "R" and "I", VERIFY_WAIT ".", "X"
// and "R"; ID_DATA drops control characters in front, and a text whose first "."
// is not its third character, "." included.
// Wire: doc/protocol.md, "Bank flash".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engines/gestionnaire.h"
#include "engines/intel_hex.h"

// What a script line asks of the bank flash engine, as its idle state reads it.
struct TPsdInstruction {
  // Which operation the line starts.
  enum class TKind : uint8_t {
    PSD_NONE,     // not a line of this engine
    PSD_PROGRAM,  // "P" + bank + file: erase, upload, verify
    PSD_E,        // "PE" + file: upload without erase or verify
    PSD_ID,       // "D" + bank: read the identifier
    PSD_FINISH,   // "F" + bank: closing command
  };
  TKind Kind = TKind::PSD_NONE;
  int32_t Bank = 0;  // 0..7; 0 for "PE"
  std::string File;  // "P" + bank and "PE": the file name (blanks inside kept)
};

class TProgPsd : public TGestionnaire {
 public:
  // The engine's states; Step runs the handler of the same name.
  enum class TPsdState : uint8_t {
    PSD_IDLE,         // looks for an instruction to accept
    PSD_BANK_CHECK,   // checks UpdateAllowed, loads the file, sends "P" + bank
    PSD_ERASE_ACK,    // PullInput: "." erase started, "I" unknown command
    PSD_ERASE_DONE,   // PullInput: "." erased (line 0 sent), "X" erase failed
    PSD_UPLOAD,       // PullInput: "." next line, "X" write failed, "R" again, "I" refused
    PSD_VERIFY_SEND,  // sends the verify record with the bank checksum
    PSD_VERIFY_WAIT,  // PullInput: "." match, "X" mismatch, "R" again
    PSD_E_LOAD,       // "PE": loads the file, sends "PE"
    PSD_E_ACK,        // "PE": PullInput: "." line 0 sent, "I" unknown command
    PSD_E_UPLOAD,     // "PE": as PSD_UPLOAD, then done without verify
    PSD_ID_SEND,      // sends "D" + bank
    PSD_ID_ACK,       // PullInput: "." the identifier follows, "I" unknown command
    PSD_ID_DATA,      // PullInput: two identifier characters, then "."
    PSD_FINISH_SEND,  // sends "F" + bank
    PSD_FINISH_ACK,   // PullInput: "." done, "I" unknown command
    PSD_DONE,         // drops Lines, ClearBusy, back to idle
    PSD_ERROR,        // after PostError; only ResetEngine leaves it
  };

  TProgPsd() = default;

  // Reads `line` as the idle state does: "P", "D" or "F", blanks, a bank digit
  // "0".."7" (for "P" then the file name), or "P", blanks, "E", the file name.
  // Used by Step and the package checker.
  static TPsdInstruction ParseInstruction(std::string_view line);

  // Idle: accepts "P"/"D"/"F" + bank 0..7 and "PE" + file. Busy: one piece of work.
  void Step();
  // Ends the operation first (OnChangeBusy), then reports (OnError); halts.
  void PostError(const std::string& text) override;
  // Back to idle with Lines dropped and the base fields cleared.
  void ResetEngine() override;

  TPsdState State() const { return state_; }
  // The erase's end, the verdict and the identifier by name; the rest as the base.
  std::string AwaitedReply() const override;

  std::vector<std::string> Lines;  // the file being uploaded, without line ends
  int32_t LineIndex = 0;           // index of the next line to send
  int32_t Bank = 0;                // bank of the current instruction, 0..7

 private:
  void Idle();
  void BankCheck();
  void EraseAck();
  void EraseDone();
  void Upload();  // PSD_UPLOAD and PSD_E_UPLOAD
  void VerifySend();
  void VerifyWait();
  void ELoad();
  void EAck();
  void IdSend();
  void IdAck();
  void IdData();
  void FinishSend();
  void FinishAck();
  void Done();

  // Loads CurentDir + `name` into Lines and checks it under `rules`; on failure
  // (no file, an empty file, a line the device cannot take) reports it and returns
  // false before anything is sent.
  bool LoadFile(const std::string& name, const THexImageRules& rules);
  // Starts the upload once the device is ready: first line, or the empty-file error.
  void StartUpload(TPsdState next);
  std::string BankDigit() const;

  TPsdState state_ = TPsdState::PSD_IDLE;  // current state
};
