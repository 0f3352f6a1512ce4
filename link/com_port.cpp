#include "link/com_port.h"

#include <charconv>

namespace {

const char kIllegalTerminator[] =
    "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10";
const char kEmptyTerminator[] = "Terminator string cannot be empty!";

// The platform's standard integer conversion: an optional sign and decimal digits,
// nothing else, within the range of a 32-bit signed integer.
bool ParseInt(const std::string& text, int32_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  if (first == last) return false;
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

}  // namespace

TComPort::TComPort(std::unique_ptr<TSerialBackend> backend) : backend_(std::move(backend)) {
  backend_->OnReceive = [this](const std::string& bytes) { HandleReceive(bytes); };
  backend_->OnStatus = [this](uint32_t mask, uint32_t status) { HandleStatus(mask, status); };
  backend_->OnLost = [this](const std::string& reason) { HandleLost(reason); };
}

TComPort::~TComPort() {
  // Destruction raises nothing: the owner may already be half gone.
  OnPortClose = nullptr;
  Close();
  backend_->OnReceive = nullptr;
  backend_->OnStatus = nullptr;
  backend_->OnLost = nullptr;
}

TSerialSettings TComPort::Settings() const {
  TSerialSettings s;
  s.baud = baud_;
  s.dataBits = dataBits_;
  s.parity = parity_;
  s.stopBits = stopBits_;
  s.queueIn = qIn_;
  s.queueOut = qOut_;
  return s;
}

void TComPort::Open() {
  if (opened_) return;
  TLinkError error;
  if (!backend_->Open(port_, Settings(), error)) {
    throw EComError("TCOMPORT : cannot open " + port_ + "\r" + error.Text, error.Text, error.Fault);
  }
  opened_ = true;
  if (OnPortOpen) OnPortOpen(this);
}

void TComPort::Close() {
  if (!opened_) return;
  backend_->Close();
  opened_ = false;
  if (OnPortClose) OnPortClose(this);
}

void TComPort::ResetLines() {
  if (opened_) backend_->ResetLines();
}

void TComPort::WriteString(const std::string& text) {
  if (opened_) backend_->Write(text);
}

void TComPort::SetBaud(uint32_t baud) {
  baud_ = baud;
  if (opened_) backend_->Apply(Settings());
}

std::string TComPort::Terminator() const {
  std::string text;
  for (unsigned char c : terminator_) text += "#" + std::to_string(c);
  return text;
}

void TComPort::SetTerminator(const std::string& text) {
  terminator_.clear();
  std::string rest = text.empty() ? text : text.substr(1);  // the leading '#'
  while (!rest.empty()) {
    size_t hash = rest.find('#');
    std::string code = rest.substr(0, hash);
    rest = hash == std::string::npos ? std::string() : rest.substr(hash + 1);
    int32_t value = 0;
    if (!ParseInt(code, value)) {
      terminator_ = "\r\n";
      throw EComError(kIllegalTerminator);
    }
    terminator_ += static_cast<char>(static_cast<uint32_t>(value) & 0xFF);
  }
  if (terminator_.empty()) throw EComError(kEmptyTerminator);
}

void TComPort::HandleReceive(const std::string& bytes) {
  if (bytes.empty() || !opened_ || !ReceiveCallBack) return;
  if (receiveMode_ == rmRAW) {
    ReceiveCallBack(bytes);
    return;
  }
  lineBuffer_ += bytes;
  if (lineBuffer_.size() > kLineBufferMax) {
    // The oldest text goes: it can never become a whole line, while the newest may.
    const size_t excess = lineBuffer_.size() - kLineBufferMax;
    dropped_ += excess;
    lineBuffer_.erase(0, excess);
  }
  if (terminator_.empty()) return;
  size_t p = lineBuffer_.find(terminator_);
  if (p == std::string::npos) return;
  // One line per receive event; a further line waits for the next event.
  std::string line = lineBuffer_.substr(0, p + terminator_.size());
  lineBuffer_.erase(0, p + terminator_.size());
  ReceiveCallBack(line);
}

void TComPort::HandleStatus(uint32_t mask, uint32_t status) {
  // A true Status means the line was off before this change.
  if ((mask & kEvCts) && OnCTSChanged) OnCTSChanged(this, (status & kStCtsOn) == 0);
  if ((mask & kEvDsr) && OnDSRChanged) OnDSRChanged(this, (status & kStDsrOn) == 0);
  if ((mask & kEvRlsd) && OnRLSDChanged) OnRLSDChanged(this, (status & kStRlsdOn) == 0);
  if ((mask & kEvRing) && OnRingChanged) OnRingChanged(this, (status & kStRingOn) == 0);
  if ((mask & kEvLineErr) && OnError) OnError(this);
}

void TComPort::HandleLost(const std::string& reason) {
  if (!opened_) return;
  backend_->Close();
  opened_ = false;
  if (OnPortClose) OnPortClose(this);
  if (OnLost) OnLost(this, reason);
}
