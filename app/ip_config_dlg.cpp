#include "app/ip_config_dlg.h"

#include <string_view>

namespace {

constexpr uint8_t kModeUdp = 2;  // CON_UDP
constexpr uint8_t kModeTcp = 3;  // CON_TCP

// The platform's ordinary whole-number reading: leading blanks, an optional sign,
// at least one decimal digit, and nothing after. Saturates far outside any range
// the dialog accepts, so a long digit string cannot overflow.
bool ParseWhole(std::string_view text, long long& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    if (v < 1000000000000LL) v = v * 10 + (c - '0');
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

TIPConfigDlg::TIPConfigDlg() {
  ELocalPort.Text = "10100";
  ERemoteAddr.Text = "192.168.0.10";
  ERemotePort.Text = "10500";
  remote_address_ = "192.168.0.10";
  remote_port_ = 10500;
  local_port_ = 10100;
}

void TIPConfigDlg::SetConnectionMode(uint8_t mode) {
  connection_mode_ = mode;
  const bool udp = mode == kModeUdp;
  RBUdp.Checked = udp;
  RBTcp.Checked = !udp;
  ELocalPort.Enabled = udp;
  ELocalPort.Color = udp ? TEditColor::clWindow : TEditColor::clInactiveCaptionText;
}

void TIPConfigDlg::SetRemoteAddress(const std::string& address) {
  remote_address_ = address;
  ERemoteAddr.Text = address;
}

void TIPConfigDlg::SetRemotePort(uint32_t port) {
  remote_port_ = port;
  ERemotePort.Text = std::to_string(port);
}

void TIPConfigDlg::SetLocalPort(uint32_t port) {
  local_port_ = port;
  ELocalPort.Text = std::to_string(port);
}

void TIPConfigDlg::FormShow() {
  Closed = false;
  if (connection_mode_ != kModeUdp && connection_mode_ != kModeTcp) SetConnectionMode(kModeTcp);
}

void TIPConfigDlg::BCancelClick() {
  Applied = false;
  Closed = true;
}

void TIPConfigDlg::BOkClick() {
  uint32_t local_port = 0;
  if (!ParsePort(ELocalPort.Text, local_port)) {
    Warn("Choose a Local Port <0-65535>");
    return;
  }
  SetLocalPort(local_port);  // kept even if a later check fails
  uint32_t remote_port = 0;
  if (!ParsePort(ERemotePort.Text, remote_port)) {
    Warn("Choose a Remote Port <0-65535>");
    return;
  }
  if (!IsValidAddress(ERemoteAddr.Text)) {
    Warn("Remote IP address not Valid");
    return;
  }
  SetRemotePort(remote_port);
  SetRemoteAddress(ERemoteAddr.Text);
  Applied = true;
  Closed = true;
}

void TIPConfigDlg::Warn(const std::string& text) {
  if (OnWarning) OnWarning(text);
}

bool TIPConfigDlg::ParsePort(const std::string& text, uint32_t& port) {
  long long value = 0;
  if (!ParseWhole(text, value) || value < 0 || value > 65535) return false;
  port = static_cast<uint32_t>(value);
  return true;
}

bool TIPConfigDlg::IsValidAddress(const std::string& text, std::array<int, 4>* parts) {
  std::array<int, 4> values{};
  std::string_view rest(text);
  bool valid = true;
  for (int i = 0; i < 4 && valid; ++i) {
    std::string_view part = rest;
    if (i < 3) {
      const size_t dot = rest.find('.');
      if (dot == std::string_view::npos) {
        valid = false;
        break;
      }
      part = rest.substr(0, dot);
      rest.remove_prefix(dot + 1);
    }
    long long value = 0;
    valid = ParseWhole(part, value) && value >= 0 && value <= 255;
    values[i] = valid ? static_cast<int>(value) : 0;
  }
  if (!valid) values = {};
  if (parts) *parts = values;
  return valid;
}
