#include "link/qt_serial_backend.h"

namespace {

constexpr int kLinePollMs = 20;  // modem lines have no event of their own in Qt

QSerialPort::Parity ToQt(uint8_t parity) {
  switch (parity) {
    case 1:
      return QSerialPort::OddParity;
    case 2:
      return QSerialPort::EvenParity;
    case 3:
      return QSerialPort::MarkParity;
    case 4:
      return QSerialPort::SpaceParity;
    default:
      return QSerialPort::NoParity;
  }
}

QSerialPort::StopBits StopBitsToQt(uint8_t stopBits) {
  switch (stopBits) {
    case 1:
      return QSerialPort::OneAndHalfStop;
    case 2:
      return QSerialPort::TwoStop;
    default:
      return QSerialPort::OneStop;
  }
}

QSerialPort::DataBits DataBitsToQt(uint8_t bits) {
  if (bits >= 5 && bits <= 8) return static_cast<QSerialPort::DataBits>(bits);
  return QSerialPort::Data8;
}

// The kind of an open failure. Qt reports both a refused permission and a lock that
// another program holds as PermissionError; only the text tells them apart. On
// Windows, "access denied" is what a port open in another program gives.
TLinkFault OpenFault(QSerialPort::SerialPortError error, const QString& text) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError:
      return TLinkFault::LF_MISSING;
    case QSerialPort::UnsupportedOperationError:  // the terminal settings cannot be read
      return TLinkFault::LF_NOT_SERIAL;
    case QSerialPort::PermissionError: {
#ifdef Q_OS_WIN
      const bool busy = true;
#else
      const bool busy =
          text.contains(QStringLiteral("locking")) || text.contains(QStringLiteral("busy"));
#endif
      (void)text;
      return busy ? TLinkFault::LF_BUSY : TLinkFault::LF_PERMISSION;
    }
    default:
      return TLinkFault::LF_OTHER;
  }
}

}  // namespace

TQtSerialBackend::TQtSerialBackend(QObject* parent) : QObject(parent) {
  connect(&port_, &QSerialPort::readyRead, this, &TQtSerialBackend::ReadAvailable);
  connect(&port_, &QSerialPort::errorOccurred, this, &TQtSerialBackend::HandleError);
  linePoll_.setInterval(kLinePollMs);
  connect(&linePoll_, &QTimer::timeout, this, &TQtSerialBackend::CheckLines);
}

TQtSerialBackend::~TQtSerialBackend() {
  disconnect(&port_, nullptr, this, nullptr);
  Close();
}

bool TQtSerialBackend::Open(const std::string& device, const TSerialSettings& settings,
                            TLinkError& error) {
  Close();
  port_.setPortName(QString::fromStdString(device));
  if (!port_.open(QIODevice::ReadWrite)) {
    const QString text = port_.errorString();
    error = TLinkError{OpenFault(port_.error(), text), text.toStdString()};
    port_.clearError();
    return false;
  }
  Apply(settings);
  intptr_t handle = static_cast<intptr_t>(port_.handle());
  lowLatency_ = AskLowLatency(handle);
  ResetLines();
  port_.clearError();
  if (ReadLineCounters(handle, counters_)) {
    if (!ReadModemStatus(handle, modemStatus_)) modemStatus_ = 0;
    linePoll_.start();
  }
  return true;
}

void TQtSerialBackend::Close() {
  ++opening_;
  lowLatency_ = TLowLatency::LL_NOT_ASKED;
  linePoll_.stop();
  if (port_.isOpen()) port_.close();
  port_.clearError();
}

void TQtSerialBackend::Apply(const TSerialSettings& s) {
  if (!port_.isOpen()) return;
  // Failures (a pseudo-terminal refuses 7 bits or parity) leave the old setting.
  port_.setBaudRate(static_cast<qint32>(s.baud));
  port_.setDataBits(DataBitsToQt(s.dataBits));
  port_.setParity(ToQt(s.parity));
  port_.setStopBits(StopBitsToQt(s.stopBits));
  port_.setFlowControl(QSerialPort::NoFlowControl);
  port_.clearError();
}

void TQtSerialBackend::Write(const std::string& bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void TQtSerialBackend::ResetLines() {
  if (!port_.isOpen()) return;
  port_.clear(QSerialPort::AllDirections);
  // Ports without modem lines answer "Inappropriate ioctl for device": not a failure.
  port_.setDataTerminalReady(false);
  port_.setRequestToSend(false);
  port_.clearError();
}

void TQtSerialBackend::ReadAvailable() {
  CheckLines();  // line errors belong to the data they came with
  if (!port_.isOpen()) return;
  QByteArray data = port_.readAll();
  if (!data.isEmpty() && OnReceive) OnReceive(std::string(data.constData(), data.size()));
}

void TQtSerialBackend::HandleError(QSerialPort::SerialPortError error) {
  // A vanished device (unplugged adapter, peer closing a pseudo-terminal) keeps
  // reporting read errors in a tight loop: close it at once (writes are dropped
  // from then on) and report the loss from the event loop, outside Qt's handler.
  if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
  if (!port_.isOpen()) return;
  const std::string reason = port_.errorString().toStdString();
  Close();
  const uint64_t opening = opening_;
  QMetaObject::invokeMethod(
      this,
      [this, opening, reason] {
        if (opening == opening_ && OnLost) OnLost(reason);
      },
      Qt::QueuedConnection);
}

void TQtSerialBackend::CheckLines() {
  if (!port_.isOpen() || !linePoll_.isActive()) return;
  intptr_t handle = static_cast<intptr_t>(port_.handle());
  TLineCounters now;
  if (!ReadLineCounters(handle, now)) return;
  uint32_t mask = LineEventsBetween(counters_, now);
  counters_ = now;
  if (mask == 0) return;
  uint32_t before = modemStatus_;
  if (!ReadModemStatus(handle, modemStatus_)) modemStatus_ = 0;
  if (OnStatus) OnStatus(mask, before);
}
