#include "emulator/emulator_server_qt.h"

#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>

#include "emulator/host_path.h"

namespace {

constexpr int kTickMs = 2;
constexpr double kFastLine = 5760;  // 57600 bit/s, 8N1
constexpr double kSlowLine = 960;   // 9600 bit/s while the application runs

const char* EndpointName(int endpoint) {
  static const char* const kNames[] = {"---", "PTY", "UDP", "TCP"};
  return kNames[endpoint];
}

std::string Escape(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (u < 0x20 || u >= 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

TEmulatorServer::TEmulatorServer(TEmulatedDevice& device, const TEmulatorOptions& options,
                                 QObject* parent)
    : QObject(parent), device_(device), options_(options) {
  clock_.start();
}

TEmulatorServer::~TEmulatorServer() {
  // The client's destructor emits signals: none may reach this half-destroyed object.
  if (tcp_client_ != nullptr) tcp_client_->disconnect(this);
}

bool TEmulatorServer::Start(std::string* error) {
  if (!options_.LogFile.empty()) {
    log_.open(HostPath(options_.LogFile), std::ios::trunc);
    if (!log_) return *error = "cannot open the log " + options_.LogFile, false;
  }
  if (options_.Pty) {
    if (!pty_.Open(error)) return false;
    pty_notifier_ = new QSocketNotifier(pty_.MasterFd(), QSocketNotifier::Read, this);
    connect(pty_notifier_, &QSocketNotifier::activated, this, &TEmulatorServer::ReadPty);
  }
  if (options_.UdpPort) {
    udp_ = new QUdpSocket(this);
    if (!udp_->bind(QHostAddress(QHostAddress::LocalHost), *options_.UdpPort)) {
      return *error = "cannot bind UDP port " + std::to_string(*options_.UdpPort) + ": " +
                      udp_->errorString().toStdString(),
             false;
    }
    connect(udp_, &QUdpSocket::readyRead, this, &TEmulatorServer::ReadUdp);
  }
  if (options_.TcpPort) {
    tcp_server_ = new QTcpServer(this);
    if (!tcp_server_->listen(QHostAddress(QHostAddress::LocalHost), *options_.TcpPort)) {
      return *error = "cannot listen on TCP port " + std::to_string(*options_.TcpPort) + ": " +
                      tcp_server_->errorString().toStdString(),
             false;
    }
    connect(tcp_server_, &QTcpServer::newConnection, this, &TEmulatorServer::AcceptTcp);
  }
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &TEmulatorServer::Service);
  timer_->start(kTickMs);
  last_service_ms_ = NowMs();
  return true;
}

std::vector<std::string> TEmulatorServer::EndpointLines() const {
  std::vector<std::string> lines;
  if (options_.Pty) lines.push_back("PTY " + pty_.SlavePath());
  if (udp_ != nullptr) lines.push_back("UDP 127.0.0.1:" + std::to_string(udp_->localPort()));
  if (tcp_server_ != nullptr) {
    lines.push_back("TCP 127.0.0.1:" + std::to_string(tcp_server_->serverPort()));
  }
  return lines;
}

uint32_t TEmulatorServer::NowMs() const { return static_cast<uint32_t>(clock_.elapsed()); }

double TEmulatorServer::BytesPerSecond() const {
  return device_.InApplicationMode() ? kSlowLine : kFastLine;
}

void TEmulatorServer::ReadPty() {
  char buffer[4096];
  // Paced, the line carries no more than it can: the rest waits in the terminal.
  while (input_.size() < kMaxInput) {
    const size_t room = std::min(sizeof buffer, kMaxInput - input_.size());
    const long n = pty_.Read(buffer, room);
    if (n <= 0) break;
    FromHost(TEndpoint::EP_PTY, std::string_view(buffer, static_cast<size_t>(n)));
  }
  pty_notifier_->setEnabled(input_.size() < kMaxInput);
}

void TEmulatorServer::ReadUdp() {
  while (udp_->hasPendingDatagrams()) {
    const QNetworkDatagram datagram = udp_->receiveDatagram(kMaxDatagram);
    udp_peer_ = datagram.senderAddress();
    udp_peer_port_ = static_cast<quint16>(datagram.senderPort());
    const QByteArray data = datagram.data();
    FromHost(TEndpoint::EP_UDP,
             std::string_view(data.constData(), static_cast<size_t>(data.size())));
  }
}

void TEmulatorServer::AcceptTcp() {
  while (QTcpSocket* client = tcp_server_->nextPendingConnection()) {
    if (tcp_client_ != nullptr) {  // a new client replaces the old one
      tcp_client_->disconnect(this);
      tcp_client_->abort();
      tcp_client_->deleteLater();
      if (active_ == TEndpoint::EP_TCP) active_ = TEndpoint::EP_NONE;
    }
    tcp_client_ = client;
    // A device answers each short command at once; small replies must not wait to
    // be coalesced.
    client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(client, &QTcpSocket::readyRead, this, &TEmulatorServer::ReadTcp);
    connect(client, &QTcpSocket::disconnected, this, [this, client] {
      if (tcp_client_ != client) return;
      client->disconnect(this);
      client->deleteLater();
      tcp_client_ = nullptr;
    });
  }
}

void TEmulatorServer::ReadTcp() {
  if (tcp_client_ == nullptr) return;
  while (input_.size() < kMaxInput && tcp_client_->bytesAvailable() > 0) {
    const QByteArray data = tcp_client_->read(static_cast<qint64>(kMaxInput - input_.size()));
    FromHost(TEndpoint::EP_TCP,
             std::string_view(data.constData(), static_cast<size_t>(data.size())));
  }
}

void TEmulatorServer::FromHost(TEndpoint from, std::string_view bytes) {
  if (bytes.empty()) return;
  Log(from, '>', bytes);
  active_ = from;
  const size_t room = kMaxInput - std::min(kMaxInput, input_.size());
  input_.append(bytes.substr(0, room));  // a datagram beyond the room is lost, as on a line
  if (!options_.Pace) Service();
}

void TEmulatorServer::Service() {
  const uint32_t now = NowMs();
  const double elapsed = static_cast<double>(now - last_service_ms_) / 1000.0;
  last_service_ms_ = now;
  const double rate = BytesPerSecond();
  // A line that was idle sends no faster afterwards: credit never exceeds two ticks.
  const double cap = std::max(1.0, rate * 2 * kTickMs / 1000);
  in_credit_ = std::min(cap, in_credit_ + rate * elapsed);
  out_credit_ = std::min(cap, out_credit_ + rate * elapsed);
  FeedDevice(options_.Pace ? static_cast<size_t>(in_credit_) : input_.size());
  for (std::string& piece : device_.TakeOutputPieces(NowMs())) {
    if (output_bytes_ + piece.size() > kMaxOutput) continue;  // nobody takes it: dropped
    Log(active_, '<', piece);
    output_bytes_ += piece.size();
    output_.push_back(std::move(piece));
  }
  SendOut(options_.Pace ? static_cast<size_t>(out_credit_) : output_bytes_);
  if (pty_notifier_ != nullptr && input_.size() < kMaxInput) pty_notifier_->setEnabled(true);
  if (tcp_client_ != nullptr && tcp_client_->bytesAvailable() > 0 && input_.size() < kMaxInput) {
    QTimer::singleShot(0, this, &TEmulatorServer::ReadTcp);
  }
}

void TEmulatorServer::FeedDevice(size_t budget) {
  const size_t n = std::min(budget, input_.size());
  if (n == 0) return;
  device_.Receive(std::string_view(input_).substr(0, n), NowMs());
  input_.erase(0, n);
  if (options_.Pace) in_credit_ -= static_cast<double>(n);
}

void TEmulatorServer::SendOut(size_t budget) {
  while (!output_.empty() && budget > 0) {
    std::string& piece = output_.front();
    const size_t want = std::min(budget, piece.size());
    const size_t sent = SendPiece(std::string_view(piece).substr(0, want));
    if (sent == 0) break;  // the endpoint is full: try again on the next tick
    budget -= sent;
    output_bytes_ -= sent;
    if (options_.Pace) out_credit_ -= static_cast<double>(sent);
    if (sent < piece.size()) {
      piece.erase(0, sent);
    } else {
      output_.pop_front();
    }
  }
}

size_t TEmulatorServer::SendPiece(std::string_view piece) {
  switch (active_) {
    case TEndpoint::EP_PTY:
      return static_cast<size_t>(pty_.Write(piece.data(), piece.size()));
    case TEndpoint::EP_UDP: {
      const std::string_view part = piece.substr(0, kMaxDatagram);
      udp_->writeDatagram(part.data(), static_cast<qint64>(part.size()), udp_peer_, udp_peer_port_);
      return part.size();
    }
    case TEndpoint::EP_TCP:
      if (tcp_client_ != nullptr)
        tcp_client_->write(piece.data(), static_cast<qint64>(piece.size()));
      return piece.size();  // with no client left, the reply is lost
    case TEndpoint::EP_NONE:
      break;
  }
  return piece.size();
}

void TEmulatorServer::Log(TEndpoint endpoint, char direction, std::string_view bytes) {
  if (!log_.is_open()) return;
  log_ << NowMs() << ' ' << EndpointName(static_cast<int>(endpoint)) << ' ' << direction << ' '
       << Escape(bytes) << std::endl;
}
