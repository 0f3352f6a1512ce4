// TInstCrt: the card supervisor engine. It talks to the device's supervisor rather
// than programming a memory: card pings, bridges to a card, version numbers, reset,
// one-word device commands, operator prompts and timed waits.
// Driven by the update sequencer exactly like the other engines (hand over a line,
// call Step while Busy); single-threaded, events raised synchronously. The "wait"
// instruction reads the injected millisecond clock and never sleeps.
//
// Keywords, tested at the first character in this order (first match wins):
//   "prompt" "wait" "RS" "NP" "FI" "V" "T" "UV" "Q" "Z" "FY" "M" "FU" "L"
// "Q" is taken only with a bridge number "0".."5" (or with no argument at all, which
// then fails, see below) and "L" only when its argument begins with "0"; anything
// else leaves the engine idle and silent, so another engine may take the line.
//
// Damaged script lines end the operation through PostError with a text that quotes
// the line as handed over, before anything is sent to the device:
//   "wait" whose argument is not a non-negative decimal integer (at most 2^32-1):
//       "Invalid wait time in line : <line>"
//   "V", "T", "Q", "Z", "M" or "UV" without an argument:
//       "Missing argument in line : <line>"
//   "V" with a component code but no version text:
//       "Missing version in line : <line>"
//   "M" whose card code is not a decimal digit:
//       "Invalid card number in line : <line>"
// Noise (see gestionnaire.h): the acknowledgement states keep "." and "I",
// WRITE_RESULT "." and "X", PING_REPLY ".", "X" and "I"; VERSION_READ drops
// control characters in front, and a text whose first "." is not its fifth
// character, "." included (an "X" in front still fails the read).
// Wire: doc/protocol.md, "Card supervisor".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engines/gestionnaire.h"
#include "engines/ms_clock.h"

// `component` is an index 0..12 into CardCodes (engines/card_table.h).
using TVersionNotifyEvent = std::function<void(TGestionnaire* Sender, int component)>;
// `card` is the pinged card number 0..9.
using TCardErrorNotifyEvent = std::function<void(TGestionnaire* Sender, int card)>;
using TCardReadyNotifyEvent = std::function<void(TGestionnaire* Sender, int card)>;

// What a script line asks of the card supervisor, as its idle state reads it.
struct TCrtInstruction {
  bool Accepted = false;  // one of the keywords starts the line (and "Q"/"L" qualify)
  std::string Keyword;    // the keyword that matched: "prompt", "wait", "RS", ... "L"
  std::string Argument;   // what follows it, trimmed
  uint32_t WaitMs = 0;    // "wait": the duration
  // Why the line cannot run, the text the engine reports before sending anything
  // ("Invalid wait time in line : wait x", ...), or "".
  std::string Fault;
};

class TInstCrt : public TGestionnaire {
 public:
  // The engine's states; Step runs the handler of the same name.
  enum class TCrtState : uint8_t {
    CRT_IDLE,          // looks for an instruction to accept
    CRT_PROMPT,        // posts the prompt text
    CRT_WAIT_START,    // reads the duration, notes the start tick
    CRT_WAIT_TIME,     // until more than the duration has elapsed (64-bit sum)
    CRT_COMMAND_SEND,  // sends RS, NP, FI, FY, FU, "Q"+c or "Z"+c
    CRT_COMMAND_ACK,   // PullInput: "." done, "I" refused
    CRT_WRITE_SEND,    // sends "V"+c or "UV"
    CRT_WRITE_ACK,     // PullInput: "." then the version text is sent; "I" refused
    CRT_WRITE_RESULT,  // PullInput: "." written, "X" write failed
    CRT_VERSION_SEND,  // sends "T"+c
    CRT_VERSION_ACK,   // PullInput: "." the version follows; "I" refused
    CRT_VERSION_READ,  // PullInput: four characters then "."; "X" read failed
    CRT_PING_SEND,     // sends "M"+c
    CRT_PING_REPLY,    // PullInput: "." ready; "X" or "I" card error
    CRT_L_SEND,        // sends "L"+argument
    CRT_L_ACK,         // PullInput: "." done, "I" refused
    CRT_DONE,          // ClearBusy, back to idle
    CRT_ERROR,         // after PostError; only ResetEngine leaves it
  };

  // `clock` must outlive the engine; it is read only by "wait".
  explicit TInstCrt(TMsClock& clock = SystemClock());

  // Reads `line` as the idle state does: the first keyword that starts it, its
  // argument, and the fault of a damaged line (see above). Used by Step and the
  // package checker.
  static TCrtInstruction ParseInstruction(std::string_view line);

  // Idle: accepts Instruction if one of the keywords starts it (SetBusy).
  // Busy: does the work of the current state and returns. Error: nothing.
  void Step();

  // ClearBusy, enter the error state, then store the text and raise OnError.
  void PostError(const std::string& text) override;
  // Clears the base fields (no event) and returns to idle.
  void ResetEngine() override;

  TCrtState State() const { return state_; }
  // True while a "wait" line counts its time: nothing is sent, nothing expected.
  bool InTimedWait() const { return state_ == TCrtState::CRT_WAIT_TIME; }
  // During a "wait": the milliseconds of the clock until a Step ends it (0: the
  // next Step does), at most 2^32 - 1; nothing otherwise.
  std::optional<uint32_t> TimedWaitLeftMs() const;
  // The version read by name; the rest as the base.
  std::string AwaitedReply() const override;

  // A "T" read returned the expected version (raised only when equal).
  TVersionNotifyEvent OnVersionSame;
  // A ping "M" was answered "X" or "I": the card is absent; not an engine error.
  TCardErrorNotifyEvent OnCardError;
  // A ping "M" was answered ".".
  TCardReadyNotifyEvent OnCardReady;

 private:
  // The operation a keyword starts.
  enum class TCrtOp : uint8_t {
    OP_PROMPT,
    OP_WAIT,
    OP_RS,
    OP_NP,
    OP_FI,
    OP_V,
    OP_T,
    OP_UV,
    OP_Q,
    OP_Z,
    OP_FY,
    OP_M,
    OP_FU,
    OP_L,
  };

  // The first keyword that starts `line`, and its length.
  static bool MatchKeyword(std::string_view line, TCrtOp& op, size_t& length);
  static TCrtState FirstState(TCrtOp op);
  // ParseInstruction, also giving the operation.
  static TCrtInstruction Parse(std::string_view line, TCrtOp& op);
  // The damaged-line text of an accepted line, or ""; "wait" also gets its time.
  static std::string LineFault(TCrtOp op, std::string_view line, const std::string& argument,
                               uint32_t& wait_ms);

  void Idle();
  void Prompt();
  void WaitStart();
  void WaitTime();
  void CommandSend();
  void CommandAck();
  void WriteSend();
  void WriteAck();
  void WriteResult();
  void VersionSend();
  void VersionAck();
  void VersionRead();
  void PingSend();
  void PingReply();
  void LSend();
  void LAck();
  void Done();

  // True (after PostError) when the accepted line is damaged.
  bool Refused();
  // Removes the component code (first character) from Instruction and trims.
  void DropCode();

  TMsClock& clock_;                        // read by "wait" only
  TCrtState state_ = TCrtState::CRT_IDLE;  // current state
  TCrtOp op_ = TCrtOp::OP_PROMPT;          // operation of the accepted line
  std::string line_;                       // the line as handed over, for messages
  std::string fault_;                      // why the accepted line cannot run, or ""
  std::string code_;                       // c: first character of the argument
  uint32_t wait_duration_ = 0;             // ms, "wait" only
  uint32_t wait_tick_ = 0;                 // tick count at the wait's last Step
  uint64_t wait_elapsed_ = 0;              // ms waited so far; never wraps
  int32_t ping_card_ = 0;                  // card number of the running ping
};
