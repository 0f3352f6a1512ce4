// TEmulatedRun: a test package, an emulated device and the run harness wired
// together, for whole runs of the sequencer in tests (the core's own, the runner's
// and the window's). Tests only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/testing/emulator_end.h"
#include "app/testing/run_harness.h"
#include "app/testing/test_package.h"
#include "emulator/emulated_device.h"

struct TEmulatedRun {
  // `prepare` writes package files that must exist before the window is created
  // (settings, "readid.ini"); `adjust` may change the harness options.
  using TPrepare = std::function<void(TTestPackage&)>;
  using TAdjust = std::function<void(TRunHarnessOptions&)>;
  explicit TEmulatedRun(TDeviceConfig config = {}, const TPrepare& prepare = {},
                        const TAdjust& adjust = {})
      : device(std::move(config)), end(device), h(Options(prepare, adjust), &end) {}

  // Every host write that is not an Intel HEX record line, in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const std::string& w : h.Writes) {
      if (w.empty() || w[0] != ':') out.push_back(w);
    }
    return out;
  }
  TMainFich& core() { return *h.core; }

  TTestPackage package;
  TEmulatedDevice device;
  TEmulatorEnd end;
  TRunHarness h;

 private:
  TRunHarnessOptions Options(const TPrepare& prepare, const TAdjust& adjust) {
    if (prepare) prepare(package);
    TRunHarnessOptions o;
    o.ProgramFolder = package.Dir();
    o.WorkingFolder = package.Dir();
    o.UserConfigFolder = package.Dir() + "user" + kPathSeparator;
    if (adjust) adjust(o);
    return o;
  }
};
