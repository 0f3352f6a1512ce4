// TEmulatorEnd: puts the emulated device at the far end of the run harness's
// in-process transports, through the emulator's own in-process port: host bytes
// are queued as they are written and reach the device at the next pump, which
// also hands out the replies in the pieces the device chose. Tests only.
#pragma once

#include "app/testing/run_harness.h"
#include "emulator/emulated_device.h"
#include "emulator/in_process_port.h"

class TEmulatorEnd : public TDeviceEnd {
 public:
  explicit TEmulatorEnd(TEmulatedDevice& device) : port_(device) {}
  void FromHost(const std::string&, const std::string& bytes) override { port_.Write(bytes); }
  void Pump(uint32_t now_ms, const std::function<void(const std::string&)>& to_host) override {
    port_.OnOutput = to_host;
    port_.Pump(now_ms);
    port_.OnOutput = nullptr;
  }

 private:
  TInProcessPort port_;  // the device's transport end
};
