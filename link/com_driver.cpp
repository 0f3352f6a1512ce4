#include "link/com_driver.h"

#include <array>
#include <stdexcept>

#include "common/number_text.h"
#include "link/port_names.h"

namespace {

struct TVarEntry {
  const char* tag;      // what the device reports
  const char* command;  // what the host sends
};

// The variable table: index 0..5.
constexpr std::array<TVarEntry, 6> kVarTable = {{
    {"ADBG", "@"},
    {"DDBG", ">"},
    {"DEV", "?"},
    {"UPD", "yU"},
    {"$", "$"},
    {"#", "#"},
}};

constexpr size_t kVarTailMax = 10;  // unterminated MODE_VAR text kept

}  // namespace

TComDriver::TComDriver(std::unique_ptr<TSerialBackend> serial, std::unique_ptr<TUdpBackend> udp,
                       std::unique_ptr<TTcpBackend> tcp)
    : comPort_(std::make_unique<TComPort>(std::move(serial))),
      udp_(std::move(udp)),
      tcp_(std::move(tcp)) {
  comPort_->SetReceiveMode(rmRAW);
  comPort_->ReceiveCallBack = [this](const std::string& data) {
    if (conType_ == CON_RS232) Receive(data);  // taken whole, zero bytes included
  };
  comPort_->OnLost = [this](TComPort*, const std::string&) {
    if (conType_ == CON_RS232) LinkLost(PortLabel() + " was disconnected", false);
  };
  udp_->OnDatagram = [this](const std::string& data, const std::string& address, int32_t port) {
    HandleDatagram(data, address, port);
  };
  tcp_->OnConnected = [this] {
    tcpConnectPending_ = false;
    tcpEverConnected_ = true;
    tcpFailures_ = 0;
    tcpBreak_.clear();
  };
  tcp_->OnReceive = [this](const std::string& bytes) { HandleTcpData(bytes); };
  tcp_->OnError = [this](const TLinkError& error) { HandleTcpError(error); };
}

TComDriver::~TComDriver() {
  CloseCom();
  CloseUdp();
  CloseTcp();
  comPort_->ReceiveCallBack = nullptr;
  comPort_->OnLost = nullptr;
  udp_->OnDatagram = nullptr;
  tcp_->OnConnected = nullptr;
  tcp_->OnReceive = nullptr;
  tcp_->OnError = nullptr;
}

// ---- Properties -------------------------------------------------------------------

void TComDriver::SetPort(const std::string& port) {
  const bool was_open = comPort_->Opened();
  if (was_open) CloseCom();
  port_ = port;
  comPort_->SetPort(ResolvePortName(port));
  if (conType_ == CON_RS232) {
    TLinkError ignored;  // a first opening by a Port write stays silent
    if (!was_open) OpenCom(ignored);
    if (was_open) ReopenCom();
  }
}

void TComDriver::SetBaudRate(uint32_t baud) {
  const bool was_open = comPort_->Opened();
  if (was_open) CloseCom();
  baudRate_ = baud;
  comPort_->SetBaud(baud);
  if (conType_ != CON_RS232) return;
  TLinkError ignored;
  if (!was_open) OpenCom(ignored);
  if (was_open) ReopenCom();
}

// A port that was open and cannot be opened again (the device vanished between the
// two) is a lost link: nothing would ever arrive on it.
void TComDriver::ReopenCom() {
  TLinkError error;
  if (OpenCom(error)) return;
  LinkLost(PortLabel() + " could not be opened again: " + error.Text, false);
}

void TComDriver::SetADDRDBG(uint32_t value) { SendValue(value, 0); }
void TComDriver::SetDATADBG(uint32_t value) { SendValue(value, 1); }
void TComDriver::SetUPDATER(uint32_t value) { SendValue(value, 3); }

void TComDriver::SetConType(tConnectionType type) {
  if (type > CON_TCP) type = CON_NONE;  // a value from nowhere opens nothing
  if (type != conType_) {
    switch (conType_) {
      case CON_RS232:
        CloseCom();
        break;
      case CON_UDP:
        CloseUdp();
        break;
      case CON_TCP:
        CloseTcp();
        break;
      case CON_NONE:
        break;
    }
    conType_ = type;
    TLinkError error;
    bool ok = true;
    switch (type) {
      case CON_RS232:
        ok = OpenCom(error);
        break;
      case CON_UDP:
        ok = OpenUdp(error);
        break;
      case CON_TCP:
        ok = OpenTcp(error);
        break;
      case CON_NONE:
        CloseCom();
        CloseUdp();
        CloseTcp();
        break;
    }
    lastOpenOk_ = ok;
    lastOpenError_ = ok ? std::string() : error.Text;
    lastOpenFault_ = ok ? TLinkFault::LF_OTHER : error.Fault;
  }
  Notify(OnConTypechange);
}

std::string TComDriver::ResolvePortName(const std::string& name) const {
  return ResolveSerialDeviceName(name, comDeviceMap_);
}

std::string TComDriver::PortLabel() const {
  const std::string device = ResolvePortName(port_);
  return device == port_ ? port_ : port_ + " (" + device + ")";
}

void TComDriver::LinkLost(const std::string& text, bool never_opened) {
  if (OnLinkLost) OnLinkLost(this, TLinkLoss{text, never_opened});
}

// ---- Sending ----------------------------------------------------------------------

void TComDriver::SendValue(uint32_t value, int index) {
  if (conMode_ != MODE_VAR) return;
  std::string text = std::to_string(value) + kVarTable[index].command;
  WriteLink(text);
  sentString_ = text;
  Notify(OnSentString);
}

void TComDriver::SendCommand(int index) {
  if (index < 0 || index >= static_cast<int>(kVarTable.size())) {
    throw std::out_of_range("SendCommand: index " + std::to_string(index) + " is outside 0..5");
  }
  if (conMode_ != MODE_VAR) return;
  std::string text = kVarTable[index].command;
  WriteLink(text);
  sentString_ = text;
  Notify(OnSentString);
}

bool TComDriver::SendRaw(const std::string& text) {
  if (conMode_ != MODE_RAW) return true;
  return WriteLink(text);
}

bool TComDriver::WriteLink(const std::string& text) {
  switch (conType_) {
    case CON_RS232:
      comPort_->WriteString(text);
      break;
    case CON_UDP:
      WriteUdp(text);
      break;
    case CON_TCP:
      if (text.size() > kNetPieceMax) {
        lastSendError_ =
            "TCP send refused: " + std::to_string(text.size()) + " bytes exceed the limit of 8192";
        return false;
      }
      if (tcp_->IsConnected()) tcp_->Write(text);
      break;
    case CON_NONE:
      break;
  }
  return true;
}

// ---- Receiving --------------------------------------------------------------------

std::string TComDriver::ReadRaw() {
  if (conMode_ != MODE_RAW) return std::string();
  std::string text = rx_.substr(rxHead_);
  rx_.clear();
  rxHead_ = 0;
  overflowReported_ = false;
  return text;
}

void TComDriver::Receive(const std::string& piece) {
  if (conMode_ == MODE_VAR) {
    rx_ += piece;
    ParseLines();
    return;
  }
  const size_t held = rx_.size() - rxHead_;
  const size_t room = held < kReceiveBufferMax ? kReceiveBufferMax - held : 0;
  const size_t lost = piece.size() > room ? piece.size() - room : 0;
  rx_.append(piece, 0, piece.size() - lost);
  dropped_ += lost;
  Notify(OnRecString);
  if (lost == 0 || overflowReported_) return;
  overflowReported_ = true;
  LinkLost("Receive buffer full: " + std::to_string(kReceiveBufferMax) +
               " bytes were not read; received bytes dropped",
           false);
}

void TComDriver::ParseLines() {
  // Handlers run between lines and may switch the mode or read the buffer, so the
  // buffer's state is looked at afresh on every turn.
  while (conMode_ == MODE_VAR) {
    size_t crlf = rx_.find("\r\n", rxHead_);
    if (crlf == std::string::npos) break;
    std::string line = rx_.substr(rxHead_, crlf - rxHead_);
    rxHead_ = crlf + 2;
    RecogniseLine(std::move(line));
  }
  if (rxHead_ > 0) {
    rx_.erase(0, rxHead_);
    rxHead_ = 0;
  }
  if (conMode_ == MODE_VAR && rx_.size() > kVarTailMax) {
    dropped_ += rx_.size() - kVarTailMax;
    rx_.erase(0, rx_.size() - kVarTailMax);
  }
}

void TComDriver::RecogniseLine(std::string line) {
  for (size_t i = 0; i < kVarTable.size(); ++i) {
    const std::string_view tag = kVarTable[i].tag;
    size_t at = line.find(tag);
    if (at == std::string::npos) continue;
    line.erase(0, at);  // the cut stays for the entries tried after this one
    std::string_view rest = std::string_view(line).substr(tag.size());
    // Digits only: a sign, a blank, a letter or a value above 4294967295 fails, so
    // an overflowing number never reaches a property.
    uint32_t number = 0;  // a bare tag matches and reports 0
    if (!rest.empty() && !ParseDecimalU32(rest, number)) continue;
    receivedString_ = line;
    Notify(OnRecString);
    switch (i) {
      case 0:
        addrdbg_ = number;
        Notify(OnADDRDBGchange);
        break;
      case 1:
        datadbg_ = number;
        Notify(OnDATADBGchange);
        break;
      case 2:
        dev_ = number;
        Notify(OnDEVchange);
        break;
      case 3:
        updater_ = number;
        Notify(OnUPDATERchange);
        break;
      case 4:
        Notify(OnDOLLARSchange);
        break;
      default:
        Notify(OnQUERYALLchange);
        break;
    }
    return;
  }
}

// ---- Serial transport ---------------------------------------------------------------

bool TComDriver::OpenCom(TLinkError& error) {
  if (port_.empty()) return true;
  comPort_->ResetLines();
  comPort_->SetPort(ResolvePortName(port_));
  try {
    comPort_->Open();
  } catch (const EComError& e) {
    error = TLinkError{e.Fault, e.Reason.empty() ? e.what() : e.Reason};
    return false;
  }
  return true;
}

void TComDriver::CloseCom() {
  comPort_->ResetLines();
  comPort_->Close();
}
