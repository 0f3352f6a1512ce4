#include "app/ui/window_options.h"

#include <map>

#include "app/main_fich.h"
#include "engines/text_util.h"
#include "link/com_driver.h"

namespace {

// "COM1".."COM9" -> 1..9; anything else 0.
int ComIndex(const std::string& name) {
  if (name.size() == 4 && StartsWith(name, "COM") && name[3] >= '1' && name[3] <= '9') {
    return name[3] - '0';
  }
  return 0;
}

bool ParsePortNumber(const std::string& text, uint32_t& port) {
  return ParseDecimalU32(text, port) && port <= 65535;
}

bool ParsePortOption(const std::string& value, TWindowOptions& options, std::string& error) {
  if (ComIndex(value) == 0 && !StartsWith(value, "/")) {
    error = "--port takes COM1..COM9 or a device path, not \"" + value + "\"";
    return false;
  }
  options.Port = value;
  return true;
}

// HOST[:PORT] for --udp (mode 2) and --tcp (mode 3).
bool ParseNetOption(const std::string& name, const std::string& value, uint8_t mode,
                    TWindowOptions& options, std::string& error) {
  const size_t colon = value.find(':');
  const std::string host = value.substr(0, colon);
  if (!TIPConfigDlg::IsValidAddress(host)) {
    error = name + " takes an IPv4 address, not \"" + host + "\"";
    return false;
  }
  if (colon != std::string::npos) {
    uint32_t port = 0;
    if (!ParsePortNumber(value.substr(colon + 1), port)) {
      error = name + " takes a port from 0 to 65535, not \"" + value.substr(colon + 1) + "\"";
      return false;
    }
    options.RemotePort = port;
  }
  options.NetMode = mode;
  options.Host = host;
  return true;
}

bool ParseValueOption(const std::string& name, const std::string& value, TWindowOptions& options,
                      std::string& error) {
  if (name == "--port") return ParsePortOption(value, options, error);
  if (name == "--udp") return ParseNetOption(name, value, 2, options, error);
  if (name == "--tcp") return ParseNetOption(name, value, 3, options, error);
  uint32_t port = 0;
  if (!ParsePortNumber(value, port)) {
    error = "--local-port takes a port from 0 to 65535, not \"" + value + "\"";
    return false;
  }
  options.LocalPort = port;
  return true;
}

bool TakesValue(const std::string& name) {
  return name == "--port" || name == "--udp" || name == "--tcp" || name == "--local-port";
}

}  // namespace

bool ParseWindowOptions(const std::vector<std::string>& args, TWindowOptions& options,
                        std::string& error) {
  options = TWindowOptions{};
  int connections = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
      continue;
    }
    if (arg == "--version") {
      options.Version = true;
      continue;
    }
    if (!StartsWith(arg, "--") || arg == "--") {
      if (!options.Script.empty()) {
        error = "only one script may be given, not also \"" + arg + "\"";
        return false;
      }
      options.Script = arg;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (!TakesValue(name)) {
      error = "unknown option \"" + name + "\"";
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = name + " needs a value";
      return false;
    }
    if (name != "--local-port") ++connections;
    if (!ParseValueOption(name, value, options, error)) return false;
  }
  if (connections > 1) {
    error = "give only one of --port, --udp and --tcp";
    return false;
  }
  return true;
}

std::string WindowUsage() {
  return "usage: qelt-updater [SCRIPT] [--port COM1..COM9|/dev/PATH | --udp HOST[:PORT] |\n"
         "                    --tcp HOST[:PORT]] [--local-port N]\n"
         "  SCRIPT            the main script to run instead of script.ini\n"
         "  --port NAME       the serial port: COM1..COM9, or a device path\n"
         "  --udp HOST[:PORT] the device over UDP at an IPv4 address (and port)\n"
         "  --tcp HOST[:PORT] the device over TCP at an IPv4 address (and port)\n"
         "  --local-port N    the local UDP port, 0..65535\n"
         "  --help, --version\n";
}

void ApplyWindowOptions(const TWindowOptions& options, TMainFich& core) {
  TIPConfigDlg& lan = core.IPConfigDlg;
  if (options.LocalPort) lan.SetLocalPort(*options.LocalPort);
  if (options.NetMode != 0) {
    lan.SetConnectionMode(options.NetMode);
    lan.SetRemoteAddress(options.Host);
    if (options.RemotePort) lan.SetRemotePort(*options.RemotePort);
    core.Port1.Check(core.LAN1);
  }
  if (options.Port.empty()) return;
  if (const int index = ComIndex(options.Port); index != 0) {
    core.ComClick(index - 1);
    return;
  }
  // A device path: keep the ticked Com item (Com 1 when the network was ticked)
  // and let it open that device; the saved Com device names stay as they are.
  if (core.LAN1.Checked) core.ComClick(0);
  std::map<std::string, std::string> devices;
  for (int n = 1; n <= 9; ++n) {
    const std::string device = core.ComDevice(n);
    if (!device.empty()) devices["COM" + std::to_string(n)] = device;
  }
  devices[core.SelectedPortName()] = options.Port;
  core.Link().SetComDeviceMap(devices);
}
