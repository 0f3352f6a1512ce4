// TProgPsd: the bank flash engine. For banks "0" to "7" it erases a flash bank,
// uploads an Intel HEX file line by line and has the device verify the bank's
// checksum ("P" + bank + file), uploads a file without erase or verify ("PE" +
// file), reads the microcontroller's identifier ("D" + bank) and sends the closing
// command ("F" + bank). The sequencer hands it a script line and calls Step until
// Busy falls. Runs on the owner's thread; Step never blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/gestionnaire.h"

// The engine's states; Step runs one small function per state.
enum class TPsdState {
  Idle,           // waits for an instruction to accept
  Halted,         // after an error: does nothing until ResetEngine
  BankCheck,      // checks UpdateAllowed, loads the file, sends "P" + bank
  EraseWaitAck,   // waits for the device to start the erase
  EraseWaitDone,  // waits for the erase to end, then sends the first line
  Uploading,      // one file line per acknowledgement
  VerifySend,     // sends the verify record with the bank checksum
  VerifyWait,     // waits for the verify verdict
  ELoad,          // "PE": loads the file, sends "PE"
  EWaitAck,       // "PE": waits for the device, then sends the first line
  EUploading,     // "PE": one file line per acknowledgement, no verify
  IdSend,         // sends "D" + bank
  IdWaitAck,      // waits for "." or "I" to "D" + bank
  IdWaitData,     // waits for the two identifier characters and their "."
  FinishSend,     // sends "F" + bank
  FinishWaitAck,  // waits for "." or "I" to "F" + bank
  Done,           // empties Lines, clears Busy, back to Idle
};

class TProgPsd : public TGestionnaire {
 public:
  TProgPsd() = default;

  // Idle: accepts "P"/"D"/"F" + bank 0..7 and "PE" + file. Busy: one piece of work.
  void Step();
  // Ends the operation first (OnChangeBusy), then reports (OnError); halts.
  void PostError(const std::string& text) override;
  // Back to Idle with Lines dropped and the base fields cleared.
  void ResetEngine() override;

  TPsdState State = TPsdState::Idle;
  std::vector<std::string> Lines;  // the file being uploaded, without line ends
  int32_t LineIndex = 0;           // index of the next line to send
  int32_t Bank = 0;                // bank of the current instruction, 0..7

 private:
  void StepIdle();
  void StepBankCheck();
  void StepEraseWaitAck();
  void StepEraseWaitDone();
  void StepUploading(TPsdState when_done);
  void StepVerifySend();
  void StepVerifyWait();
  void StepELoad();
  void StepEWaitAck();
  void StepIdSend();
  void StepIdWaitAck();
  void StepIdWaitData();
  void StepFinishSend();
  void StepFinishWaitAck();
  void StepDone();

  // Loads CurentDir + `name` into Lines; on failure reports it and returns false.
  bool LoadFile(const std::string& name);
  // Starts the upload once the device is ready: first line, or the empty-file error.
  void StartUpload(TPsdState next);
  void SendFileLine(int32_t index);
  // Counts one retransmission; false (after failing the operation) past the limit.
  bool CountRetransmission();
  std::string BankDigit() const;
};
