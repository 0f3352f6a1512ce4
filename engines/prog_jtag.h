// TProgJtag: the JTAG engine. For the component codes "8", "9", "A" and "C" it reads
// the identifiers of the component's JTAG chain ("D" + code), plays an Effect file
// into it ("P" + code + file name) and sends the closing command ("F" + code).
// The sequencer hands it a script line and calls Step until Busy falls. Runs on the
// owner's thread; Step never blocks: the pause before a file plays is a timed state
// on the injected clock, and the Effect file is read one line at a time.
#pragma once

#include <cstdint>
#include <string>

#include "engines/effect_language.h"
#include "engines/file_access.h"
#include "engines/gestionnaire.h"
#include "engines/ms_clock.h"

// The engine's states; Step runs one small function per state.
enum class TJtagState {
  Idle,           // waits for an instruction to accept
  Halted,         // after an error: does nothing until ResetEngine
  IdSend,         // sends "D" + code
  IdWaitAck,      // waits for "." or "I" to "D" + code
  IdWaitData,     // waits for the identifier text and its "."
  PlayCheck,      // checks UpdateAllowed, sends "P" + code
  PlayWaitAck,    // waits for "." or "I" to "P" + code, then opens the Effect file
  Pausing,        // lets the device settle for one second before the first statement
  Playing,        // one statement in flight: acknowledgements, raw blocks, captured data
  EndWait,        // waits for the verdict on the end record
  FinishSend,     // sends "F" + code
  FinishWaitAck,  // waits for "." or "I" to "F" + code
  Done,           // closes the Effect file, clears Busy, back to Idle
};

class TProgJtag : public TGestionnaire, public TEffectStatement {
 public:
  // Time between the device's "." to "P" + code and the first statement.
  static constexpr uint32_t kPauseMs = 1000;
  // OpenEffectFile results besides a line count.
  static constexpr int32_t kEffectFileMissing = -1;     // no file of that name
  static constexpr int32_t kEffectFileUnreadable = -2;  // exists, cannot be opened or read

  // `clock` times the pause before a file plays; it must outlive the engine.
  explicit TProgJtag(TMsClock& clock = SystemClock());
  ~TProgJtag() override;

  // Idle: accepts "D", "P" or "F" followed by 8, 9, A or C. Busy: one piece of work.
  void Step();
  // Reports first (OnError before OnChangeBusy), then closes the file and halts.
  void PostError(const std::string& text) override;
  // Back to Idle with the base fields cleared; also closes an Effect file left open,
  // so no handle survives a stopped run.
  void ResetEngine() override;

  // True during the pause before a file plays: nothing is sent, nothing expected.
  bool InTimedWait() const { return State == TJtagState::Pausing; }

  // Opens `path` and counts its lines (CR LF, LF or CR end a line), then rewinds.
  // Returns the count, kEffectFileMissing or kEffectFileUnreadable.
  int32_t OpenEffectFile(const std::string& path);
  void CloseEffectFile();
  bool EffectFileOpen() const { return effect_file_.IsOpen(); }
  // The first ".", "X" or "R" of BufIn, or "" when there is none.
  std::string FirstReplyMark() const;
  // Parses `line` into this engine's statement fields (see effect_language.h).
  void ParseStatement(const std::string& line, std::string& result);

  TJtagState State = TJtagState::Idle;
  std::string CurrentLine;  // the Effect file line read last; parsed again on "R"
  int32_t LineCount = 0;    // lines of the Effect file being played
  int32_t LineNumber = 0;   // lines read so far: the 1-based line of the statement under way
  std::string Component;    // component code of the current instruction

 private:
  void StepIdle();
  void StepIdSend();
  void StepIdWaitAck();
  void StepIdWaitData();
  void StepPlayCheck();
  void StepPlayWaitAck();
  void StepPausing();
  void StepPlaying();
  void StepEndWait();
  void StepFinishSend();
  void StepFinishWaitAck();
  void StepDone();

  void SendNextStatement();
  void CheckCapturedData();
  // Counts one retransmission; false (after failing the operation) past the limit.
  bool CountRetransmission();
  // Waits for "." (then `next`) or "I" at the front of BufIn.
  void WaitAck(TJtagState next, const std::string& info);

  TMsClock& clock_;           // not owned
  TLineReader effect_file_;   // the Effect file being played, read line by line
  std::string effect_path_;   // CurentDir + file name, for messages
  uint32_t pause_start_ = 0;  // clock tick when Pausing began
};
