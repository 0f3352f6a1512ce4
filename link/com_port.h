// TComPort: a serial port component. Opens a named device, applies speed and
// character format, writes text and delivers received bytes as they come (rmRAW)
// or line by line against a terminator (rmTERM), with modem-line and line-error
// notifications. Owned by TComDriver (rmRAW). Single-threaded: the backend hands
// every event over on the event-loop thread, where all delivery runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "link/transport.h"

enum TParity : uint8_t { ptNONE = 0, ptODD = 1, ptEVEN = 2, ptMARK = 3, ptSPACE = 4 };
enum TStopBit : uint8_t { sbONE = 0, sbONE5 = 1, snTWO = 2 };
enum TReceiveMode : uint8_t { rmRAW = 0, rmTERM = 1 };

class TComPort;

using TReceiveProc = std::function<void(const std::string& Data)>;
using TStatusChanged = std::function<void(TComPort* Sender, bool Status)>;
using TComPortNotifyEvent = std::function<void(TComPort* Sender)>;

// The serial port's error. `Reason` holds the platform's own message when there is
// one, `Fault` its kind (an open failure).
class EComError : public std::runtime_error {
 public:
  explicit EComError(const std::string& message, std::string reason = {},
                     TLinkFault fault = TLinkFault::LF_OTHER)
      : std::runtime_error(message), Reason(std::move(reason)), Fault(fault) {}
  std::string Reason;
  TLinkFault Fault;
};

// Most text rmTERM holds while it waits for a terminator. A line of the device is a
// few dozen characters; a stream without terminators (a wrong speed, a device that
// babbles) must not grow without end. Past it the oldest text is dropped and counted.
inline constexpr size_t kLineBufferMax = 65536;

class TComPort {
 public:
  // Takes ownership of the backend. Closed, with the defaults below.
  explicit TComPort(std::unique_ptr<TSerialBackend> backend);
  ~TComPort();  // closes the port if open
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // Opens the port and starts delivery. No-op when already open. Throws EComError
  // "TCOMPORT : cannot open " + Port + CR + platform message, with the failure's
  // kind; then nothing stays open.
  void Open();
  // Stops delivery and closes the port; raises OnPortClose. No-op when closed.
  void Close();
  // While open: discards both queues and drops DTR and RTS. No-op while closed.
  void ResetLines();
  // While open: hands all bytes to the device without waiting. Dropped while closed.
  void WriteString(const std::string& text);

  const std::string& Port() const { return port_; }
  void SetPort(const std::string& name) { port_ = name; }  // read at the next Open
  bool Opened() const { return opened_; }
  uint32_t Baud() const { return baud_; }
  void SetBaud(uint32_t baud);  // applied at once while open, without reopening
  uint8_t DataBits() const { return dataBits_; }
  void SetDataBits(uint8_t bits) { dataBits_ = bits; }
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity) { parity_ = parity; }
  TStopBit StopBits() const { return stopBits_; }
  void SetStopBits(TStopBit stopBits) { stopBits_ = stopBits; }
  uint32_t WinQSizeIn() const { return qIn_; }
  void SetWinQSizeIn(uint32_t size) { qIn_ = size; }
  uint32_t WinQSizeOut() const { return qOut_; }
  void SetWinQSizeOut(uint32_t size) { qOut_ = size; }
  TReceiveMode ReceiveMode() const { return receiveMode_; }
  void SetReceiveMode(TReceiveMode mode) { receiveMode_ = mode; }

  // "#13#10" form: '#' and the decimal code of each terminator character.
  std::string Terminator() const;
  // Parses the "#" form. Throws EComError on a code that is not a number (the
  // terminator becomes CR LF) or on an empty result (the terminator stays empty).
  void SetTerminator(const std::string& text);

  TComPortNotifyEvent OnPortOpen;
  TComPortNotifyEvent OnPortClose;
  TReceiveProc ReceiveCallBack;
  TStatusChanged OnCTSChanged, OnDSRChanged, OnRingChanged, OnRLSDChanged;
  TComPortNotifyEvent OnError;  // the port reported a line error
  // The open device vanished (unplugged, hung up): the port is closed already and
  // OnPortClose has been raised. `reason` is the platform's text.
  std::function<void(TComPort* Sender, const std::string& reason)> OnLost;

  // The driver's answer to the low-latency request of the last opening.
  TLowLatency LowLatency() const { return backend_->LowLatency(); }
  // rmTERM bytes dropped because the line buffer was full, since creation.
  uint64_t DroppedBytes() const { return dropped_; }

 private:
  TSerialSettings Settings() const;
  void HandleReceive(const std::string& bytes);
  void HandleStatus(uint32_t mask, uint32_t status);
  void HandleLost(const std::string& reason);

  std::unique_ptr<TSerialBackend> backend_;
  std::string port_;
  bool opened_ = false;
  uint32_t baud_ = 9600;
  uint8_t dataBits_ = 8;
  TParity parity_ = ptNONE;
  TStopBit stopBits_ = sbONE;
  uint32_t qIn_ = 8192;
  uint32_t qOut_ = 8192;
  TReceiveMode receiveMode_ = rmTERM;
  std::string terminator_ = "\r\n";  // raw characters
  std::string lineBuffer_;           // rmTERM text waiting for a terminator
  uint64_t dropped_ = 0;             // rmTERM bytes refused by a full line buffer
};
