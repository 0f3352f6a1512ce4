#include "emulator/emulator_server_qt.h"

#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "emulator/host_path.h"
#include "emulator/pace_timer_posix.h"

namespace {

constexpr uint32_t kFastLine = 57600;            // bit/s, 8N1
constexpr uint32_t kSlowLine = 9600;             // while the application runs
constexpr int64_t kBlockedRetryNs = 10'000'000;  // a full endpoint is tried again after

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
    : QObject(parent), device_(device), options_(options), start_ns_(TPaceTimer::NowNs()) {}

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
  timer_ = new TPaceTimer(this);
  if (!timer_->Open(error)) return false;
  timer_->OnTimeout = [this] { Service(); };
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

bool TEmulatorServer::WriteStats(const std::string& path, std::string* error) const {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(HostPath(temporary), std::ios::trunc | std::ios::binary);
    out << stats_.Text(to_device_, to_host_, device_.Stats());
    if (!out.flush()) return *error = "cannot write the statistics " + temporary, false;
  }
  std::error_code ec;
  std::filesystem::rename(HostPath(temporary), HostPath(path), ec);
  if (ec) return *error = "cannot write the statistics " + path + ": " + ec.message(), false;
  return true;
}

// The device's millisecond tick count, from the server's start.
uint32_t TEmulatorServer::DeviceMs(int64_t ns) const {
  return static_cast<uint32_t>((ns - start_ns_) / 1'000'000);
}

int64_t TEmulatorServer::LineByteNs() const {
  if (!options_.Pace) return 0;
  return ByteNs(device_.InApplicationMode() ? kSlowLine : kFastLine);
}

void TEmulatorServer::ReadPty() {
  char buffer[4096];
  // Paced, the line carries no more than it can: the rest waits in the terminal.
  while (to_device_.Queued() < kMaxInput) {
    const size_t room = std::min(sizeof buffer, kMaxInput - to_device_.Queued());
    const long n = pty_.Read(buffer, room);
    if (n <= 0) break;
    FromHost(TEndpoint::EP_PTY, std::string_view(buffer, static_cast<size_t>(n)));
  }
  pty_notifier_->setEnabled(to_device_.Queued() < kMaxInput);
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
  while (to_device_.Queued() < kMaxInput && tcp_client_->bytesAvailable() > 0) {
    const QByteArray data = tcp_client_->read(static_cast<qint64>(kMaxInput - to_device_.Queued()));
    FromHost(TEndpoint::EP_TCP,
             std::string_view(data.constData(), static_cast<size_t>(data.size())));
  }
}

void TEmulatorServer::FromHost(TEndpoint from, std::string_view bytes) {
  if (bytes.empty()) return;
  const int64_t now = TPaceTimer::NowNs();
  stats_.HostRead(now);
  Log(from, '>', bytes);
  active_ = from;
  const size_t room = kMaxInput - std::min(kMaxInput, to_device_.Queued());
  // A datagram beyond the room is lost, as on a line.
  to_device_.Push(bytes.substr(0, room), now, LineByteNs());
  Service();
}

// Does what is due by now (host bytes that crossed go to the device, held replies
// are released, replies that crossed go to the host), then sleeps until the next
// byte crosses or the next reply is due.
void TEmulatorServer::Service() {
  if (servicing_) return;
  servicing_ = true;
  int64_t wake = -1;
  while (true) {
    const int64_t now = TPaceTimer::NowNs();
    FeedCrossed(now);
    ReleaseHeld(now);
    const bool blocked = !WriteCrossed(now);
    wake = NextWake(now, blocked);
    if (wake < 0 || wake > TPaceTimer::NowNs() + SpinLeadNs()) break;
    TPaceTimer::SpinUntil(wake);  // exact: close enough to spin
  }
  if (wake < 0) {
    timer_->Stop();
  } else {
    timer_->StartAt(wake - SpinLeadNs());
  }
  servicing_ = false;
  WatchForHost();
  if (pty_notifier_ != nullptr && to_device_.Queued() < kMaxInput) pty_notifier_->setEnabled(true);
  if (tcp_client_ != nullptr && tcp_client_->bytesAvailable() > 0 &&
      to_device_.Queued() < kMaxInput) {
    QTimer::singleShot(0, this, &TEmulatorServer::ReadTcp);
  }
}

// Host bytes that have crossed reach the device one by one, each at its own time,
// so that a reply starts on the line when the byte that asked for it crossed.
void TEmulatorServer::FeedCrossed(int64_t now) {
  while (const size_t n = to_device_.CrossedInFront(now)) {
    const int64_t first = to_device_.CrossingInFront(0);
    const int64_t byte_ns = to_device_.FrontByteNs();
    const std::string bytes = to_device_.TakeFront(n);
    if (byte_ns == 0) {  // not paced: all at once, as they came
      const int64_t reply_ns = LineByteNs();
      device_.Receive(bytes, DeviceMs(first));
      QueueReplies(first, reply_ns);
    } else {
      FeedByByte(bytes, first, byte_ns);
    }
  }
}

void TEmulatorServer::FeedByByte(const std::string& bytes, int64_t first, int64_t byte_ns) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int64_t at = first + static_cast<int64_t>(i) * byte_ns;
    const int64_t reply_ns = LineByteNs();  // a reply goes at the speed of its command
    device_.Receive(std::string_view(bytes).substr(i, 1), DeviceMs(at));
    QueueReplies(at, reply_ns);
  }
}

// Replies the device held back (a delay fault) go when their time has come.
void TEmulatorServer::ReleaseHeld(int64_t now) {
  const std::optional<uint32_t> due = device_.NextReleaseTime();
  if (!due || static_cast<int32_t>(*due - DeviceMs(now)) > 0) return;
  const int64_t at = start_ns_ + static_cast<int64_t>(*due) * 1'000'000;
  const uint32_t ms = DeviceMs(now);
  std::vector<std::string> pieces = device_.TakeOutputPieces(ms);
  for (std::string& piece : pieces) {
    if (to_host_.Queued() + piece.size() > kMaxOutput) continue;  // nobody takes it: dropped
    Log(active_, '<', piece);
    to_host_.Push(piece, std::min(at, now), LineByteNs());
  }
}

void TEmulatorServer::QueueReplies(int64_t ready, int64_t byte_ns) {
  for (std::string& piece : device_.TakeOutputPieces(DeviceMs(ready))) {
    if (to_host_.Queued() + piece.size() > kMaxOutput) continue;  // nobody takes it: dropped
    Log(active_, '<', piece);
    to_host_.Push(piece, ready, byte_ns);
  }
}

int64_t TEmulatorServer::SpinLeadNs() const {
  return options_.Exact && options_.Pace ? kSpinLeadNs : 0;
}

// Exact, after a reply's last byte on the terminal the host's answer is watched for
// without sleeping, so that it is read when it comes, not when the system wakes the
// emulator; the event loop then reads it at once.
void TEmulatorServer::WatchForHost() {
  const bool watch = reply_ended_ && SpinLeadNs() > 0 && active_ == TEndpoint::EP_PTY;
  reply_ended_ = false;
  if (!watch || !to_device_.Empty() || !to_host_.Empty()) return;
  TPaceTimer::SpinUntilReadable(pty_.MasterFd(), TPaceTimer::NowNs() + kHostWatchNs);
}

// Hands what has crossed to the host; false when the endpoint is full.
bool TEmulatorServer::WriteCrossed(int64_t now) {
  while (const size_t n = std::min(to_host_.CrossedInFront(now), to_host_.FrontSize())) {
    const int64_t due = to_host_.CrossingInFront(n - 1);
    const bool whole = n == to_host_.FrontSize();
    const size_t sent = SendPiece(to_host_.Front().substr(0, n));
    to_host_.TakeFront(sent);
    if (sent < n) return false;  // the rest goes first, when the endpoint has room
    if (whole && to_host_.Empty() && to_device_.Empty()) {
      stats_.ReplyWritten(now, due);
      reply_ended_ = true;
    }
  }
  return true;
}

// The next time something is due: a host byte or a reply chunk crossing, or a held
// reply's release; -1 when nothing is waiting.
int64_t TEmulatorServer::NextWake(int64_t now, bool blocked) const {
  int64_t wake = -1;
  auto consider = [&wake](std::optional<int64_t> at) {
    if (at && (wake < 0 || *at < wake)) wake = *at;
  };
  consider(to_device_.NextDue(kChunk));
  consider(blocked ? std::optional<int64_t>(now + kBlockedRetryNs) : to_host_.NextDue(kChunk));
  if (const std::optional<uint32_t> due = device_.NextReleaseTime()) {
    const int32_t ahead = static_cast<int32_t>(*due - DeviceMs(now));
    consider(now + std::max<int64_t>(
                       0, static_cast<int64_t>(ahead) * 1'000'000 - (now - start_ns_) % 1'000'000));
  }
  return wake;
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
  log_ << DeviceMs(TPaceTimer::NowNs()) << ' ' << EndpointName(static_cast<int>(endpoint)) << ' '
       << direction << ' ' << Escape(bytes) << std::endl;
}
