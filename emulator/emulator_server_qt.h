// TEmulatorServer: the qelt-emulator executable's endpoints around one emulated
// device: a pseudo-terminal, a UDP socket and a TCP server on 127.0.0.1. Replies
// go to the endpoint that last sent something. Optionally paces both directions at
// the serial line's speed (each byte reaches the device, and the host, when its
// last bit would have crossed the line), keeps the session's figures for the
// end-to-end benchmark, and logs the traffic. Lives on the Qt event loop's thread;
// owned by main().
#pragma once

#include <QHostAddress>
#include <QObject>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_device.h"
#include "emulator/emulator_options.h"
#include "emulator/line_pace.h"
#include "emulator/pace_stats.h"
#include "emulator/pty_posix.h"

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class TPaceTimer;

class TEmulatorServer : public QObject {
  Q_OBJECT

 public:
  // The device must outlive the server.
  TEmulatorServer(TEmulatedDevice& device, const TEmulatorOptions& options,
                  QObject* parent = nullptr);
  ~TEmulatorServer() override;

  // Opens every endpoint the options ask for, and the log. False with `error`.
  bool Start(std::string* error);
  // "PTY /dev/pts/N", "UDP 127.0.0.1:PORT", "TCP 127.0.0.1:PORT", for those open.
  std::vector<std::string> EndpointLines() const;
  // The session's figures (TPaceStats::Text) written to `path`, replacing it.
  bool WriteStats(const std::string& path, std::string* error) const;

  static constexpr size_t kMaxInput = 64 * 1024;  // host bytes on their way (paced)
  static constexpr size_t kMaxOutput = 1 << 20;   // device bytes waiting to go out
  static constexpr size_t kMaxDatagram = 8192;
  // Paced, bytes are handed over in pieces of at most this many, each when its last
  // byte has crossed: a reply's end is never held back by more than its own time.
  static constexpr size_t kChunk = 64;
  // With --exact: the timer wakes the server this long before a due time and the
  // rest is spun; after a reply's last byte the terminal is watched this long.
  static constexpr int64_t kSpinLeadNs = 200'000;
  static constexpr int64_t kHostWatchNs = 2'000'000;

 private:
  // Where bytes came from, and where replies go.
  enum class TEndpoint : uint8_t {
    EP_NONE,  // nobody has spoken yet
    EP_PTY,   // the pseudo-terminal
    EP_UDP,   // the sender of the last datagram
    EP_TCP,   // the connected TCP client
  };

  void ReadPty();
  void ReadUdp();
  void AcceptTcp();
  void ReadTcp();
  void FromHost(TEndpoint from, std::string_view bytes);
  void Service();
  void FeedCrossed(int64_t now);
  void FeedByByte(const std::string& bytes, int64_t first, int64_t byte_ns);
  void ReleaseHeld(int64_t now);
  void QueueReplies(int64_t ready, int64_t byte_ns);
  bool WriteCrossed(int64_t now);
  int64_t NextWake(int64_t now, bool blocked) const;
  int64_t SpinLeadNs() const;
  void WatchForHost();
  size_t SendPiece(std::string_view piece);
  uint32_t DeviceMs(int64_t ns) const;
  int64_t LineByteNs() const;
  void Log(TEndpoint endpoint, char direction, std::string_view bytes);

  TEmulatedDevice& device_;
  TEmulatorOptions options_;
  TPseudoTerminal pty_;
  QSocketNotifier* pty_notifier_ = nullptr;
  QUdpSocket* udp_ = nullptr;
  QTcpServer* tcp_server_ = nullptr;
  QTcpSocket* tcp_client_ = nullptr;  // the one client served
  QHostAddress udp_peer_;             // sender of the last datagram
  quint16 udp_peer_port_ = 0;
  TPaceTimer* timer_ = nullptr;  // wakes the server when bytes cross or replies are due
  int64_t start_ns_ = 0;         // the device's millisecond clock counts from here
  TEndpoint active_ = TEndpoint::EP_NONE;
  TLinePace to_device_;  // host bytes on their way to the device
  TLinePace to_host_;    // device replies on their way to the host
  TPaceStats stats_;
  bool servicing_ = false;    // Service runs (a write never re-enters it, but be sure)
  bool reply_ended_ = false;  // the last Service wrote a reply's last byte
  std::ofstream log_;
};
