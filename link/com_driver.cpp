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
  udp_->OnDatagram = [this](const std::string& data, const std::string& address, int32_t port) {
    HandleDatagram(data, address, port);
  };
  tcp_->OnConnected = [this] { tcpConnectPending_ = false; };
  tcp_->OnReceive = [this](const std::string& bytes) { HandleTcpData(bytes); };
  tcp_->OnError = [this](const std::string&) { HandleTcpError(); };
}

TComDriver::~TComDriver() {
  CloseCom();
  CloseUdp();
  CloseTcp();
  comPort_->ReceiveCallBack = nullptr;
  udp_->OnDatagram = nullptr;
  tcp_->OnConnected = nullptr;
  tcp_->OnReceive = nullptr;
  tcp_->OnError = nullptr;
}

// ---- Properties -------------------------------------------------------------------

void TComDriver::SetPort(const std::string& port) {
  if (comPort_->Opened()) CloseCom();
  port_ = port;
  comPort_->SetPort(ResolvePortName(port));
  std::string ignored;  // a reopening stays silent
  if (conType_ == CON_RS232) OpenCom(ignored);
}

void TComDriver::SetBaudRate(uint32_t baud) {
  if (comPort_->Opened()) CloseCom();
  baudRate_ = baud;
  comPort_->SetBaud(baud);
  std::string ignored;
  if (conType_ == CON_RS232) OpenCom(ignored);
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
    std::string error;
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
    lastOpenError_ = ok ? std::string() : error;
  }
  Notify(OnConTypechange);
}

std::string TComDriver::ResolvePortName(const std::string& name) const {
  return ResolveSerialDeviceName(name, comDeviceMap_);
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
  return text;
}

void TComDriver::Receive(const std::string& piece) {
  rx_ += piece;
  if (conMode_ == MODE_VAR) {
    ParseLines();
  } else {
    Notify(OnRecString);
  }
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
  if (conMode_ == MODE_VAR && rx_.size() > kVarTailMax) rx_.erase(0, rx_.size() - kVarTailMax);
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

bool TComDriver::OpenCom(std::string& error) {
  if (port_.empty()) return true;
  comPort_->ResetLines();
  comPort_->SetPort(ResolvePortName(port_));
  try {
    comPort_->Open();
  } catch (const EComError& e) {
    error = e.Reason.empty() ? e.what() : e.Reason;
    return false;
  }
  return true;
}

void TComDriver::CloseCom() {
  comPort_->ResetLines();
  comPort_->Close();
}
