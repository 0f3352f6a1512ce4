// TRunHarness: drives TMainFich through whole runs without a window, a real port
// or real time. A fake clock advances by Timer1's interval at each tick; the link
// runs on the fake transports (link/testing) whose writes go to a device end (the
// emulator, or a test's own responder) and whose replies are delivered on the next
// pump, never inside a write. Every loop is bounded by a tick count, so a run that does not
// finish fails with the last log lines instead of hanging. Reused by the runner's
// and the window's tests. Single-threaded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "engines/ms_clock.h"
#include "link/testing/fake_transports.h"

// The device side of the in-process transports.
class TDeviceEnd {
 public:
  virtual ~TDeviceEnd() = default;
  // Bytes the host wrote on transport `kind` ("serial", "udp", "tcp").
  virtual void FromHost(const std::string& kind, const std::string& bytes) = 0;
  // Lets the device work up to `now_ms`; it hands its output to `to_host`.
  virtual void Pump(uint32_t now_ms, const std::function<void(const std::string&)>& to_host) = 0;
  // The link closed the transport (or reopened it: then Closed, and writes follow).
  virtual void Closed() {}
};

// A device that answers each host write with what `reply` returns for it, at the
// next pump.
class TScriptedDevice : public TDeviceEnd {
 public:
  std::function<std::string(const std::string&)> reply;
  void FromHost(const std::string&, const std::string& bytes) override {
    if (reply) pending_ += reply(bytes);
  }
  void Pump(uint32_t, const std::function<void(const std::string&)>& to_host) override {
    if (!pending_.empty()) to_host(pending_);
    pending_.clear();
  }

 private:
  std::string pending_;
};

// A view that records what the core asks of the window and answers at once.
class TRecordingView : public TMainView {
 public:
  void ShowError(const std::string& text) override { Errors.push_back(text); }
  void ShowWarning(const std::string& text) override { Warnings.push_back(text); }
  void ShowLanSetup(TIPConfigDlg& dialog) override;
  void ShowComponentSelection(TCompSelDlg& dialog) override;
  void ShowAbout() override { ++Abouts; }
  void Repaint() override { ++Repaints; }
  void Close() override;

  // What the operator does in the dialogs; the default closes them untouched.
  std::function<void(TIPConfigDlg&)> OnLanSetup;
  std::function<void(TCompSelDlg&)> OnComponentSelection;
  // Called by Close; the harness points it at the core's FormClose.
  std::function<void()> OnClose;

  std::vector<std::string> Errors;
  std::vector<std::string> Warnings;
  int Repaints = 0;
  int Abouts = 0;
  int Closes = 0;
};

struct TRunHarnessOptions {
  std::string ProgramFolder;                              // ends with a separator
  std::string ScriptArgument;                             // the command-line script, or empty
  std::string WorkingFolder;                              // where "readid.ini" is looked for
  std::string UserConfigFolder;                           // settings fallback folder
  std::set<std::string> MissingDevices;                   // serial device names whose open fails
  std::string OpenFailure = "No such file or directory";  // their reason
  TLinkFault OpenFault = TLinkFault::LF_MISSING;          // and its kind
  TLowLatency LowLatency = TLowLatency::LL_ON;            // the serial driver's answer
  bool TcpRefused = false;    // every TCP attempt fails with "Connection refused"
  bool UdpBindFails = false;  // every UDP bind fails
  int TcpConnectPumps = 1;    // pumps a TCP attempt takes before it connects
  // START and Read Id judge the package first; off, a run starts on whatever is
  // there, for the tests of the run's own errors and of the link without a package.
  bool PackageCheck = true;
  // Serves the core's step-soon requests (TMainFich::OnStepSoon) after each tick and
  // each delivery, as the event loop does, and its requests for a step after some
  // milliseconds (OnStepAfter) at that time between the ticks, as a timer would;
  // otherwise they are only counted.
  bool StepSoon = false;
};

class TRunHarness {
 public:
  explicit TRunHarness(TRunHarnessOptions options, TDeviceEnd* device = nullptr);
  ~TRunHarness();
  TRunHarness(const TRunHarness&) = delete;
  TRunHarness& operator=(const TRunHarness&) = delete;

  // One tick: the clock advances by Timer1's interval, Timer1 fires if enabled,
  // then the device works and its output is delivered.
  void Tick();
  // Lets the device work and delivers its output, without a tick.
  void Pump();
  // With TRunHarnessOptions::StepSoon, runs the steps the core asked for (each of
  // which may ask for the next); otherwise nothing.
  void ServeStepSoon();
  // Ticks until `done` holds, at most `max_ticks` times. False (with `why` holding
  // the tick count and the last log lines) when it never held.
  bool RunUntil(const std::function<bool()>& done, int max_ticks, std::string* why = nullptr);
  // Presses Start, runs until the sequencer is idle again, then one idle tick more.
  // A package refused by the check before the run also counts as a run that ended.
  bool RunStart(int max_ticks, std::string* why = nullptr);
  bool RunReadId(int max_ticks, std::string* why = nullptr);
  // Ticks until the sequencer is in `state`.
  bool RunToState(TSeqState state, int max_ticks, std::string* why = nullptr);

  // Queues bytes from the device, delivered at the next pump.
  void DeviceSays(const std::string& bytes) { to_host_.push_back(bytes); }
  // The transports, for a test that makes one fail (Vanish, Fail).
  TFakeSerial& Serial() { return *serial_; }
  TFakeTcp& Tcp() { return *tcp_; }

  // The last `n` lines of the status log, one per line, for failure messages.
  std::string LastLogLines(size_t n = 12) const;
  const std::vector<std::string>& Log() const { return core->MemoStatus.Lines(); }
  // The transport calls without the bytes: opens, closes, line resets, binds,
  // connects ("serial.open COM1 9600", "serial.reset", "udp.bind 10500", ...).
  TCallLog Connections() const;

  TFakeClock clock;
  TRecordingView view;
  std::unique_ptr<TMainFich> core;
  std::string Wire;                 // every byte the host wrote, in order
  std::vector<std::string> Writes;  // each write separately
  TCallLog Transports;              // every transport call, in order (see TFakeLink)
  int Ticks = 0;                    // ticks given so far
  int StepSoonRequests = 0;         // OnStepSoon raised so far

 private:
  void HostWrote(const std::string& kind, const std::string& bytes);
  void Closed();
  void Deliver(const std::string& bytes);
  void PumpTcp();
  bool RunFromButton(const std::function<void()>& press, int max_ticks, std::string* why);

  TRunHarnessOptions options_;
  TDeviceEnd* device_;                // not owned; may be null (a silent device)
  TFakeSerial* serial_ = nullptr;     // owned by the link
  TFakeUdp* udp_ = nullptr;           // owned by the link
  TFakeTcp* tcp_ = nullptr;           // owned by the link
  int tcp_attempts_ = 0;              // connection attempts seen so far
  int tcp_pumps_ = 0;                 // pumps since the current attempt started
  std::deque<std::string> to_host_;   // device output not yet delivered
  bool step_soon_asked_ = false;      // OnStepSoon raised and not served yet
  std::optional<uint32_t> step_due_;  // when the step OnStepAfter asked for falls due
};
