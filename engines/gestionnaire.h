// TGestionnaire: the common base of the four programming engines (boot loader,
// card supervisor, bank flash, JTAG). An engine never touches the device link:
// it talks to its owner only through the fields and the eleven events below.
// Single-threaded: the owner calls Step, the accessors and receives every event
// on its event-loop thread; events are raised synchronously.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  std::string Instruction;     // the script line handed over; stripped while parsed
  std::string BufIn;           // received text nobody has consumed yet
  std::string BufOut;          // the last line the engine asked to send
  std::string ErrorText;       // the last error message
  std::string InfoText;        // the last information message
  int32_t MaxProgress = 100;   // progress steps of the current operation
  int32_t DeviceID = 0;        // 0..65535, zero-extended 16-bit identifier
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
  // "R" requests answered in one operation; the next one fails it.
  static constexpr int32_t kMaxRetransmissions = 300;
  // Failure texts that several engines report.
  static constexpr char kInstructionUnknown[] = "Instruction unknown";
  static constexpr char kTooManyRetransmissions[] = "Too Many Transmission Error !!!";

  // What the device answered to a record of a transfer (a file line, a verify record).
  enum class TRecordReply : uint8_t {
    RECORD_NONE,    // no answer at the front of BufIn yet; it stays there
    RECORD_TAKEN,   // "." (consumed): the record was taken
    RECORD_RESEND,  // "R" (consumed, counted): send the same record again
    RECORD_FAILED,  // "X" or one "R" too many: the operation failed and was reported
  };

  void SetBusy();                          // Busy := true, OnChangeBusy
  void ClearBusy();                        // Busy := false, OnChangeBusy
  void PostInfo(const std::string& text);  // InfoText := text, OnInfo
  void SetMaxProgress(int32_t n);          // MaxProgress := n, OnChangeMaxProgress
  void StepProgress();                     // OnStepProgress
  void SendLine(const std::string& text);  // BufOut := text, OnSend
  void PullInput();                        // OnReceive: the owner refreshes BufIn
  void ConsumeInput(size_t count);         // drops up to `count` chars, OnChangeBufIn
  void ClearInput();                       // BufIn := "", OnChangeBufIn
  void SetDeviceID(uint16_t n);            // DeviceID := n, OnChangeDeviceID
  void SpeedDown();                        // OnSpeedDown

  // True when BufIn is not empty and starts with `c`.
  bool InputStartsWith(char c) const { return !BufIn.empty() && BufIn.front() == c; }

  // The acknowledgement of a command just sent. PullInput, then: "." is consumed
  // and true returned; "I" (a command the device does not know) is consumed and the
  // operation fails with "Instruction unknown"; anything else stays. False unless
  // acknowledged.
  bool ReceiveAck();
  // The verdict on work the device was asked for. PullInput, then: "." is consumed
  // and true returned; "X" is consumed and the operation fails with `failure`;
  // anything else stays. False unless done.
  bool ReceiveDone(const char* failure);
  // The answer to a record: as ReceiveDone, and "R" is consumed and counted.
  TRecordReply ReceiveRecordReply(const char* failure);

  // Sends lines[index] followed by "\r\n", as file lines travel.
  void SendFileLine(const std::vector<std::string>& lines, int32_t index);
  // One Step of a file upload, line by line, in which `next` is the line the next
  // acknowledgement sends. The answer to the line sent last: "." steps the progress
  // and sends line `next` (then advances it); "R" (counted) sends line `next` - 1
  // again (line 0 while `next` is 0); "X" fails the operation with
  // "Error while writing!!!". True once the last line has been acknowledged.
  bool UploadStep(const std::vector<std::string>& lines, int32_t& next);

  // Starts an operation's retransmission count: ErrorCount := 0.
  void StartRetransmissionCount() { ErrorCount = 0; }
  // Counts one "R": true while the operation has had at most kMaxRetransmissions;
  // the one after fails it with "Too Many Transmission Error !!!" and returns false.
  bool CountRetransmission();

  void Raise(const TNotifyEvent& event) {
    if (event) event(this);
  }

 private:
  // "." taken or "X" failed with `failure`, at the front of BufIn as it stands.
  TRecordReply TakeVerdict(const char* failure);
};
