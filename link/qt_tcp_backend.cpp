#include "link/qt_tcp_backend.h"

#include <QHostAddress>

namespace {

TLinkFault Fault(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return TLinkFault::LF_REFUSED;
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::SocketTimeoutError:
      return TLinkFault::LF_UNREACHABLE;
    case QAbstractSocket::RemoteHostClosedError:
      return TLinkFault::LF_CLOSED;
    default:
      return TLinkFault::LF_OTHER;
  }
}

}  // namespace

TQtTcpBackend::TQtTcpBackend(QObject* parent) : QObject(parent) {
  connect(&socket_, &QTcpSocket::connected, this, &TQtTcpBackend::HandleConnected);
  connect(&socket_, &QTcpSocket::readyRead, this, &TQtTcpBackend::ReadAvailable);
  // The peer closing the connection arrives here too (RemoteHostClosedError) and
  // counts as an error of the connection, so a new attempt follows.
  connect(&socket_, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
    HandleError(TLinkError{Fault(e), socket_.errorString().toStdString()});
  });
  connectLimit_.setSingleShot(true);
  connectLimit_.setInterval(kTcpConnectLimitMs);
  connect(&connectLimit_, &QTimer::timeout, this, [this] {
    if (socket_.state() == QAbstractSocket::ConnectedState) return;
    HandleError(TLinkError{TLinkFault::LF_UNREACHABLE, "Connection timed out"});
  });
}

TQtTcpBackend::~TQtTcpBackend() {
  // The socket's destructor still emits signals: nothing of this object may run then.
  disconnect(&socket_, nullptr, this, nullptr);
  socket_.abort();
}

bool TQtTcpBackend::Connect(const std::string& address, int32_t port, std::string& error) {
  Close();
  // Only address literals: a name would start a look-up through the resolver.
  QHostAddress host;
  if (!host.setAddress(QString::fromStdString(address))) {
    error = "Invalid remote address \"" + address + "\"";
    return false;
  }
  if (port < 1 || port > 65535) {
    error = "Invalid remote port " + std::to_string(port);
    return false;
  }
  socket_.connectToHost(host, static_cast<quint16>(port));
  connectLimit_.start();
  return true;
}

void TQtTcpBackend::Close() {
  connectLimit_.stop();
  closing_ = true;
  socket_.abort();
  closing_ = false;
  ++attempt_;
  failed_ = false;
  connected_ = false;
}

bool TQtTcpBackend::IsConnected() const {
  return connected_ && socket_.state() == QAbstractSocket::ConnectedState;
}

void TQtTcpBackend::Write(const std::string& bytes) {
  if (!IsConnected() || bytes.empty()) return;
  socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void TQtTcpBackend::Defer(uint32_t delay_ms, std::function<void()> call) {
  QTimer::singleShot(static_cast<int>(delay_ms), this, std::move(call));
}

void TQtTcpBackend::Post(std::function<void()> call) {
  uint64_t attempt = attempt_;
  QMetaObject::invokeMethod(
      this,
      [this, attempt, call = std::move(call)] {
        if (attempt == attempt_) call();
      },
      Qt::QueuedConnection);
}

void TQtTcpBackend::HandleConnected() {
  connectLimit_.stop();
  if (closing_ || failed_) return;
  Post([this] {
    if (failed_ || socket_.state() != QAbstractSocket::ConnectedState) return;
    connected_ = true;
    // Commands and replies are a few bytes each, one in flight at a time: without
    // this, coalescing small writes against delayed acknowledgements costs tens of
    // milliseconds per exchange.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (OnConnected) OnConnected();
    // Bytes that came with the connection were held until it was reported.
    if (socket_.bytesAvailable() > 0) ReadAvailable();
  });
}

void TQtTcpBackend::HandleError(const TLinkError& error) {
  connectLimit_.stop();
  if (closing_ || failed_) return;
  failed_ = true;
  connected_ = false;
  Post([this, error] {
    Close();  // the backend is closed when OnError runs
    if (OnError) OnError(error);
  });
}

void TQtTcpBackend::ReadAvailable() {
  if (!connected_ || failed_) return;  // held until OnConnected has been reported
  QByteArray data = socket_.readAll();
  if (!data.isEmpty() && OnReceive) OnReceive(std::string(data.constData(), data.size()));
}
