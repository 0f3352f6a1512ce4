#include "app/ui/window_options.h"

#include <map>
#include <set>

#include "app/main_fich.h"
#include "engines/text_util.h"
#include "link/com_driver.h"

namespace {

// The window takes COM names as the menu writes them, and any remote port.
constexpr TConnectionRules kWindowRules{.ComAnyCase = false, .LowestRemotePort = 0};

std::string FaultMessage(const std::string& name, const TConnectionError& error) {
  switch (error.Fault) {
    case TConnectionFault::CF_PORT_NAME:
      return "--port takes COM1..COM4096 or a device path, not \"" + error.Text + "\"";
    case TConnectionFault::CF_ADDRESS:
      return name + " takes an IPv4 address, not \"" + error.Text + "\"";
    case TConnectionFault::CF_REMOTE_PORT:
    case TConnectionFault::CF_LOCAL_PORT:
      return name + " takes a port from 0 to 65535, not \"" + error.Text + "\"";
    case TConnectionFault::CF_NONE:
      break;
  }
  return {};
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
    const std::string name = arg.substr(0, arg.find('='));
    if (!IsConnectionOption(name)) {
      error = "unknown option \"" + name + "\"";
      return false;
    }
    std::string value;
    if (!OptionValue(args, i, value, error)) return false;
    if (IsLinkOption(name)) ++connections;
    const TConnectionError fault = ReadConnectionOption(name, value, kWindowRules, options);
    if (fault.Fault != TConnectionFault::CF_NONE) {
      error = FaultMessage(name, fault);
      return false;
    }
  }
  if (connections > 1) {
    error = kOneConnectionOnly;
    return false;
  }
  return true;
}

std::vector<std::string> WithoutToolkitOptions(const std::vector<std::string>& args) {
  // What QGuiApplication, QApplication and the X11 platform plugin remove from the
  // command line: options with a value, options alone, and "-name=value" forms.
  static const std::set<std::string> kWithValue = {
      "-platform",    "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
      "-qwindowicon", "-qwindowtitle",       "-session",       "-style",  "-stylesheet",
      "-display",     "-geometry",           "-title",         "-icon",   "-name",
      "-visual"};
  static const std::set<std::string> kAlone = {
      "-reverse", "-testability", "-widgetcount", "-nograb", "-dograb", "-qdevel", "-qdebug"};
  std::vector<std::string> kept;
  for (size_t i = 0; i < args.size(); ++i) {
    // Qt reads "--style" as "-style".
    const std::string name = StartsWith(args[i], "--") ? args[i].substr(1) : args[i];
    if (kWithValue.count(name) != 0) {
      ++i;  // its value goes with it
    } else if (kAlone.count(name) == 0 && !StartsWith(name, "-style=") &&
               !StartsWith(name, "-stylesheet=") && !StartsWith(name, "-qmljsdebugger=")) {
      kept.push_back(args[i]);
    }
  }
  return kept;
}

std::string WindowUsage() {
  return "Usage: qelt-updater [SCRIPT] [--port NAME | --udp HOST[:PORT] | --tcp HOST[:PORT]]\n"
         "                    [--local-port N]\n"
         "\n"
         "Opens the window that updates the firmware of a Corvane Qelt device. The\n"
         "connection options apply to this session only; without them the window\n"
         "connects as its \"Port\" menu was last left (the settings file \"Updater.prm\").\n"
         "\n"
         "  SCRIPT             the main script to run instead of \"script.ini\" beside\n"
         "                     this program; its folder holds \"rev0\" and \"rev1\"\n"
         "  --port NAME        the serial port: COM1..COM4096, or a device path such as\n"
         "                     /dev/ttyUSB0\n"
         "  --udp HOST[:PORT]  the device over UDP at an IPv4 address (and port)\n"
         "  --tcp HOST[:PORT]  the device over TCP at an IPv4 address (and port)\n"
         "  --local-port N     the local UDP port, 0..65535\n"
         "  --help             show this text\n"
         "  --version          show the program's version\n"
         "\n"
         "Qt's own options (-platform NAME, -style NAME, ...) are accepted too.\n"
         "Exit status: 0 when the window is closed (and after --help or --version),\n"
         "2 for a bad command line.\n";
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
  if (const int item = ComMenuItem(options.Port); item != 0) {
    core.ComClick(item - 1);
    return;
  }
  // A device path, or a COM port beyond the menu's items: ticked as a detected
  // port, so every message names it as given.
  core.DevicePortClick(options.Port);
}
