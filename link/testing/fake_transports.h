// The in-process transports of every test that runs a link without Qt: the link's
// own tests, the runner's traced transports and the whole-run harness (app/testing).
// Every call the link makes is written to one shared log ("serial.open /dev/ttyS0
// 9600", "serial.write ?", "udp.send 10.0.0.1:7 ?"), so a test can check the order
// of closes and opens across transports. What leaves an open transport is kept in
// `wire` (or `datagrams`) and handed to `farEnd`, where a test may put a device.
// Input is fed by the test itself, standing in for the event loop; nothing is
// delivered inside a call. Single-threaded.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link/com_driver.h"
#include "link/transport.h"

using TCallLog = std::vector<std::string>;

// The device's side of a fake: set by a test that puts a device at the far end.
struct TFakeEnds {
  // Bytes that left an open transport (a datagram whole), in order.
  std::function<void(const std::string& bytes)> farEnd;
  // An open transport closed (or an attempt was given up).
  std::function<void()> farEndClosed;
};

class TFakeSerial : public TSerialBackend, public TFakeEnds {
 public:
  explicit TFakeSerial(TCallLog* log) : log_(log) {}
  bool Open(const std::string& device, const TSerialSettings& settings, TLinkError& error) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  void Apply(const TSerialSettings& settings) override;
  void Write(const std::string& bytes) override;
  void ResetLines() override;
  TLowLatency LowLatency() const override { return open_ ? lowLatency : TLowLatency::LL_NOT_ASKED; }

  // Test side.
  void Feed(const std::string& bytes) { OnReceive(bytes); }
  // The device vanishes: closed, then OnLost, as the event loop would report it.
  void Vanish(const std::string& reason = "Input/output error");
  std::set<std::string> missing;  // device names whose Open fails
  std::string missingReason = "No such file or directory";
  TLinkFault missingFault = TLinkFault::LF_MISSING;
  TLowLatency lowLatency = TLowLatency::LL_ON;  // the driver's answer at every Open
  std::string wire;                             // every byte written while open, in order
  TSerialSettings settings;                     // as last opened or applied
  std::string device;                           // as last opened

 private:
  TCallLog* log_;
  bool open_ = false;
};

class TFakeUdp : public TUdpBackend, public TFakeEnds {
 public:
  explicit TFakeUdp(TCallLog* log) : log_(log) {}
  bool Bind(int32_t port, std::string& error) override;
  void Unbind() override;
  bool IsBound() const override { return bound_; }
  int32_t BoundPort() const override { return bound_ ? port_ : 0; }
  bool SendTo(const std::string& address, int32_t port, const std::string& data,
              std::string& error) override;

  // Test side.
  void Arrive(const std::string& data, const std::string& address, int32_t port) {
    OnDatagram(data, address, port);
  }
  std::set<int32_t> busyPorts;         // Bind fails on these
  bool allPortsBusy = false;           // Bind fails on every port
  std::string sendError;               // when set, SendTo fails with it
  std::vector<std::string> datagrams;  // every datagram sent, in order

 private:
  TCallLog* log_;
  bool bound_ = false;
  int32_t port_ = 0;
};

class TFakeTcp : public TTcpBackend, public TFakeEnds {
 public:
  explicit TFakeTcp(TCallLog* log) : log_(log) {}
  bool Connect(const std::string& address, int32_t port, std::string& error) override;
  void Close() override;
  bool IsConnected() const override { return connected_; }
  void Write(const std::string& bytes) override;
  void Defer(uint32_t delay_ms, std::function<void()> call) override {
    delays.push_back(delay_ms);
    deferred_.push_back({delay_ms, std::move(call)});
  }

  // Test side.
  void Accept();  // the pending attempt connects
  // The attempt or connection fails.
  void Fail(const std::string& text, TLinkFault fault = TLinkFault::LF_REFUSED);
  void Arrive(const std::string& bytes) { OnReceive(bytes); }
  // Runs what was queued so far, each call once its delay has passed on the fake
  // clock `nowMs` (advanced to it); returns how many ran.
  int RunDeferred();
  size_t DeferredCount() const { return deferred_.size(); }
  std::vector<uint32_t> delays;  // every Defer's delay, in order
  uint64_t nowMs = 0;            // the fake clock RunDeferred advances
  bool connectFailsAtOnce = false;
  bool pending = false;  // an attempt is under way
  int connects = 0;
  int errorDepth = 0;      // > 0 while OnError runs
  int nestedConnects = 0;  // Connect calls made from inside OnError
  std::string wire;        // every byte written while connected, in order

 private:
  TCallLog* log_;
  bool connected_ = false;
  struct TDeferred {
    uint32_t delayMs;
    std::function<void()> call;
  };
  std::deque<TDeferred> deferred_;
};

// A link on fake transports, with the fakes kept at hand.
struct TFakeLink {
  TFakeLink();
  TCallLog log;
  TFakeSerial* serial;
  TFakeUdp* udp;
  TFakeTcp* tcp;
  std::unique_ptr<TComDriver> link;
  // Records every notification of the link as its name, in order.
  std::vector<std::string> events;
  void RecordEvents();
};
