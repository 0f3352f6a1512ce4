// Transport decorators for the runner: each wraps a real transport (serial, UDP,
// TCP), passes every call and callback through unchanged, and reports the bytes
// written and received to an observer (for --trace and the no-answer watchdog).
// Plain C++; same threading as the wrapped transport (the event loop's thread).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/com_driver.h"
#include "link/transport.h"
#include "tools/runner_output.h"

using TTrafficObserver = std::function<void(TTraceDir dir, const std::string& bytes)>;

class TTracedSerial : public TSerialBackend {
 public:
  TTracedSerial(std::unique_ptr<TSerialBackend> inner, TTrafficObserver observer);
  bool Open(const std::string& device, const TSerialSettings& settings, TLinkError& error) override;
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Apply(const TSerialSettings& settings) override { inner_->Apply(settings); }
  void Write(const std::string& bytes) override;
  void ResetLines() override { inner_->ResetLines(); }
  TLowLatency LowLatency() const override { return inner_->LowLatency(); }

 private:
  TTrafficObserver observer_;  // declared first: outlives inner_'s callbacks
  std::unique_ptr<TSerialBackend> inner_;
};

class TTracedUdp : public TUdpBackend {
 public:
  TTracedUdp(std::unique_ptr<TUdpBackend> inner, TTrafficObserver observer);
  bool Bind(int32_t port, std::string& error) override { return inner_->Bind(port, error); }
  void Unbind() override { inner_->Unbind(); }
  bool IsBound() const override { return inner_->IsBound(); }
  int32_t BoundPort() const override { return inner_->BoundPort(); }
  bool SendTo(const std::string& address, int32_t port, const std::string& data,
              std::string& error) override;

 private:
  TTrafficObserver observer_;  // declared first: outlives inner_'s callbacks
  std::unique_ptr<TUdpBackend> inner_;
};

class TTracedTcp : public TTcpBackend {
 public:
  TTracedTcp(std::unique_ptr<TTcpBackend> inner, TTrafficObserver observer);
  bool Connect(const std::string& address, int32_t port, std::string& error) override {
    return inner_->Connect(address, port, error);
  }
  void Close() override { inner_->Close(); }
  bool IsConnected() const override { return inner_->IsConnected(); }
  void Write(const std::string& bytes) override;
  void Defer(uint32_t delay_ms, std::function<void()> call) override {
    inner_->Defer(delay_ms, std::move(call));
  }

 private:
  TTrafficObserver observer_;  // declared first: outlives inner_'s callbacks
  std::unique_ptr<TTcpBackend> inner_;
};

// A device link over the three transports, each wrapped for `observer`.
std::unique_ptr<TComDriver> CreateTracedComDriver(std::unique_ptr<TSerialBackend> serial,
                                                  std::unique_ptr<TUdpBackend> udp,
                                                  std::unique_ptr<TTcpBackend> tcp,
                                                  const TTrafficObserver& observer);
