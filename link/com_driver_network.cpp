// The UDP endpoint and the TCP client of the device link: opening, closing,
// rebinding and reconnecting on property writes, sending and receiving.
#include <string_view>

#include "link/com_driver.h"

namespace {

// A network piece counts up to its first zero byte; at most 8192 bytes are looked at.
std::string NetText(std::string_view bytes) {
  bytes = bytes.substr(0, kNetPieceMax);
  return std::string(bytes.substr(0, bytes.find('\0')));
}

}  // namespace

// ---- UDP --------------------------------------------------------------------------

bool TComDriver::OpenUdp(std::string& error) {
  if (udp_->IsBound()) return true;
  if (udp_->Bind(udpBindPort_, error)) return true;
  udp_->Unbind();
  return false;
}

void TComDriver::CloseUdp() {
  if (udp_->IsBound()) udp_->Unbind();
}

void TComDriver::WriteUdp(const std::string& text) {
  if (!udp_->IsBound()) return;
  std::string error;
  if (udp_->SendTo(ipRemoteAddress_, ipRemotePort_, text, error)) return;
  CloseUdp();
  if (OnShowMessage) OnShowMessage(error);
}

void TComDriver::HandleDatagram(const std::string& data, const std::string& address, int32_t port) {
  if (conType_ != CON_UDP) return;
  if (address != ipRemoteAddress_ || port != ipRemotePort_) return;
  Receive(NetText(data));
}

void TComDriver::SetIpLocalPort(int32_t port) {
  // Runs in full even for the current value: under CON_UDP every write rebinds.
  if (conType_ == CON_UDP) CloseUdp();
  udpBindPort_ = port;
  std::string ignored;
  if (conType_ == CON_UDP) OpenUdp(ignored);
  ipLocalPort_ = port;
  Notify(OnIpLocalPortchange);
}

void TComDriver::SetIpRemotePort(int32_t port) {
  RestartNetwork(port != ipRemotePort_, [this, port] { tcpPort_ = port; });
  ipRemotePort_ = port;
  Notify(OnIpRemotePortchange);
}

void TComDriver::SetIpRemoteAddress(const std::string& address) {
  RestartNetwork(address != ipRemoteAddress_, [this, &address] { tcpAddress_ = address; });
  ipRemoteAddress_ = address;
  Notify(OnIpRemoteAddresschange);
}

void TComDriver::RestartNetwork(bool changed, const std::function<void()>& setTarget) {
  if (!changed) return;
  std::string ignored;  // reopening on a property write stays silent
  if (conType_ == CON_UDP) {
    CloseUdp();
    OpenUdp(ignored);
  }
  if (conType_ == CON_TCP) CloseTcp();
  setTarget();
  if (conType_ == CON_TCP) OpenTcp(ignored);
}

// ---- TCP --------------------------------------------------------------------------

bool TComDriver::OpenTcp(std::string& error) {
  if (tcp_->IsConnected() || tcpConnectPending_) return true;
  tcpConnectPending_ = true;
  if (tcp_->Connect(tcpAddress_, tcpPort_, error)) return true;
  tcp_->Close();
  tcpConnectPending_ = false;
  return false;
}

void TComDriver::CloseTcp() {
  tcpConnectPending_ = false;
  ++tcpRetryToken_;  // a retry still queued is void
  tcp_->Close();
}

void TComDriver::HandleTcpError() {
  // Failed attempt, broken connection or the device hanging up: close, and while
  // the link stays on TCP try again, started from the event loop so that nothing
  // nests inside the failing call.
  CloseTcp();
  if (conType_ != CON_TCP) return;
  tcpConnectPending_ = true;  // sends stay dropped until the new attempt connects
  uint64_t token = tcpRetryToken_;
  tcp_->Defer([this, token] {
    if (token != tcpRetryToken_ || conType_ != CON_TCP) return;
    tcpConnectPending_ = false;
    std::string ignored;
    OpenTcp(ignored);
  });
}

void TComDriver::HandleTcpData(const std::string& bytes) {
  if (conType_ != CON_TCP) return;
  // Taken in reads of at most 8192 bytes, each cut at its first zero byte.
  for (size_t at = 0; at < bytes.size(); at += kNetPieceMax) {
    Receive(NetText(std::string_view(bytes).substr(at, kNetPieceMax)));
  }
}
