// The TCP transport on Qt Network's QTcpSocket. Lives on the thread of the Qt event
// loop. Connection results and errors are always reported from the event loop
// (queued), never inside Connect, Write or Close, so the link's retry never nests.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "link/transport.h"

// How long one connection attempt may hang (a host that drops the request instead
// of refusing it) before it counts as unreachable.
inline constexpr int kTcpConnectLimitMs = 3000;

class TQtTcpBackend : public QObject, public TTcpBackend {
  Q_OBJECT

 public:
  explicit TQtTcpBackend(QObject* parent = nullptr);
  ~TQtTcpBackend() override;

  bool Connect(const std::string& address, int32_t port, std::string& error) override;
  void Close() override;
  bool IsConnected() const override;
  void Write(const std::string& bytes) override;
  void Defer(uint32_t delay_ms, std::function<void()> call) override;

 private:
  void Post(std::function<void()> call);  // queued, dropped if the attempt has ended
  void HandleConnected();
  void HandleError(const TLinkError& error);
  void ReadAvailable();

  QTcpSocket socket_;
  QTimer connectLimit_;     // single shot: an attempt that hangs fails as unreachable
  uint64_t attempt_ = 0;    // bumped by Close: queued reports of older attempts are void
  bool closing_ = false;    // inside Close: the socket's own signals are ignored
  bool failed_ = false;     // an error is reported (or queued) for this attempt
  bool connected_ = false;  // the connection stands and no error came since
};
