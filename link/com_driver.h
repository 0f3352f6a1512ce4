// TComDriver: the device link. Carries text between the application and the device
// over a serial port, a UDP endpoint or a TCP client, either framing the small
// variable protocol (MODE_VAR: "?" -> "DEV37" CR LF, "254yU" -> "UPD254" CR LF) or
// passing the engines' text unchanged (MODE_RAW). Created once by the main window.
// Wire: doc/protocol.md, "Variable protocol" and "Raw mode".
// Single-threaded: every call and every notification runs on the event-loop thread;
// handlers may call back into the link (e.g. ReadRaw from OnRecString).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "link/com_port.h"
#include "link/transport.h"

enum tConnectionType : uint8_t { CON_NONE = 0, CON_RS232 = 1, CON_UDP = 2, CON_TCP = 3 };
enum tConnectionMode : uint8_t { MODE_VAR = 0, MODE_RAW = 1 };

class TComDriver;
// Every notification passes the link itself and its Tag.
using TComDriverNotifyEvent = std::function<void(TComDriver* Sender, int32_t nro)>;

// Largest text sent or taken in one network piece.
inline constexpr size_t kNetPieceMax = 8192;

// Most received text the link holds for its consumer in MODE_RAW. The consumer
// takes the buffer at every OnRecString, so it holds one delivery at a time: a
// network piece is at most 8192 bytes, and a serial delivery is what arrived since
// the last turn of the event loop (57600 bit/s is under 6 KB a second). Only a
// consumer that stopped reading gets near it. Past it bytes are dropped, counted,
// and the link is reported lost: the exchange cannot go on with a hole in it.
inline constexpr size_t kReceiveBufferMax = 1 << 20;

// TCP reconnection: the first retry after kTcpRetryFirstMs, each next one after
// twice the wait, at most kTcpRetryMaxMs; after kTcpRetries failed retries in a
// row (about 9 s) the link gives up and reports the link lost.
inline constexpr uint32_t kTcpRetryFirstMs = 100;
inline constexpr uint32_t kTcpRetryMaxMs = 2000;
inline constexpr int kTcpRetries = 8;

// A transport the link has lost: how it was lost, for its owner's error path.
struct TLinkLoss {
  std::string Text;          // names the link and the reason ("COM3 (/dev/ttyS2) was disconnected")
  bool NeverOpened = false;  // the transport never came up since it was chosen
};

class TComDriver {
 public:
  // Takes ownership of the three backends (any may be a fake). Nothing is opened.
  TComDriver(std::unique_ptr<TSerialBackend> serial, std::unique_ptr<TUdpBackend> udp,
             std::unique_ptr<TTcpBackend> tcp);
  // Closes the serial port, the UDP endpoint and the TCP client, in this order.
  ~TComDriver();
  TComDriver(const TComDriver&) = delete;
  TComDriver& operator=(const TComDriver&) = delete;

  int32_t Tag = 0;

  // Serial port name ("COM1".."COM9" or a device path) and speed. A write closes an
  // open port, stores the value and reopens under CON_RS232. No notification.
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& port);
  uint32_t BaudRate() const { return baudRate_; }
  void SetBaudRate(uint32_t baud);

  // Last values the device reported. Writing ADDRDBG, DATADBG or UPDATER sends the
  // value followed by the entry's command ("254yU") in MODE_VAR; the property itself
  // changes only when the device reports it.
  uint32_t ADDRDBG() const { return addrdbg_; }
  void SetADDRDBG(uint32_t value);
  uint32_t DATADBG() const { return datadbg_; }
  void SetDATADBG(uint32_t value);
  uint32_t DEV() const { return dev_; }
  uint32_t UPDATER() const { return updater_; }
  void SetUPDATER(uint32_t value);
  uint32_t DOLLARS() const { return 0; }  // no operation changes it
  bool DIESE() const { return false; }
  bool queryall() const { return false; }

  // Last line recognised in MODE_VAR (from its tag, without CR LF), last MODE_VAR send.
  const std::string& receivedString() const { return receivedString_; }
  void SetreceivedString(const std::string& text) { receivedString_ = text; }
  const std::string& sentString() const { return sentString_; }
  void SetsentString(const std::string& text) { sentString_ = text; }

  // Closes the current transport and opens the new one (nothing when unchanged);
  // CON_NONE closes all three. Never throws; raises OnConTypechange in every case.
  tConnectionType ConType() const { return conType_; }
  void SetConType(tConnectionType type);
  // Stores the mode only: the receive buffer stays and nothing is reopened.
  tConnectionMode ConMode() const { return conMode_; }
  void SetConMode(tConnectionMode mode) { conMode_ = mode; }

  // Network settings; every write rebinds or reconnects as needed, then notifies.
  int32_t IpLocalPort() const { return ipLocalPort_; }
  void SetIpLocalPort(int32_t port);
  int32_t IpRemotePort() const { return ipRemotePort_; }
  void SetIpRemotePort(int32_t port);
  const std::string& IpRemoteAddress() const { return ipRemoteAddress_; }
  void SetIpRemoteAddress(const std::string& address);

  // MODE_VAR only: sends the command text of entry `index` (0..5) and records it in
  // sentString. Throws std::out_of_range for any other index.
  void SendCommand(int index);
  // MODE_RAW only: writes the text unchanged. Returns false only when the transport
  // refused the text (TCP text over 8192 bytes); LastSendError then says why.
  bool SendRaw(const std::string& text);
  // MODE_RAW only: returns the whole receive buffer and empties it; "" in MODE_VAR.
  std::string ReadRaw();

  // Result of the last open of a transport by a ConType write (for the first-open
  // report of a run). The error is the platform's reason text.
  bool LastOpenOk() const { return lastOpenOk_; }
  const std::string& LastOpenError() const { return lastOpenError_; }
  const std::string& LastSendError() const { return lastSendError_; }

  // The kind of the last open failure (LF_OTHER after a success).
  TLinkFault LastOpenFault() const { return lastOpenFault_; }

  // Port-name mapping: "COMn" -> the mapped device path, else the platform default
  // ("/dev/ttyS" + (n-1) on POSIX, "\\.\COMn" from COM10 on Windows); device
  // paths are used as they are (ResolveSerialDeviceName, link/port_names.h).
  void SetComDeviceMap(std::map<std::string, std::string> map) { comDeviceMap_ = std::move(map); }
  std::string ResolvePortName(const std::string& name) const;
  // `Port` as the operator gave it, with the device it stands for when that is
  // another name: "COM3 (/dev/ttyS2)", "/dev/ttyUSB0".
  std::string PortLabel() const;

  // The serial port component, for its settings and notifications.
  TComPort& ComPort() { return *comPort_; }
  // Received text not yet consumed (read-only view, for diagnostics and tests).
  std::string ReceiveBuffer() const { return rx_.substr(rxHead_); }
  // Received bytes dropped since creation: MODE_VAR text without CR LF beyond its
  // 10-character tail, MODE_RAW text past kReceiveBufferMax.
  uint64_t DroppedBytes() const { return dropped_; }
  // True while a TCP attempt is under way or about to be retried.
  bool TcpConnectPending() const { return tcpConnectPending_; }
  // Failed TCP attempts since the connection last stood (or since it was chosen).
  int TcpFailedAttempts() const { return tcpFailures_; }

  // The application's message box (UDP send errors when OnLinkLost is not set).
  std::function<void(const std::string& text)> OnShowMessage;
  // The transport in use was lost: the serial device vanished or could not be
  // reopened, TCP gave up reconnecting, a UDP send failed, or received text had
  // to be dropped. Raised from the event loop, or inside the send that failed; the
  // transport stays closed until ConType (or the target) is written again.
  std::function<void(TComDriver* Sender, const TLinkLoss& loss)> OnLinkLost;

  TComDriverNotifyEvent OnADDRDBGchange, OnDATADBGchange, OnDEVchange, OnUPDATERchange,
      OnDOLLARSchange, OnSetDIESEchange, OnQUERYALLchange, OnRecString, OnSentString,
      OnConTypechange, OnIpLocalPortchange, OnIpRemotePortchange, OnIpRemoteAddresschange;

 private:
  void Notify(const TComDriverNotifyEvent& event) {
    if (event) event(this, Tag);
  }
  void SendValue(uint32_t value, int index);
  bool WriteLink(const std::string& text);
  void Receive(const std::string& piece);
  void ParseLines();
  void RecogniseLine(std::string line);

  bool OpenCom(TLinkError& error);
  void CloseCom();
  bool OpenUdp(TLinkError& error);
  void CloseUdp();
  bool OpenTcp(TLinkError& error);
  void CloseTcp();
  void WriteUdp(const std::string& text);
  void HandleDatagram(const std::string& data, const std::string& address, int32_t port);
  void HandleTcpData(const std::string& bytes);
  void HandleTcpError(const TLinkError& error);
  void RetryTcp(uint32_t delay_ms);
  std::string TcpLabel() const;
  void RestartNetwork(bool changed, const std::function<void()>& setTarget);
  void ReopenCom();
  void LinkLost(const std::string& text, bool never_opened);

  std::unique_ptr<TComPort> comPort_;
  std::unique_ptr<TUdpBackend> udp_;
  std::unique_ptr<TTcpBackend> tcp_;

  std::string port_;
  uint32_t baudRate_ = 9600;
  uint32_t addrdbg_ = 0, datadbg_ = 0, dev_ = 0, updater_ = 0;
  std::string receivedString_, sentString_;
  tConnectionType conType_ = CON_NONE;
  tConnectionMode conMode_ = MODE_VAR;
  int32_t ipLocalPort_ = 10000;
  int32_t ipRemotePort_ = 10500;
  std::string ipRemoteAddress_ = "192.168.0.10";

  std::string rx_;        // receive buffer; text before rxHead_ is already consumed
  size_t rxHead_ = 0;     // lets ParseLines take many lines without moving the rest each time
  uint64_t dropped_ = 0;  // received bytes that did not fit (see DroppedBytes)
  bool overflowReported_ = false;  // a full MODE_RAW buffer was reported; until ReadRaw

  int32_t udpBindPort_ = 10000;              // the endpoint's bind port
  std::string tcpAddress_ = "192.168.0.10";  // the TCP client's target
  int32_t tcpPort_ = 10500;
  bool tcpConnectPending_ = false;  // attempt started (or retry queued), not yet ended
  uint64_t tcpRetryToken_ = 0;      // bumped by CloseTcp so a queued retry is dropped
  int tcpFailures_ = 0;             // failed attempts in a row (see TcpFailedAttempts)
  bool tcpEverConnected_ = false;   // the connection stood since OpenTcp was called afresh
  std::string tcpBreak_;            // how a standing connection broke, while reconnecting

  bool lastOpenOk_ = true;
  TLinkFault lastOpenFault_ = TLinkFault::LF_OTHER;
  std::string lastOpenError_;
  std::string lastSendError_;
  std::map<std::string, std::string> comDeviceMap_;
};
