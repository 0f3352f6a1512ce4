// TEmulatorEnd: puts the emulated device at the far end of the run harness's
// in-process transports. Host bytes go to the device as they are written; its
// replies are taken at each pump, in the pieces the device hands out. Tests only.
#pragma once

#include "app/testing/run_harness.h"
#include "emulator/emulated_device.h"

class TEmulatorEnd : public TDeviceEnd {
 public:
  explicit TEmulatorEnd(TEmulatedDevice& device) : device_(device) {}
  void FromHost(const std::string&, const std::string& bytes) override {
    device_.Receive(bytes, now_);
  }
  void Pump(uint32_t now_ms, const std::function<void(const std::string&)>& to_host) override {
    now_ = now_ms;
    for (const std::string& piece : device_.TakeOutputPieces(now_ms)) to_host(piece);
  }

 private:
  TEmulatedDevice& device_;
  uint32_t now_ = 0;  // the harness clock at the last pump
};
