// What qelt-update shows and records: the terminal display (three progress bars
// redrawn in place under the scrolling log), plain log lines when stdout is not a
// terminal, JSON events for wrappers, and the timestamped log file. Each is a
// TRunnerOutput writing to a std::ostream; the runner feeds all that are enabled.
// Plain C++, single-threaded; time comes from the caller (TMsClock, a stamp function).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/package_check.h"
#include "app/run_story.h"  // EscapeBytes

class TMsClock;

// The three bars: operation, phase or card script, whole script.
struct TProgressState {
  std::array<int, 3> Position{};
  std::array<int, 3> Max{100, 100, 100};
  bool operator==(const TProgressState&) const = default;
};

// Direction of traced bytes.
enum class TTraceDir : uint8_t { TRACE_SENT, TRACE_RECEIVED };

// The bounds of one line of output. A device that sends without pause hands the
// runner pieces of any size, and engine texts may quote what it sent: unbounded,
// one line could fill the terminal, the log file and the reader's memory. What
// passes a bound is left out and counted on the line.
inline constexpr size_t kTraceLineBytes = 256;  // bytes of one piece sent or received
inline constexpr size_t kLogLineChars = 1024;   // characters of one log line
// `bytes` escaped, at most kTraceLineBytes of them: "ZZZ ... (+3840 bytes not shown)".
std::string TraceText(std::string_view bytes);
// `text` cut to kLogLineChars: "... (+120 characters not shown)".
std::string CapLogLine(const std::string& text);
// A JSON string literal (quotes included). Bytes 0x80-0xFF are taken as Latin-1.
std::string JsonQuote(std::string_view text);
// "YYYY-MM-DD HH:MM:SS.mmm".
std::string FormatTimestamp(const std::tm& time, int milliseconds);
// The local wall-clock time, formatted as above.
std::string NowTimestamp();
// "[#####-----]  50%" with `width` cells between the brackets.
std::string ProgressBarText(int position, int max, int width);
// {"event":"finding","severity":"error"|"warning","path":...,"line":...,"message":...}
// (without the time: a finding belongs to the package, not to the moment).
std::string FindingJson(const TFinding& finding);

class TRunnerOutput {
 public:
  virtual ~TRunnerOutput() = default;
  // A new line of the status log.
  virtual void Log(const std::string& text) = 0;
  // What the engine is doing now (its step texts, not kept in the log).
  virtual void Activity(const std::string& /*text*/) {}
  virtual void Progress(const TProgressState& /*state*/) {}
  virtual void Trace(TTraceDir /*dir*/, const std::string& /*bytes*/) {}
  // A finding of the package check that refused the run (before the run's end).
  virtual void Finding(const TFinding& /*finding*/) {}
  // The run failed or was stopped: the error box text (message, script path).
  virtual void Error(const std::string& message, const std::string& script, int exit_code) = 0;
  // The run completed.
  virtual void Done(const std::string& text) = 0;
};

// stdout is not a terminal: each log line once, trace lines when asked, the error
// box text at the end.
class TPlainOutput : public TRunnerOutput {
 public:
  TPlainOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void Log(const std::string& text) override;
  void Trace(TTraceDir dir, const std::string& bytes) override;
  void Finding(const TFinding& finding) override;
  void Error(const std::string& message, const std::string& script, int exit_code) override;
  void Done(const std::string& text) override;

 private:
  std::ostream& out_;  // log lines
  std::ostream& err_;  // findings and the error box text
};

// A terminal: log lines scroll; under them the three bars and the current activity
// are redrawn in place (at most every kRedrawMs, and at once after a log line).
class TTerminalOutput : public TRunnerOutput {
 public:
  static constexpr uint32_t kRedrawMs = 50;
  TTerminalOutput(std::ostream& out, std::ostream& err, TMsClock& clock, int width);
  void Log(const std::string& text) override;
  void Activity(const std::string& text) override;
  void Progress(const TProgressState& state) override;
  void Trace(TTraceDir dir, const std::string& bytes) override;
  void Finding(const TFinding& finding) override;
  void Error(const std::string& message, const std::string& script, int exit_code) override;
  void Done(const std::string& text) override;

 private:
  void EraseBlock();
  void DrawBlock();
  void Redraw(bool force);
  std::string Fit(const std::string& text) const;

  std::ostream& out_;  // the terminal
  std::ostream& err_;  // the error box text
  TMsClock& clock_;
  int width_;               // terminal columns
  TProgressState state_;    // last bars received
  std::string activity_;    // the block's last line
  bool drawn_ = false;      // the block is on screen
  uint32_t last_draw_ = 0;  // clock tick of the last redraw
};

// --json: one object per line, {"event":"log"|"progress"|"trace"|"error"|"done",...}.
// Progress is written when a bar's whole percentage or maximum changes.
class TJsonOutput : public TRunnerOutput {
 public:
  using TStamp = std::function<std::string()>;
  TJsonOutput(std::ostream& out, TStamp stamp) : out_(out), stamp_(std::move(stamp)) {}
  void Log(const std::string& text) override;
  void Progress(const TProgressState& state) override;
  void Trace(TTraceDir dir, const std::string& bytes) override;
  void Finding(const TFinding& finding) override;
  void Error(const std::string& message, const std::string& script, int exit_code) override;
  void Done(const std::string& text) override;

 private:
  void Write(const std::string& event, const std::string& fields);

  std::ostream& out_;
  TStamp stamp_;
  std::array<int, 3> percent_{-1, -1, -1};  // last written percentages
  std::array<int, 3> max_{-1, -1, -1};      // last written maxima
};

// --log FILE: "stamp  text" per log line, "stamp  > bytes" / "stamp  < bytes" per
// traced piece, and the error box text.
class TLogFileOutput : public TRunnerOutput {
 public:
  using TStamp = std::function<std::string()>;
  TLogFileOutput(std::ostream& out, TStamp stamp) : out_(out), stamp_(std::move(stamp)) {}
  void Log(const std::string& text) override;
  void Trace(TTraceDir dir, const std::string& bytes) override;
  void Finding(const TFinding& finding) override;
  void Error(const std::string& message, const std::string& script, int exit_code) override;
  void Done(const std::string& text) override;
  // A line of the runner's own (session start and end).
  void Note(const std::string& text) { Line(text); }

 private:
  void Line(const std::string& text);

  std::ostream& out_;
  TStamp stamp_;
};
