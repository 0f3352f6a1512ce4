// The update sequencer's vocabulary: its states with their names and the two facts
// a step and a watcher need about each (does it wait on the device, does received
// text cause a step), and the ways a run ends. TMainFich runs the states
// (sequencer.cpp); the runner's watchdog and the tests read them. Plain C++, no state.
#pragma once

#include <cstdint>

// The sequencer's states, in the order a run passes through them.
enum class TSeqState : uint8_t {
  SEQ_IDLE,                   // no run; resets everything, waits for Start or Read Id
  SEQ_OPEN,                   // configures and opens the link
  SEQ_WAKE,                   // asks the device for its DEV value
  SEQ_WAIT_TYPE,              // waits for a known DEV value
  SEQ_WAIT_UPDATER,           // waits for the updater-mode echo
  SEQ_BOOT_SYNC,              // raw mode, starts the boot-loader synchronisation
  SEQ_WAIT_BOOT_SYNC,         // waits for the synchronisation
  SEQ_LOAD_SCRIPT,            // loads the main script, starts the bridge boot image
  SEQ_WAIT_BRIDGE_BOOT,       // waits for the bridge boot image
  SEQ_PING,                   // pings the next option card
  SEQ_WAIT_PING,              // waits for the ping
  SEQ_WAIT_BRIDGE_OPEN,       // waits for the bridge to option card 0 (before the script)
  SEQ_WAIT_L0,                // waits for "L0"
  SEQ_WAIT_BRIDGE_CLOSE,      // waits for the bridge to close (before the script)
  SEQ_NEXT_LINE,              // takes the next main-script line
  SEQ_WAIT_LINE,              // waits for the engine that took a main-script line
  SEQ_NEXT_CARD_LINE,         // takes the next card-script line
  SEQ_WAIT_CARD_LINE,         // waits for the engine that took a card-script line
  SEQ_NORMAL_BOOT,            // starts the normal boot image (update script only)
  SEQ_WAIT_NORMAL_BOOT,       // waits for the normal boot image
  SEQ_CLOSE,                  // chooses how the exchange with the device is closed
  SEQ_WAIT_REBRIDGE_BOOT,     // waits for the bridge boot image programmed again
  SEQ_WAIT_END_BRIDGE_OPEN,   // waits for the bridge to option card 0 (closing)
  SEQ_WAIT_END_UPDATE,        // waits for "FU"
  SEQ_WAIT_END_BRIDGE_CLOSE,  // waits for the bridge to close (closing)
  SEQ_WAIT_FINISH,            // waits for "FI"
  SEQ_DONE,                   // the run succeeded
  SEQ_ERROR,                  // the run failed; closes the link
  SEQ_ERROR_REPORT,           // shows the error box
};

// What the rest of the program needs to know about one state.
struct TSeqStateInfo {
  const char* Name;     // "SEQ_WAIT_CARD_LINE": the enumerator as written above
  bool WaitsOnDevice;   // the run waits on the device with no time-out of its own
  bool StepsOnReceive;  // text from the device is followed by a step at once
  const char* Awaits;   // what the run waits for, in the operator's words
};

// The one table of the states. The switch has no default, so a new state that is
// missing here fails the build. Idle, the states that end a run, the link's
// opening and the two wake-up waits (which give up by themselves) do not wait on the
// device. No step follows received text while idle, before the link is open, at the
// link's reopening for raw mode, or in the two states that close the link. The words
// of Awaits follow "while waiting for" in messages; an engine's own state adds
// detail to them (TMainFich::Awaited).
constexpr TSeqStateInfo SeqStateInfo(TSeqState state) {
  using S = TSeqState;
  switch (state) {
    // clang-format off
    case S::SEQ_IDLE:                  return {"SEQ_IDLE", false, false,
          "a press on START"};
    case S::SEQ_OPEN:                  return {"SEQ_OPEN", false, false,
          "the link to open"};
    case S::SEQ_WAKE:                  return {"SEQ_WAKE", false, true,
          "the device's type"};
    case S::SEQ_WAIT_TYPE:             return {"SEQ_WAIT_TYPE", false, true,
          "the device's type"};
    case S::SEQ_WAIT_UPDATER:          return {"SEQ_WAIT_UPDATER", false, true,
          "the device to enter updater mode"};
    case S::SEQ_BOOT_SYNC:             return {"SEQ_BOOT_SYNC", true, false,
          "the boot loader"};
    case S::SEQ_WAIT_BOOT_SYNC:        return {"SEQ_WAIT_BOOT_SYNC", true, true,
          "the boot loader"};
    case S::SEQ_LOAD_SCRIPT:           return {"SEQ_LOAD_SCRIPT", true, true,
          "the bridge boot image to be programmed"};
    case S::SEQ_WAIT_BRIDGE_BOOT:      return {"SEQ_WAIT_BRIDGE_BOOT", true, true,
          "the bridge boot image to be programmed"};
    case S::SEQ_PING:                  return {"SEQ_PING", true, true,
          "the option cards to answer their pings"};
    case S::SEQ_WAIT_PING:             return {"SEQ_WAIT_PING", true, true,
          "the option cards to answer their pings"};
    case S::SEQ_WAIT_BRIDGE_OPEN:      return {"SEQ_WAIT_BRIDGE_OPEN", true, true,
          "the bridge to the keyboard card to open"};
    case S::SEQ_WAIT_L0:               return {"SEQ_WAIT_L0", true, true,
          "the keyboard card to take \"L0\""};
    case S::SEQ_WAIT_BRIDGE_CLOSE:     return {"SEQ_WAIT_BRIDGE_CLOSE", true, true,
          "the bridge to the keyboard card to close"};
    case S::SEQ_NEXT_LINE:             return {"SEQ_NEXT_LINE", true, true,
          "a main-script line to be carried out"};
    case S::SEQ_WAIT_LINE:             return {"SEQ_WAIT_LINE", true, true,
          "a main-script line to be carried out"};
    case S::SEQ_NEXT_CARD_LINE:        return {"SEQ_NEXT_CARD_LINE", true, true,
          "a card-script line to be carried out"};
    case S::SEQ_WAIT_CARD_LINE:        return {"SEQ_WAIT_CARD_LINE", true, true,
          "a card-script line to be carried out"};
    case S::SEQ_NORMAL_BOOT:           return {"SEQ_NORMAL_BOOT", true, true,
          "the normal boot image to be programmed"};
    case S::SEQ_WAIT_NORMAL_BOOT:      return {"SEQ_WAIT_NORMAL_BOOT", true, true,
          "the normal boot image to be programmed"};
    case S::SEQ_CLOSE:                 return {"SEQ_CLOSE", true, true,
          "the end of the exchange with the device"};
    case S::SEQ_WAIT_REBRIDGE_BOOT:    return {"SEQ_WAIT_REBRIDGE_BOOT", true, true,
          "the bridge boot image to be programmed again"};
    case S::SEQ_WAIT_END_BRIDGE_OPEN:  return {"SEQ_WAIT_END_BRIDGE_OPEN", true, true,
          "the bridge to the keyboard card to open"};
    case S::SEQ_WAIT_END_UPDATE:       return {"SEQ_WAIT_END_UPDATE", true, true,
          "the keyboard card to end its update"};
    case S::SEQ_WAIT_END_BRIDGE_CLOSE: return {"SEQ_WAIT_END_BRIDGE_CLOSE", true, true,
          "the bridge to the keyboard card to close"};
    case S::SEQ_WAIT_FINISH:           return {"SEQ_WAIT_FINISH", true, true,
          "the end of the exchange with the device"};
    case S::SEQ_DONE:                  return {"SEQ_DONE", false, false,
          "nothing (the run succeeded)"};
    case S::SEQ_ERROR:                 return {"SEQ_ERROR", false, false,
          "nothing (the run failed)"};
    case S::SEQ_ERROR_REPORT:          return {"SEQ_ERROR_REPORT", false, true,
          "the error box to be closed"};
      // clang-format on
  }
  return {"SEQ_IDLE", false, false, "a press on START"};  // not a state: counts as idle
}

// "SEQ_WAIT_CARD_LINE" and so on.
constexpr const char* SeqStateName(TSeqState state) { return SeqStateInfo(state).Name; }
// True for the states in which the run waits on the device with no time-out of its
// own. A timed wait inside an engine is not told here (TMainFich raises it).
constexpr bool WaitsOnDevice(TSeqState state) { return SeqStateInfo(state).WaitsOnDevice; }
// True for the states in which text from the device is followed by a step.
constexpr bool StepsOnReceive(TSeqState state) { return SeqStateInfo(state).StepsOnReceive; }
// "the boot loader", "a card-script line to be carried out", ...
constexpr const char* SeqStateAwaits(TSeqState state) { return SeqStateInfo(state).Awaits; }

// How a run ended.
enum class TRunEnd : uint8_t {
  RUN_COMPLETED,  // "Program operation completed"
  RUN_FAILED,     // the error box was shown
  RUN_STOPPED,    // the operator pressed STOP
};
