#include "app/connection_options.h"

#include <algorithm>
#include <cctype>

#include "app/ip_config_dlg.h"
#include "common/number_text.h"
#include "engines/text_util.h"
#include "link/com_driver.h"
#include "link/port_names.h"

namespace {

constexpr uint32_t kHighestPort = 65535;

// A whole decimal number (digits only) from `lowest` to 65535.
bool ReadPortNumber(const std::string& text, uint32_t lowest, uint32_t& port) {
  uint32_t number = 0;
  if (!ParseDecimalU32(text, number) || number < lowest || number > kHighestPort) return false;
  port = number;
  return true;
}

TConnectionError ReadPortName(const std::string& value, const TConnectionRules& rules,
                              TConnectionOptions& options) {
  std::string name = value;
  if (rules.ComAnyCase) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  }
  if (ComPortNumber(name) != 0) {
    options.Port = name;
  } else if (IsSerialDevicePath(value)) {
    options.Port = value;
  } else {
    return {TConnectionFault::CF_PORT_NAME, value};
  }
  return {};
}

// HOST[:PORT] for --udp (CON_UDP) and --tcp (CON_TCP).
TConnectionError ReadNetwork(const std::string& value, uint8_t mode, const TConnectionRules& rules,
                             TConnectionOptions& options) {
  const size_t colon = value.find(':');
  const std::string host = value.substr(0, colon);
  if (!TIPConfigDlg::IsValidAddress(host)) return {TConnectionFault::CF_ADDRESS, host};
  std::optional<uint32_t> remote;
  if (colon != std::string::npos) {
    const std::string text = value.substr(colon + 1);
    uint32_t port = 0;
    if (!ReadPortNumber(text, rules.LowestRemotePort, port)) {
      return {TConnectionFault::CF_REMOTE_PORT, text};
    }
    remote = port;
  }
  options.NetMode = mode;
  options.Host = host;
  options.RemotePort = remote;
  return {};
}

}  // namespace

bool IsConnectionOption(const std::string& name) {
  return IsLinkOption(name) || name == "--local-port";
}

bool IsLinkOption(const std::string& name) {
  return name == "--port" || name == "--udp" || name == "--tcp";
}

TConnectionError ReadConnectionOption(const std::string& name, const std::string& value,
                                      const TConnectionRules& rules, TConnectionOptions& options) {
  if (name == "--port") return ReadPortName(value, rules, options);
  if (name == "--udp") return ReadNetwork(value, CON_UDP, rules, options);
  if (name == "--tcp") return ReadNetwork(value, CON_TCP, rules, options);
  uint32_t port = 0;
  if (!ReadPortNumber(value, 0, port)) return {TConnectionFault::CF_LOCAL_PORT, value};
  options.LocalPort = port;
  return {};
}

int ComMenuItem(const std::string& port) {
  constexpr int kComItems = 9;  // Com11..Com91
  const int n = ComPortNumber(port);
  return n <= kComItems ? n : 0;
}

bool OptionValue(const std::vector<std::string>& args, size_t& i, std::string& value,
                 std::string& error) {
  const std::string& arg = args[i];
  const size_t equals = arg.find('=');
  if (equals != std::string::npos) {
    value = arg.substr(equals + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    error = arg + " needs a value";
    return false;
  }
  return true;
}
