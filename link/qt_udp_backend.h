// The UDP transport on Qt Network's QUdpSocket, bound on every local IPv4 address so
// that senders are reported as plain dotted text ("127.0.0.1"). Lives on the thread
// of the Qt event loop, which delivers each datagram; no listening thread of its own.
#pragma once

#include <QObject>
#include <QUdpSocket>

#include "link/transport.h"

class TQtUdpBackend : public QObject, public TUdpBackend {
  Q_OBJECT

 public:
  explicit TQtUdpBackend(QObject* parent = nullptr);
  ~TQtUdpBackend() override;

  bool Bind(int32_t port, std::string& error) override;
  void Unbind() override;
  bool IsBound() const override;
  int32_t BoundPort() const override;
  bool SendTo(const std::string& address, int32_t port, const std::string& data,
              std::string& error) override;

 private:
  void ReadDatagrams();

  QUdpSocket socket_;
};
