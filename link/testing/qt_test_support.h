// Helpers for the link's Qt tests: bounded waits on the event loop, free loopback
// ports, and a TCP transport wrapper that counts attempts and watches for nesting.
// Only 127.0.0.1 is ever used.
#pragma once

#include <QCoreApplication>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>
#include <functional>
#include <memory>

#include "link/com_driver.h"
#include "link/qt_serial_backend.h"
#include "link/qt_tcp_backend.h"
#include "link/qt_udp_backend.h"

// Runs the event loop until `done` holds or `ms` have passed; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  return QTest::qWaitFor(done, ms);
}

// Runs whatever the event loop has queued right now, a few rounds deep.
inline void Drain() {
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A UDP port on 127.0.0.1 that nothing is bound to at the moment of the call.
inline int32_t FreeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::LocalHost, 0);
  return probe.localPort();
}

// A TCP port on 127.0.0.1 where nothing listens.
inline int32_t FreeTcpPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// Forwards to the real TCP transport; counts attempts and records whether one was
// ever started from inside an error report (which would nest without bound).
class TCountingTcp : public TTcpBackend {
 public:
  TCountingTcp() {
    inner_.OnConnected = [this] {
      if (OnConnected) OnConnected();
    };
    inner_.OnReceive = [this](const std::string& b) {
      if (OnReceive) OnReceive(b);
    };
    inner_.OnError = [this](const TLinkError& e) {
      ++errors;
      ++depth_;
      if (OnError) OnError(e);
      --depth_;
    };
  }
  bool Connect(const std::string& address, int32_t port, std::string& error) override {
    ++connects;
    if (depth_ > 0) ++nestedConnects;
    return inner_.Connect(address, port, error);
  }
  void Close() override { inner_.Close(); }
  bool IsConnected() const override { return inner_.IsConnected(); }
  void Write(const std::string& bytes) override { inner_.Write(bytes); }
  void Defer(uint32_t delay_ms, std::function<void()> call) override {
    inner_.Defer(delay_ms, std::move(call));
  }

  int connects = 0;
  int errors = 0;
  int nestedConnects = 0;

 private:
  TQtTcpBackend inner_;
  int depth_ = 0;
};

// Forwards to the real UDP transport and counts the datagrams it delivered, so a
// test can wait until a datagram has been seen (and then check it was ignored).
class TCountingUdp : public TUdpBackend {
 public:
  TCountingUdp() {
    inner_.OnDatagram = [this](const std::string& d, const std::string& a, int32_t p) {
      ++datagrams;
      if (OnDatagram) OnDatagram(d, a, p);
    };
  }
  bool Bind(int32_t port, std::string& error) override { return inner_.Bind(port, error); }
  void Unbind() override { inner_.Unbind(); }
  bool IsBound() const override { return inner_.IsBound(); }
  int32_t BoundPort() const override { return inner_.BoundPort(); }
  bool SendTo(const std::string& address, int32_t port, const std::string& data,
              std::string& error) override {
    return inner_.SendTo(address, port, data, error);
  }
  int datagrams = 0;

 private:
  TQtUdpBackend inner_;
};

// A link on the real Qt transports, with the network ones counted. Everything the
// link hands out in raw mode is collected in `got`.
struct TQtLink {
  TQtLink() {
    auto tcp = std::make_unique<TCountingTcp>();
    auto udp = std::make_unique<TCountingUdp>();
    tcpCount = tcp.get();
    udpCount = udp.get();
    link = std::make_unique<TComDriver>(std::make_unique<TQtSerialBackend>(), std::move(udp),
                                        std::move(tcp));
    link->OnRecString = [this](TComDriver* d, int32_t) { got += d->ReadRaw(); };
  }
  TCountingTcp* tcpCount;
  TCountingUdp* udpCount;
  std::unique_ptr<TComDriver> link;
  std::string got;
};
