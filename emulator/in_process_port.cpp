#include "emulator/in_process_port.h"

#include <utility>
#include <vector>

void TInProcessPort::Write(std::string_view host_bytes) {
  const size_t room = kMaxQueued - queued_.size();
  const size_t take = host_bytes.size() < room ? host_bytes.size() : room;
  queued_.append(host_bytes.substr(0, take));
  dropped_ += host_bytes.size() - take;
}

void TInProcessPort::Pump(uint32_t now_ms) {
  std::string bytes = std::move(queued_);
  queued_.clear();
  device_.Receive(bytes, now_ms);
  // Pieces are taken before any is delivered: a handler that writes again only
  // queues, and its bytes wait for the next Pump.
  const std::vector<std::string> pieces = device_.TakeOutputPieces(now_ms);
  for (const std::string& piece : pieces) {
    if (OnOutput) OnOutput(piece);
  }
}
