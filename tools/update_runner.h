// TUpdateRunner: what qelt-update does around the TMainFich core, without the event
// loop: applies the command line over the loaded settings, says which connection and
// script it uses, presses START, ticks Timer1, turns the status log, the progress
// bars and the core's run events into output, runs the watchdog (no progress while
// waiting on the device) and stops the run on request as STOP does.
// It is the core's view (TMainView). The Qt side (qt_runner_loop.cpp and the entry
// point) owns the timer and the signal handling. Plain C++, single-threaded; time
// from TMsClock.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "tools/no_answer_watchdog.h"
#include "tools/runner_options.h"
#include "tools/runner_output.h"

// Exit statuses of qelt-update.
inline constexpr int kExitCompleted = 0;  // "Program operation completed"
inline constexpr int kExitFailed = 1;     // the run ended with the error box
inline constexpr int kExitUsage = 2;      // bad command line or settings
inline constexpr int kExitStopped = 3;    // watchdog, Ctrl-C or termination request

// The status line the window shows while idle; the runner has no START button.
inline constexpr const char* kIdlePrompt = "Click on button START to begin program operation";

// The last log line of a completed identification pass ("readid.ini").
inline constexpr const char* kIdentificationCompleted = "Identification completed";

// "Skipped, already current: VI3 MCU (version 0214)", for a component index
// 0..12 of `card` (255 main card, 0..5 option card).
std::string SkipNote(int card, int component, const std::string& version);

// The log line after a default COM1 failed to open (the run then ends with status 2).
std::string DefaultPortHint(const std::string& device);

// The script argument the core is given: SCRIPT as typed, or with --readid the
// "readid.ini" of SCRIPT's folder (of `program_folder` when no SCRIPT is given).
std::string RunnerScriptArgument(const TRunnerOptions& options, const std::string& program_folder);

class TUpdateRunner : public TMainView {
 public:
  // Becomes the core's view and subscribes to its change and run events; both are
  // undone by the destructor. The core and the clock must outlive the runner.
  TUpdateRunner(TMainFich& core, const TRunnerOptions& options, TMsClock& clock);
  ~TUpdateRunner() override;
  TUpdateRunner(const TUpdateRunner&) = delete;
  TUpdateRunner& operator=(const TUpdateRunner&) = delete;

  // Output that receives the log, progress and the end, and with --trace the
  // traffic when `traces` (not owned).
  void AddOutput(TRunnerOutput* output, bool traces = true) {
    outputs_.push_back(output);
    if (traces) trace_outputs_.push_back(output);
  }

  // After the core loaded its settings: applies --port, --udp, --tcp, --local-port,
  // --manual with its selection, and --skip-check. False with the reason when the
  // resulting connection cannot work (exit status 2).
  bool Configure(std::string& error);
  // Presses START, then logs the connection and where it came from, and the script:
  // "Connection: serial /dev/ttyUSB0 (from --port)", "Package: /pkg/script.ini".
  void Start();
  // "Connection: serial COM1 = /dev/ttyS0 (default: no --port and no settings file)".
  std::string ConnectionLine() const;
  // One tick of Timer1, then the watchdog. Nothing once the run has finished.
  void Tick();
  // The core asks for a step as soon as the event loop is free (TMainFich::OnStepSoon):
  // the event loop posts a call to StepSoon, never makes it from the handler.
  std::function<void()> OnStepSoon;
  // The core asks for a step after `ms` milliseconds, at the end of a timed wait
  // (TMainFich::OnStepAfter): the event loop arms a timer that calls StepSoon; a
  // later request replaces the earlier one.
  std::function<void(uint32_t ms)> OnStepAfter;
  // The step the core asked for. Nothing once the run has finished.
  void StepSoon();
  // Bytes written to or received from the device, from the traced transports.
  void Traffic(TTraceDir dir, const std::string& bytes);
  // Stops the run as the STOP button does (the link is closed and the engines are
  // reset at once) and ends with kExitStopped and `reason`.
  void Interrupt(const std::string& reason);

  bool Finished() const { return finished_; }
  int ExitCode() const { return exit_code_; }
  // The interval the timer must wait before the next Tick.
  uint32_t TimerInterval() const { return core_.Timer1.Interval; }
  // Raised once when the run has ended (success, failure or stop).
  std::function<void()> OnFinished;

  // TMainView.
  void ShowError(const std::string&) override {}  // the failure comes with OnRunEnd
  void ShowWarning(const std::string& text) override;
  void ShowLanSetup(TIPConfigDlg& dialog) override;
  void ShowComponentSelection(TCompSelDlg& dialog) override;
  void ShowAbout() override {}
  void Repaint() override {}
  void Close() override {}  // only the window closes itself; a run never asks here

 private:
  void Subscribe();
  void Render();
  void ShowProgress();
  void Log(const std::string& text);
  bool RunWaitsOnDevice() const;
  bool DefaultConnection() const;
  std::string WatchdogMessage() const;
  void EndRun();
  void Finish(int exit_code, const std::string& message, const std::string& script);

  TMainFich& core_;
  TRunnerOptions options_;
  TNoAnswerWatchdog watchdog_;
  std::vector<TRunnerOutput*> outputs_;        // not owned
  std::vector<TRunnerOutput*> trace_outputs_;  // the outputs that show traffic
  size_t logged_ = 0;                          // status log lines already written out
  std::string last_sent_;                      // the last piece written to the device
  uint64_t seen_progress_ = 0;                 // the core's progress count at the last look
  std::string stop_reason_;                    // why Interrupt stopped the run
  std::string end_message_;                    // the core's OnRunEnd texts
  std::string end_script_;
  std::multiset<std::string> finding_lines_;  // status log lines shown as findings already
  TRunEnd end_ = TRunEnd::RUN_COMPLETED;      // how the run ended, once ended_
  bool ended_ = false;       // the core ended the run; finished after its last log lines
  bool timed_wait_ = false;  // between the core's OnTimedWaitBegin and OnTimedWaitEnd
  bool started_ = false;
  bool finished_ = false;
  int exit_code_ = kExitCompleted;
};
