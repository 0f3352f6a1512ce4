// TEmulatorServer: the qelt-emulator executable's endpoints around one emulated
// device: a pseudo-terminal, a UDP socket and a TCP server on 127.0.0.1. Replies
// go to the endpoint that last sent something. Optionally paces reading and
// writing at the serial line's speed, and logs the traffic. Lives on the Qt
// event loop's thread; owned by main().
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <cstdint>
#include <deque>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_device.h"
#include "emulator/emulator_options.h"
#include "emulator/pty_posix.h"

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

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

  static constexpr size_t kMaxInput = 64 * 1024;  // host bytes waiting (paced)
  static constexpr size_t kMaxOutput = 1 << 20;   // device bytes waiting to go out
  static constexpr size_t kMaxDatagram = 8192;

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
  void FeedDevice(size_t budget);
  void SendOut(size_t budget);
  size_t SendPiece(std::string_view piece);
  uint32_t NowMs() const;
  double BytesPerSecond() const;
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
  QTimer* timer_ = nullptr;  // services pacing and delayed replies
  QElapsedTimer clock_;
  TEndpoint active_ = TEndpoint::EP_NONE;
  std::string input_;               // host bytes not yet fed (paced only)
  std::deque<std::string> output_;  // device pieces not yet sent
  size_t output_bytes_ = 0;
  double in_credit_ = 0;  // bytes the line may carry now (paced)
  double out_credit_ = 0;
  uint32_t last_service_ms_ = 0;
  std::ofstream log_;
};
