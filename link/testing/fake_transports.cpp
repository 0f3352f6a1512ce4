#include "link/testing/fake_transports.h"

bool TFakeSerial::Open(const std::string& name, const TSerialSettings& s, TLinkError& error) {
  log_->push_back("serial.open " + name + " " + std::to_string(s.baud));
  if (missing.count(name)) {
    error = TLinkError{missingFault, missingReason};
    return false;
  }
  open_ = true;
  device = name;
  settings = s;
  return true;
}

void TFakeSerial::Close() {
  if (!open_) return;
  log_->push_back("serial.close");
  open_ = false;
  if (farEndClosed) farEndClosed();
}

void TFakeSerial::Vanish(const std::string& reason) {
  Close();
  if (OnLost) OnLost(reason);
}

void TFakeSerial::Apply(const TSerialSettings& s) {
  log_->push_back("serial.apply " + std::to_string(s.baud));
  settings = s;
}

void TFakeSerial::Write(const std::string& bytes) {
  log_->push_back("serial.write " + bytes);
  if (!open_) return;  // a closed port sends nothing
  wire += bytes;
  if (farEnd) farEnd(bytes);
}

void TFakeSerial::ResetLines() { log_->push_back("serial.reset"); }

bool TFakeUdp::Bind(int32_t port, std::string& error) {
  log_->push_back("udp.bind " + std::to_string(port));
  if (allPortsBusy || busyPorts.count(port)) {
    error = "The bound address is already in use";
    return false;
  }
  bound_ = true;
  port_ = port;
  return true;
}

void TFakeUdp::Unbind() {
  log_->push_back("udp.unbind");
  const bool was_bound = bound_;
  bound_ = false;
  if (was_bound && farEndClosed) farEndClosed();
}

bool TFakeUdp::SendTo(const std::string& address, int32_t port, const std::string& data,
                      std::string& error) {
  log_->push_back("udp.send " + address + ":" + std::to_string(port) + " " + data);
  if (!sendError.empty()) {
    error = sendError;
    return false;
  }
  datagrams.push_back(data);
  if (farEnd) farEnd(data);
  return true;
}

bool TFakeTcp::Connect(const std::string& address, int32_t port, std::string& error) {
  log_->push_back("tcp.connect " + address + ":" + std::to_string(port));
  ++connects;
  if (errorDepth > 0) ++nestedConnects;
  if (connectFailsAtOnce) {
    error = "Host not found";
    return false;
  }
  pending = true;
  return true;
}

void TFakeTcp::Close() {
  log_->push_back("tcp.close");
  const bool was_up = pending || connected_;
  pending = false;
  connected_ = false;
  if (was_up && farEndClosed) farEndClosed();
}

void TFakeTcp::Write(const std::string& bytes) {
  log_->push_back("tcp.write " + std::to_string(bytes.size()));
  if (!connected_) return;  // nothing leaves before the connection stands
  wire += bytes;
  if (farEnd) farEnd(bytes);
}

void TFakeTcp::Accept() {
  pending = false;
  connected_ = true;
  OnConnected();
}

void TFakeTcp::Fail(const std::string& text, TLinkFault fault) {
  pending = false;
  connected_ = false;
  ++errorDepth;
  OnError(TLinkError{fault, text});
  --errorDepth;
}

int TFakeTcp::RunDeferred() {
  std::deque<TDeferred> now;
  now.swap(deferred_);
  for (TDeferred& d : now) {
    nowMs += d.delayMs;
    d.call();
  }
  return static_cast<int>(now.size());
}

TFakeLink::TFakeLink() {
  auto s = std::make_unique<TFakeSerial>(&log);
  auto u = std::make_unique<TFakeUdp>(&log);
  auto t = std::make_unique<TFakeTcp>(&log);
  serial = s.get();
  udp = u.get();
  tcp = t.get();
  link = std::make_unique<TComDriver>(std::move(s), std::move(u), std::move(t));
}

void TFakeLink::RecordEvents() {
  auto rec = [this](const char* name) {
    return [this, name](TComDriver* sender, int32_t nro) {
      events.push_back(std::string(name) + (sender == link.get() ? "" : "(wrong sender)") +
                       (nro == link->Tag ? "" : "(wrong nro)"));
    };
  };
  TComDriver& d = *link;
  d.OnADDRDBGchange = rec("ADDRDBG");
  d.OnDATADBGchange = rec("DATADBG");
  d.OnDEVchange = rec("DEV");
  d.OnUPDATERchange = rec("UPDATER");
  d.OnDOLLARSchange = rec("DOLLARS");
  d.OnSetDIESEchange = rec("DIESE");
  d.OnQUERYALLchange = rec("QUERYALL");
  d.OnRecString = rec("RecString");
  d.OnSentString = rec("SentString");
  d.OnConTypechange = rec("ConType");
  d.OnIpLocalPortchange = rec("IpLocalPort");
  d.OnIpRemotePortchange = rec("IpRemotePort");
  d.OnIpRemoteAddresschange = rec("IpRemoteAddress");
}
