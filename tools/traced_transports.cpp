#include "tools/traced_transports.h"

TTracedSerial::TTracedSerial(std::unique_ptr<TSerialBackend> inner, TTrafficObserver observer)
    : observer_(std::move(observer)), inner_(std::move(inner)) {
  inner_->OnReceive = [this](const std::string& bytes) {
    observer_(TTraceDir::TRACE_RECEIVED, bytes);
    if (OnReceive) OnReceive(bytes);
  };
  inner_->OnStatus = [this](uint32_t mask, uint32_t status) {
    if (OnStatus) OnStatus(mask, status);
  };
  inner_->OnLost = [this](const std::string& reason) {
    if (OnLost) OnLost(reason);
  };
}

bool TTracedSerial::Open(const std::string& device, const TSerialSettings& settings,
                         TLinkError& error) {
  return inner_->Open(device, settings, error);
}

void TTracedSerial::Write(const std::string& bytes) {
  // Only what can leave: writes to a closed port are dropped by the transport.
  if (inner_->IsOpen()) observer_(TTraceDir::TRACE_SENT, bytes);
  inner_->Write(bytes);
}

TTracedUdp::TTracedUdp(std::unique_ptr<TUdpBackend> inner, TTrafficObserver observer)
    : observer_(std::move(observer)), inner_(std::move(inner)) {
  inner_->OnDatagram = [this](const std::string& data, const std::string& address, int32_t port) {
    observer_(TTraceDir::TRACE_RECEIVED, data);
    if (OnDatagram) OnDatagram(data, address, port);
  };
}

bool TTracedUdp::SendTo(const std::string& address, int32_t port, const std::string& data,
                        std::string& error) {
  bool sent = inner_->SendTo(address, port, data, error);
  if (sent) observer_(TTraceDir::TRACE_SENT, data);
  return sent;
}

TTracedTcp::TTracedTcp(std::unique_ptr<TTcpBackend> inner, TTrafficObserver observer)
    : observer_(std::move(observer)), inner_(std::move(inner)) {
  inner_->OnConnected = [this] {
    if (OnConnected) OnConnected();
  };
  inner_->OnReceive = [this](const std::string& bytes) {
    observer_(TTraceDir::TRACE_RECEIVED, bytes);
    if (OnReceive) OnReceive(bytes);
  };
  inner_->OnError = [this](const TLinkError& error) {
    if (OnError) OnError(error);
  };
}

void TTracedTcp::Write(const std::string& bytes) {
  if (inner_->IsConnected()) observer_(TTraceDir::TRACE_SENT, bytes);
  inner_->Write(bytes);
}

std::unique_ptr<TComDriver> CreateTracedComDriver(std::unique_ptr<TSerialBackend> serial,
                                                  std::unique_ptr<TUdpBackend> udp,
                                                  std::unique_ptr<TTcpBackend> tcp,
                                                  const TTrafficObserver& observer) {
  return std::make_unique<TComDriver>(std::make_unique<TTracedSerial>(std::move(serial), observer),
                                      std::make_unique<TTracedUdp>(std::move(udp), observer),
                                      std::make_unique<TTracedTcp>(std::move(tcp), observer));
}
