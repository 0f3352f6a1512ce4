#include "link/qt_udp_backend.h"

#include <QNetworkDatagram>

TQtUdpBackend::TQtUdpBackend(QObject* parent) : QObject(parent) {
  connect(&socket_, &QUdpSocket::readyRead, this, &TQtUdpBackend::ReadDatagrams);
}

TQtUdpBackend::~TQtUdpBackend() {
  disconnect(&socket_, nullptr, this, nullptr);
  socket_.abort();
}

bool TQtUdpBackend::Bind(int32_t port, std::string& error) {
  Unbind();
  if (port < 0 || port > 65535) {
    error = "Invalid local port " + std::to_string(port);
    return false;
  }
  // IPv4 only: a dual-stack socket would report senders as "::ffff:a.b.c.d".
  if (!socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(port))) {
    error = socket_.errorString().toStdString();
    socket_.abort();
    return false;
  }
  return true;
}

void TQtUdpBackend::Unbind() { socket_.abort(); }

bool TQtUdpBackend::IsBound() const { return socket_.state() == QAbstractSocket::BoundState; }

int32_t TQtUdpBackend::BoundPort() const { return IsBound() ? socket_.localPort() : 0; }

bool TQtUdpBackend::SendTo(const std::string& address, int32_t port, const std::string& data,
                           std::string& error) {
  QHostAddress to;
  if (!to.setAddress(QString::fromStdString(address))) {
    error = "Invalid remote address \"" + address + "\"";
    return false;
  }
  if (port < 0 || port > 65535) {
    error = "Invalid remote port " + std::to_string(port);
    return false;
  }
  qint64 sent = socket_.writeDatagram(data.data(), static_cast<qint64>(data.size()), to,
                                      static_cast<quint16>(port));
  if (sent < 0) {
    error = socket_.errorString().toStdString();
    return false;
  }
  return true;
}

void TQtUdpBackend::ReadDatagrams() {
  // The handler may unbind the endpoint (a ConType write): stop as soon as it does.
  while (IsBound() && socket_.hasPendingDatagrams()) {
    QNetworkDatagram d = socket_.receiveDatagram();
    if (!OnDatagram) continue;
    QByteArray bytes = d.data();
    OnDatagram(std::string(bytes.constData(), bytes.size()),
               d.senderAddress().toString().toStdString(), d.senderPort());
  }
}
