// TWindowUnderTest: the main window over a core driven by the run harness: a
// firmware package in a temporary program folder, the emulated device at the far
// end of in-process transports, a fake clock, and a recording modal host. Ticks go
// through the window's own Timer1 handler; nothing waits on real time. Tests only.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>

#include "app/testing/emulator_end.h"
#include "app/testing/run_harness.h"
#include "app/testing/test_package.h"
#include "app/ui/main_window.h"
#include "app/ui/testing/recording_modal_host.h"
#include "emulator/emulated_device.h"

class TWindowUnderTest {
 public:
  // `prepare` writes what the package folder needs before the core starts (the
  // standard revision-1 package is already there).
  explicit TWindowUnderTest(const std::function<void(TTestPackage&)>& prepare = nullptr,
                            TRunHarnessOptions options = {}) {
    package.WriteStandard("rev1");
    if (prepare) prepare(package);
    options.ProgramFolder = package.Dir();
    if (options.WorkingFolder.empty()) options.WorkingFolder = package.Path("work") + "/";
    options.UserConfigFolder = package.Path("config") + "/";
    harness = std::make_unique<TRunHarness>(options, &end);
    window = std::make_unique<TMainWindow>(*harness->core, host);
    window->UseManualTicks();
    window->show();
  }
  ~TWindowUnderTest() {
    window.reset();
    harness.reset();
  }

  TMainFich& Core() { return *harness->core; }

  // One tick of Timer1 through the window, then the device works and answers.
  void Tick() {
    harness->clock.Advance(Core().Timer1.Interval);
    if (Core().Timer1.Enabled) window->Timer1Timeout();
    harness->Pump();
    QCoreApplication::processEvents();
  }
  // Ticks until `done` holds, at most `max_ticks` times; false with the last log
  // lines in `why` otherwise.
  bool TickUntil(const std::function<bool()>& done, int max_ticks, std::string* why = nullptr) {
    for (int i = 0; i < max_ticks; ++i) {
      if (done()) return true;
      Tick();
    }
    if (done()) return true;
    if (why)
      *why = "not done after " + std::to_string(max_ticks) + " ticks:\n" + harness->LastLogLines();
    return false;
  }
  bool TickToState(TSeqState state, int max_ticks, std::string* why = nullptr) {
    return TickUntil([this, state] { return Core().SeqState() == state; }, max_ticks, why);
  }

  TTestPackage package;
  TEmulatedDevice device;
  TEmulatorEnd end{device};
  TRecordingModalHost host;
  std::unique_ptr<TRunHarness> harness;
  std::unique_ptr<TMainWindow> window;
};
