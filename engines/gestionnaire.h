// TGestionnaire: the common base of the four programming engines (boot loader,
// card supervisor, bank flash, JTAG). An engine never touches the device link:
// it talks to its owner only through the fields and the eleven events below.
// Single-threaded: the owner calls Step, the accessors and receives every event
// on its event-loop thread; events are raised synchronously.
//
// Input that no awaited reply can use. A waiting state takes its reply from the
// front of BufIn; a byte there that cannot begin any reply the state expects is
// noise: it is dropped (never left to pile up in front of a reply), counted and
// sampled, and the state keeps waiting. Each engine's header states its rules.
// After more than kNoiseLimit noise bytes in a row (no reply taken in between)
// the operation fails with "The device sent N unexpected bytes while waiting for
// <what>: "<first bytes>"". BufIn never holds more than kInputCap bytes once
// PullInput returns: what lies beyond is dropped and counted as noise too.
// Dropping a run of n bytes is one erase, so a Step costs no more than the text
// that reached the owner since the last Step plus kInputCap.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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
  // UpdateAllowed, ErrorCount and the noise figures. Raises no event (not even
  // OnChangeBusy).
  virtual void ResetEngine();

  // The most BufIn holds after PullInput. The device answers one request at a time,
  // and the longest reply is under 300 bytes (a captured-data block of a 512-bit
  // shift, a JTAG identifier text); 8 KiB holds it behind kNoiseLimit bytes of
  // noise, so what the cut drops lies behind more noise than an operation survives
  // or further ahead than a device that waits for its next request ever sends.
  static constexpr size_t kInputCap = 8192;
  // Noise bytes in a row, with no reply taken, after which the operation fails.
  // Thirty times the longest reply: a disturbed line spoils a few bytes per reply,
  // and the emulator's largest noise fault (4096 bytes before a reply) still passes.
  static constexpr uint64_t kNoiseLimit = 4096;
  // Noise bytes kept to show what arrived.
  static constexpr size_t kNoiseSampleBytes = 16;

  // Bytes dropped as noise (or beyond kInputCap) since the operation began
  // (SetBusy) or the engine was reset.
  uint64_t NoiseCount() const { return noise_count_; }
  // The first kNoiseSampleBytes bytes of the latest run of noise, escaped for a
  // message (EscapeForMessage); "" when there was none in this operation.
  std::string NoiseSample() const;
  // What the current waiting state waits for, as the noise-limit message names it:
  // by default "the answer to line <n> of <path>" after a file line, else "the
  // answer to "<what was sent last>"". Engines override it for their data replies.
  virtual std::string AwaitedReply() const;

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

  void SetBusy();                          // Busy := true, OnChangeBusy; noise figures := 0
  void ClearBusy();                        // Busy := false, OnChangeBusy
  void PostInfo(const std::string& text);  // InfoText := text, OnInfo
  void SetMaxProgress(int32_t n);          // MaxProgress := n, OnChangeMaxProgress
  void StepProgress();                     // OnStepProgress
  void SendLine(const std::string& text);  // BufOut := text, OnSend
  void PullInput();                        // OnReceive, then the cap (see kInputCap)
  void ConsumeInput(size_t count);         // takes up to `count` chars, OnChangeBufIn
  void ClearInput();                       // BufIn := "", OnChangeBufIn
  void SetDeviceID(uint16_t n);            // DeviceID := n, OnChangeDeviceID
  void SpeedDown();                        // OnSpeedDown

  // True when BufIn is not empty and starts with `c`.
  bool InputStartsWith(char c) const { return !BufIn.empty() && BufIn.front() == c; }

  // Noise operations. Each drops its bytes in one erase (one OnChangeBufIn, none
  // when nothing is dropped) and returns false when the drop passed kNoiseLimit:
  // the operation has then failed (PostError) and the caller must stop.
  // Drops the first `count` bytes of BufIn.
  bool DropNoise(size_t count);
  // Drops the leading bytes of BufIn that are none of `starts` (the characters
  // that can begin a reply the state expects).
  bool DropNoiseBefore(std::string_view starts);
  // A reply of data ended by one of `marks`, at most `longest` bytes before it:
  // drops the bytes that lie further than that ahead of the first mark (of the end
  // of BufIn while no mark has come), which no such reply can hold.
  bool DropStaleData(size_t longest, std::string_view marks);
  // A reply of `shortest` to `longest` characters then "." (an identifier, a
  // version), whose first character passes `can_begin` (false for "."): drops the
  // characters in front that do not, and a text whose first "." stands elsewhere,
  // "." included (a text that grows past `longest` without one is dropped as it
  // comes, up to that "."). True when BufIn then begins with a complete reply;
  // false while waiting or after the noise limit failed the operation.
  bool AlignDataReply(size_t shortest, size_t longest, bool (*can_begin)(char));
  static bool IsHexDigitChar(char c);  // "0"-"9", "A"-"F", "a"-"f"
  static bool IsTextChar(char c);      // not a control character, not "."
  // Counts and samples `bytes` as noise that the caller drops itself (a state that
  // clears its whole buffer); no limit applies.
  void CountNoise(std::string_view bytes);

  // PullInput, then DropNoiseBefore(`replies`). The reply character now at the
  // front of BufIn (left there), or 0 when there is none yet or the noise limit
  // failed the operation.
  char AwaitReply(std::string_view replies);

  // The acknowledgement of a command just sent (AwaitReply of "." and "I"): "." is
  // consumed and true returned; "I" (a command the device does not know) is
  // consumed and the operation fails with "Instruction unknown". False unless
  // acknowledged.
  bool ReceiveAck();
  // The verdict on work the device was asked for (AwaitReply of "." and "X"): "."
  // is consumed and true returned; "X" is consumed and the operation fails with
  // `failure`. False unless done.
  bool ReceiveDone(const char* failure);
  // The answer to a record (AwaitReply of ".", "X" and "R"): as ReceiveDone, and
  // "R" is consumed and counted.
  TRecordReply ReceiveRecordReply(const char* failure);

  // A file upload begins: `path` (CurentDir + name) is what its messages name.
  void BeginUpload(const std::string& path) { upload_path_ = path; }
  // Sends lines[index] followed by "\r\n", as file lines travel.
  void SendFileLine(const std::vector<std::string>& lines, int32_t index);
  // One Step of a file upload, line by line, in which `next` is the line the next
  // acknowledgement sends. The answer to the line sent last: "." steps the progress
  // and sends line `next` (then advances it); "R" (counted) sends line `next` - 1
  // again (line 0 while `next` is 0); "X" fails the operation with
  // "Error while writing!!!"; "I" (the device cannot take the line; it answers
  // each character of a line it does not read as a record) fails it at once with
  // "<path> line <n>: the device cannot take this line (it answered "I")", n being
  // the 1-based line sent last. True once the last line has been acknowledged.
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
  // "R" counted, "." taken or "X" failed with `failure`, at the front of BufIn as
  // it stands.
  TRecordReply TakeRecordReply(const char* failure);
  // "." taken or "X" failed with `failure`, at the front of BufIn as it stands.
  TRecordReply TakeVerdict(const char* failure);
  // Adds `count` noise bytes (sampling the first of `bytes`) to the figures.
  void AddNoise(uint64_t count, std::string_view bytes);
  // A reply was taken: the next noise starts a new run.
  void EndNoiseRun() {
    noise_run_open_ = false;
    skip_to_dot_ = false;
  }
  // The noise-limit check after a drop: false (after PostError) when passed.
  bool WithinNoiseLimit();
  void ResetNoise();

  std::string upload_path_;      // file of the upload under way, for messages
  int32_t sent_file_line_ = 0;   // 1-based file line sent last; 0 when a command was
  uint64_t noise_count_ = 0;     // noise bytes in this operation
  uint64_t noise_run_ = 0;       // noise bytes since a reply was last taken
  bool noise_run_open_ = false;  // noise came after the last reply taken
  bool skip_to_dot_ = false;     // AlignDataReply: dropping a text up to its "."
  std::string noise_sample_;     // first bytes of the latest run, raw
};
