// TTestOwner: stands in for the main window in engine tests. It wires every engine
// event the way the window does: OnSend appends BufOut to a wire log, OnReceive and
// OnChangeBufIn share one RxBuffer, and busy/progress/info/error/device-id events are
// recorded in order. Tests feed device replies into RxBuffer between Step calls.
// Reused by the emulator and sequencer tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engines/gestionnaire.h"

class TTestOwner {
 public:
  // Wires all eleven base events of `engine` to this owner.
  void Attach(TGestionnaire& engine);

  // Device replies: appended to the receive accumulator.
  void Reply(const std::string& text) { RxBuffer += text; }

  // Everything sent, concatenated, and each OnSend separately.
  std::string Wire;
  std::vector<std::string> Sent;
  // The receive accumulator shared by OnReceive/OnChangeBufIn.
  std::string RxBuffer;
  // Events in order: "busy:1", "busy:0", "info:<text>", "error:<text>", "max:<n>",
  // "step", "id:<n>", "speedup", "speeddown".
  std::vector<std::string> Events;
  // Called with BufOut after each OnSend (e.g. to feed an emulated device).
  std::function<void(const std::string&)> OnWire;

  bool busy = false;       // last OnChangeBusy value
  int max_progress = 0;    // last OnChangeMaxProgress value
  int progress = 0;        // OnStepProgress count since the last max change
  int step_count = 0;      // OnStepProgress count in total

  // Only the events that start with `prefix` (e.g. "info:").
  std::vector<std::string> EventsWith(const std::string& prefix) const;
  // Forgets the wire log and the events (keeps RxBuffer).
  void ClearLogs();
};
