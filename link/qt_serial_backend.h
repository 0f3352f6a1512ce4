// The serial transport on Qt's QSerialPort. Runs on the thread of the Qt event loop
// that delivers its readyRead; no reader thread of its own. Used by the link
// through TComPort (see qt_link_factory.h).
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "link/serial_lines.h"
#include "link/transport.h"

class TQtSerialBackend : public QObject, public TSerialBackend {
  Q_OBJECT

 public:
  explicit TQtSerialBackend(QObject* parent = nullptr);
  ~TQtSerialBackend() override;

  bool Open(const std::string& device, const TSerialSettings& settings, TLinkError& error) override;
  void Close() override;
  bool IsOpen() const override { return port_.isOpen(); }
  void Apply(const TSerialSettings& settings) override;
  void Write(const std::string& bytes) override;
  void ResetLines() override;
  TLowLatency LowLatency() const override { return lowLatency_; }

 private:
  void ReadAvailable();
  void HandleError(QSerialPort::SerialPortError error);
  void CheckLines();  // turns changed line counters into an OnStatus call

  QSerialPort port_;
  QTimer linePoll_;           // runs only on devices that keep line counters
  TLineCounters counters_;    // as last read
  uint32_t modemStatus_ = 0;  // kSt* bits as last read
  TLowLatency lowLatency_ = TLowLatency::LL_NOT_ASKED;  // the driver's answer at opening
  uint64_t opening_ = 0;  // bumped by Close: a queued loss report of an older opening is void
};
