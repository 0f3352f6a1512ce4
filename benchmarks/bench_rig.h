// TBenchRig: one programming engine driven against the emulated device, as the
// sequencer drives it: the engine's sends go through a TTestOwner to the
// in-process port, each Step is followed by a pump that delivers the device's
// replies, and a fake clock advances by Timer1's run interval per step. The
// owner's logs are emptied as the run goes, so a long playback measures the
// engine and not the log. Benchmarks only; single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "emulator/emulated_device.h"
#include "emulator/in_process_port.h"
#include "engines/ms_clock.h"
#include "engines/testing/test_owner.h"

struct TRigParts {
  TFakeClock clock;
  TEmulatedDevice device;
  TInProcessPort port{device};
  TTestOwner owner;
};

template <class Engine>
class TBenchRig : private TRigParts {
 public:
  static constexpr uint32_t kTickMs = 10;       // Timer1 during a run
  static constexpr long kLogClearSteps = 4096;  // owner logs emptied this often

  TBenchRig() : engine(MakeEngine()) {
    owner.Attach(engine);
    owner.OnWire = [this](const std::string& bytes) { port.Write(bytes); };
    port.OnOutput = [this](const std::string& bytes) { owner.Reply(bytes); };
    engine.UpdateAllowed = true;
  }
  TBenchRig(const TBenchRig&) = delete;
  TBenchRig& operator=(const TBenchRig&) = delete;

  // Wakes the device into its boot loader and proposes its type, as the sequencer's
  // synchronisation does, so that programming commands are accepted.
  bool EnterUpdater() {
    device.Receive("254yU%37", clock.TickCount());
    return device.TakeOutput(clock.TickCount()) == "UPD254\r\n..6A5C01A7.";
  }

  // Hands `instruction` over and steps until Busy falls. Returns the Step calls
  // made, or -1 when the engine was still busy after `max_steps`.
  long Run(const std::string& instruction, long max_steps) {
    engine.Instruction = instruction;
    engine.Step();
    long steps = 1;
    while (engine.Busy) {
      if (steps >= max_steps) return -1;
      port.Pump(clock.TickCount());
      engine.Step();
      clock.Advance(kTickMs);
      if (++steps % kLogClearSteps == 0) ForgetLogs();
    }
    ForgetLogs();
    return steps;
  }

  // OnStepProgress calls over all runs.
  long Progress() const { return progress_; }
  const TEmulatedDevice& Device() const { return device; }
  const TTestOwner& Owner() const { return owner; }

  Engine engine;

 private:
  Engine MakeEngine() {
    if constexpr (std::is_constructible_v<Engine, TMsClock&>) {
      return Engine(clock);
    } else {
      return Engine();
    }
  }
  void ForgetLogs() {
    progress_ += owner.step_count;
    owner.ClearLogs();
  }

  long progress_ = 0;
};
