// TProgJtag: the JTAG engine. For the component codes "8", "9", "A" and "C" it reads
// the identifiers of the component's JTAG chain ("D" + code), plays an Effect file
// into it ("P" + code + file name) and sends the closing command ("F" + code).
// The sequencer hands it a script line and calls Step until Busy falls. Runs on the
// owner's thread; Step never blocks: the pause before a file plays is a timed state
// on the injected clock, and the Effect file is read one line at a time.
// Noise (see gestionnaire.h): the acknowledgement states keep "." and "I";
// ID_DATA drops what is not a hex digit in front, and a text longer than 256
// characters before its "." (the "." included); END_WAIT keeps ".", "X" and "R";
// PLAY: see DropPlayNoise.
// Wire: doc/protocol.md, "JTAG" and "Captured data".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engines/effect_file_check.h"
#include "engines/effect_language.h"
#include "engines/file_access.h"
#include "engines/gestionnaire.h"
#include "engines/ms_clock.h"

// What a script line asks of the JTAG engine, as its idle state reads it.
struct TJtagInstruction {
  // Which operation the line starts.
  enum class TKind : uint8_t {
    JTAG_NONE,    // not a line of this engine
    JTAG_ID,      // "D" + code: read the chain's identifiers
    JTAG_PLAY,    // "P" + code + Effect file: play the file
    JTAG_FINISH,  // "F" + code: closing command
  };
  TKind Kind = TKind::JTAG_NONE;
  char Code = 0;     // "8", "9", "A" or "C"
  std::string File;  // "P": the Effect file name (blanks inside kept)
};

class TProgJtag : public TGestionnaire, public TEffectStatement {
 public:
  // The engine's states; Step runs the handler of the same name.
  enum class TJtagState : uint8_t {
    JTAG_IDLE,         // looks for an instruction to accept
    JTAG_ID_SEND,      // sends "D" + code
    JTAG_ID_ACK,       // PullInput: "." the identifiers follow, "I" unknown command
    JTAG_ID_DATA,      // PullInput: the identifier text and its "."
    JTAG_PLAY_CHECK,   // checks UpdateAllowed, sends "P" + code
    JTAG_PLAY_ACK,     // PullInput: "." opens the Effect file, "I" unknown command
    JTAG_PAUSE,        // checks the file in slices; lets the device settle for one second
    JTAG_PLAY,         // PullInput: one statement in flight: "." next, "X" failed, "R" again
    JTAG_END_WAIT,     // PullInput: the verdict on the end record
    JTAG_FINISH_SEND,  // sends "F" + code
    JTAG_FINISH_ACK,   // PullInput: "." done, "I" unknown command
    JTAG_DONE,         // closes the Effect file, ClearBusy, back to idle
    JTAG_ERROR,        // after PostError; only ResetEngine leaves it
  };

  // Time between the device's "." to "P" + code and the first statement.
  static constexpr uint32_t kPauseMs = 1000;
  // Lines of the Effect file checked per Step during the pause (a few ms of work).
  static constexpr size_t kCheckSliceLines = 16384;
  // OpenEffectFile results besides a line count.
  static constexpr int32_t kEffectFileMissing = -1;     // no file of that name
  static constexpr int32_t kEffectFileUnreadable = -2;  // exists, cannot be opened or read

  // `clock` times the pause before a file plays; it must outlive the engine.
  explicit TProgJtag(TMsClock& clock = SystemClock());
  ~TProgJtag() override;

  // Reads `line` as the idle state does: "D", "P" or "F", blanks, a component code
  // "8", "9", "A" or "C" (for "P" then the Effect file name). Used by Step and the
  // package checker.
  static TJtagInstruction ParseInstruction(std::string_view line);

  // Idle: accepts "D", "P" or "F" followed by 8, 9, A or C. Busy: one piece of work.
  void Step();
  // Reports first (OnError before OnChangeBusy), then closes the file and halts.
  void PostError(const std::string& text) override;
  // Back to idle with the base fields cleared; also closes an Effect file left open,
  // so no handle survives a stopped run.
  void ResetEngine() override;

  // True during the pause before a file plays: nothing is sent, nothing expected.
  bool InTimedWait() const { return state_ == TJtagState::JTAG_PAUSE; }
  // During the pause, once the file's check is done: the milliseconds of the clock
  // until a Step ends the pause (0: the next Step does). Nothing otherwise: the
  // check still needs a Step per slice, or there is no pause.
  std::optional<uint32_t> PauseLeftMs() const;

  // Opens `path` and counts its lines (CR LF, LF or CR end a line), then rewinds.
  // Returns the count, kEffectFileMissing or kEffectFileUnreadable.
  int32_t OpenEffectFile(const std::string& path);
  void CloseEffectFile();
  bool EffectFileOpen() const { return effect_file_.IsOpen(); }
  // The first ".", "X" or "R" of BufIn, or "" when there is none.
  std::string FirstReplyMark() const;
  // Parses `line` into this engine's statement fields (see effect_language.h).
  void ParseStatement(const std::string& line, std::string& result);

  TJtagState State() const { return state_; }
  // The identifiers and the statement's line by name; the rest as the base.
  std::string AwaitedReply() const override;

  std::string CurrentLine;  // the Effect file line read last; parsed again on "R"
  int32_t LineCount = 0;    // lines of the Effect file being played
  int32_t LineNumber = 0;   // lines read so far: the 1-based line of the statement under way
  std::string Component;    // component code of the current instruction

 private:
  void Idle();
  void IdSend();
  void IdAck();
  void IdData();
  void PlayCheck();
  void PlayAck();
  void Pause();
  void Play();
  void EndWait();
  void FinishSend();
  void FinishAck();
  void Done();

  // Checks the next slice of the Effect file; true once all of it passed. A
  // fault is reported (PostError) and gives false.
  bool EffectFileChecked();
  // Drops the bytes at the front of BufIn that no reply to the statement in flight
  // can begin with; false when that passed the noise limit.
  bool DropPlayNoise();
  void SendNextStatement();
  void CheckCapturedData();

  TJtagState state_ = TJtagState::JTAG_IDLE;  // current state
  TMsClock& clock_;                           // not owned
  TLineReader effect_file_;                   // the Effect file being played, read line by line
  TEffectFileCheck effect_check_;             // every line checked before the first is sent
  std::string effect_path_;                   // CurentDir + file name, for messages
  uint32_t pause_start_ = 0;                  // clock tick when the pause began
};
