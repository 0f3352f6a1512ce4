// TGestionnaire: the common base of the four programming engines (boot loader,
// card supervisor, bank flash, JTAG). An engine never touches the device link:
// it talks to its owner only through the fields and the eleven events below.
// Single-threaded: the owner calls Step, the accessors and receives every event
// on its event-loop thread; events are raised synchronously.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TGestionnaire;

// A notification that takes only its sender (always the engine itself).
using TNotifyEvent = std::function<void(TGestionnaire* Sender)>;

class TGestionnaire {
 public:
  TGestionnaire();
  virtual ~TGestionnaire() = default;
  TGestionnaire(const TGestionnaire&) = delete;
  TGestionnaire& operator=(const TGestionnaire&) = delete;

  // Stores `text` in ErrorText and raises OnError. Every engine overrides it to
  // end its operation as well (in the order its own protocol requires).
  virtual void PostError(const std::string& text);

  // Empties the texts, restores MaxProgress 100, clears Busy, DeviceID,
  // UpdateAllowed and ErrorCount. Raises no event (not even OnChangeBusy).
  virtual void ResetEngine();

  // Fields, in the order the owner knows them. The owner writes Instruction,
  // BufIn and UpdateAllowed directly (no event), and reads the others.
  std::string Instruction;  // the script line handed over; stripped while parsed
  std::string BufIn;        // received text nobody has consumed yet
  std::string BufOut;       // the last line the engine asked to send
  std::string ErrorText;    // the last error message
  std::string InfoText;     // the last information message
  int32_t MaxProgress = 100;  // progress steps of the current operation
  int32_t DeviceID = 0;       // 0..65535, zero-extended 16-bit identifier
  bool UpdateAllowed = false;  // set once the device identifier is known
  int32_t ErrorCount = 0;      // "R" requests in the current operation
  bool Busy = false;           // an operation is under way
  std::string CurentDir;       // folder (ending with a separator) files are looked up in

  // The eleven events, raised only when assigned.
  TNotifyEvent OnSend;
  TNotifyEvent OnChangeBufIn;
  TNotifyEvent OnReceive;
  TNotifyEvent OnStepProgress;
  TNotifyEvent OnChangeMaxProgress;
  TNotifyEvent OnInfo;
  TNotifyEvent OnError;
  TNotifyEvent OnChangeBusy;
  TNotifyEvent OnChangeDeviceID;
  TNotifyEvent OnSpeedUp;
  TNotifyEvent OnSpeedDown;

 protected:
  void SetBusy();                             // Busy := true, OnChangeBusy
  void ClearBusy();                           // Busy := false, OnChangeBusy
  void PostInfo(const std::string& text);     // InfoText := text, OnInfo
  void SetMaxProgress(int32_t n);             // MaxProgress := n, OnChangeMaxProgress
  void StepProgress();                        // OnStepProgress
  void SendLine(const std::string& text);     // BufOut := text, OnSend
  void PullInput();                           // OnReceive: the owner refreshes BufIn
  void ConsumeInput(const std::string& token);  // drops token.size() chars, OnChangeBufIn
  void ClearInput();                          // BufIn := "", OnChangeBufIn
  void SetDeviceID(uint16_t n);               // DeviceID := n, OnChangeDeviceID
  void SpeedDown();                           // OnSpeedDown

  // True when BufIn is not empty and starts with `c`.
  bool InputStartsWith(char c) const { return !BufIn.empty() && BufIn.front() == c; }

  void Raise(const TNotifyEvent& event) {
    if (event) event(this);
  }
};
