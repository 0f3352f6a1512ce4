// The UDP endpoint and the TCP client of the device link: opening, closing,
// rebinding and reconnecting on property writes, sending and receiving.
#include <algorithm>
#include <string_view>

#include "link/com_driver.h"

namespace {

// The platform's text as the end of a sentence: "Connection refused" -> "connection refused".
std::string Lowered(std::string text) {
  if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && !(text[1] >= 'A' && text[1] <= 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

// A network piece counts up to its first zero byte; at most 8192 bytes are looked at.
std::string NetText(std::string_view bytes) {
  bytes = bytes.substr(0, kNetPieceMax);
  return std::string(bytes.substr(0, bytes.find('\0')));
}

}  // namespace

// ---- UDP --------------------------------------------------------------------------

bool TComDriver::OpenUdp(TLinkError& error) {
  if (udp_->IsBound()) return true;
  if (udp_->Bind(udpBindPort_, error.Text)) return true;
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
  if (OnLinkLost) {
    LinkLost(
        "UDP " + ipRemoteAddress_ + ":" + std::to_string(ipRemotePort_) + ": " + Lowered(error),
        false);
  } else if (OnShowMessage) {
    OnShowMessage(error);
  }
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
  TLinkError ignored;
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
  TLinkError ignored;  // reopening on a property write stays silent
  if (conType_ == CON_UDP) {
    CloseUdp();
    OpenUdp(ignored);
  }
  if (conType_ == CON_TCP) CloseTcp();
  setTarget();
  if (conType_ == CON_TCP) OpenTcp(ignored);
}

// ---- TCP --------------------------------------------------------------------------

bool TComDriver::OpenTcp(TLinkError& error) {
  if (tcp_->IsConnected() || tcpConnectPending_) return true;
  tcpConnectPending_ = true;
  if (tcp_->Connect(tcpAddress_, tcpPort_, error.Text)) return true;
  tcp_->Close();
  tcpConnectPending_ = false;
  return false;
}

void TComDriver::CloseTcp() {
  tcpConnectPending_ = false;
  ++tcpRetryToken_;  // a retry still queued is void
  tcp_->Close();
  // The next opening (ConType or target written) starts afresh.
  tcpFailures_ = 0;
  tcpEverConnected_ = false;
  tcpBreak_.clear();
}

std::string TComDriver::TcpLabel() const {
  return "TCP " + tcpAddress_ + ":" + std::to_string(tcpPort_);
}

void TComDriver::HandleTcpError(const TLinkError& error) {
  // Failed attempt, broken connection or the device hanging up: close, and while
  // the link stays on TCP try again after a pause that doubles with each failure,
  // from the event loop so that nothing nests inside the failing call. Past the
  // bound the link gives up and reports itself lost.
  const bool stood = tcpEverConnected_;
  if (tcpFailures_ == 0 && stood) tcpBreak_ = Lowered(error.Text);  // it stood until now
  const int failures = tcpFailures_ + 1;
  const std::string broke = tcpBreak_;
  tcp_->Close();
  tcpConnectPending_ = false;
  ++tcpRetryToken_;
  if (conType_ != CON_TCP) return;
  tcpFailures_ = failures;
  // Before the connection first stood, failure n ends retry n - 1; after a break,
  // failure 1 is the break itself and failure n again ends retry n - 1.
  if (failures > kTcpRetries) {
    const std::string last = Lowered(error.Text);
    LinkLost(TcpLabel() + ": " +
                 (broke.empty() ? last
                                : broke + "; " + std::to_string(kTcpRetries) +
                                      " attempts to reconnect failed (" + last + ")"),
             !stood);
    return;
  }
  uint32_t delay = kTcpRetryFirstMs;
  for (int i = 1; i < failures && delay < kTcpRetryMaxMs; ++i) delay *= 2;
  RetryTcp(std::min(delay, kTcpRetryMaxMs));
}

void TComDriver::RetryTcp(uint32_t delay_ms) {
  tcpConnectPending_ = true;  // sends stay dropped until the new attempt connects
  const uint64_t token = tcpRetryToken_;
  tcp_->Defer(delay_ms, [this, token] {
    if (token != tcpRetryToken_ || conType_ != CON_TCP) return;
    tcpConnectPending_ = false;
    TLinkError error;
    if (!OpenTcp(error)) HandleTcpError(error);  // fails at once: counts as a failure
  });
}

void TComDriver::HandleTcpData(const std::string& bytes) {
  if (conType_ != CON_TCP) return;
  // Taken in reads of at most 8192 bytes, each cut at its first zero byte.
  for (size_t at = 0; at < bytes.size(); at += kNetPieceMax) {
    Receive(NetText(std::string_view(bytes).substr(at, kNetPieceMax)));
  }
}
