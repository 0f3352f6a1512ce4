// TInProcessPort: the emulated device as a transport for tests and the app's
// harness. A write only queues the host's bytes; the next Pump feeds them to the
// device and hands what the device has ready to OnOutput, in as many pieces as
// the device's split faults ask for. Nothing is ever answered inside Write, just
// as a real transport never delivers inside a write. Single-threaded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "emulator/emulated_device.h"

class TInProcessPort {
 public:
  // The device must outlive the port.
  explicit TInProcessPort(TEmulatedDevice& device) : device_(device) {}
  TInProcessPort(const TInProcessPort&) = delete;
  TInProcessPort& operator=(const TInProcessPort&) = delete;

  // Queues host bytes for the next Pump. Beyond kMaxQueued bytes (a host that
  // never pumps) further bytes are dropped, like an overrun receive buffer.
  void Write(std::string_view host_bytes);
  // Feeds the queued bytes to the device at `now_ms`, then delivers every reply
  // piece whose time has come to OnOutput (if assigned), one call per piece.
  void Pump(uint32_t now_ms);

  // Bytes written and not yet pumped.
  size_t QueuedBytes() const { return queued_.size(); }
  // Bytes dropped because the queue was full.
  size_t DroppedBytes() const { return dropped_; }

  std::function<void(const std::string&)> OnOutput;

  static constexpr size_t kMaxQueued = 1 << 20;

 private:
  TEmulatedDevice& device_;
  std::string queued_;  // host bytes waiting for the next Pump
  size_t dropped_ = 0;
};
