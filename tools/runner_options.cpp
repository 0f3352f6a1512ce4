#include "tools/runner_options.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "app/comp_sel_dlg.h"
#include "app/connection_options.h"
#include "link/com_driver.h"

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    items.push_back(Upper(text.substr(start, comma - start)));
    start = comma + 1;
  }
  return items;
}

// A whole decimal number in [low, high]: digits only.
bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  if (text.empty() || text.size() > 10) return false;
  if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return false;
  }
  value = std::stoll(text);
  return value >= low && value <= high;
}

// Seconds with up to three decimals, at most a day, as milliseconds (0 allowed).
bool ParseSeconds(const std::string& text, uint32_t& ms) {
  size_t dot = text.find('.');
  std::string whole = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (fraction.size() > 3 || (dot != std::string::npos && fraction.empty())) return false;
  int64_t seconds = 0;
  int64_t part = 0;
  if (!ParseNumber(whole, 0, 86400, seconds)) return false;
  if (!fraction.empty() && !ParseNumber(fraction, 0, 999, part)) return false;
  fraction.resize(3, '0');
  int64_t total = seconds * 1000 + std::stoll(fraction);
  if (total > 86400000) return false;
  ms = static_cast<uint32_t>(total);
  return true;
}

struct TCardBoxes {
  TCheckBox TCompSelDlg::*Card;
  void (TCompSelDlg::*Click)();  // null: the card has no component boxes
  std::map<std::string, TCheckBox TCompSelDlg::*> Components;
};

const std::map<std::string, TCardBoxes>& CardBoxes() {
  static const std::map<std::string, TCardBoxes> boxes = {
      {"VI3",
       {&TCompSelDlg::CBUD3,
        &TCompSelDlg::CBUD3Click,
        {{"MCU", &TCompSelDlg::CBVi3MCU},
         {"PROM", &TCompSelDlg::CBUD3PROM1},
         {"PROM1", &TCompSelDlg::CBUD3PROM1},
         {"CPLD", &TCompSelDlg::CBUD3CPLD}}}},
      {"KEYB3", {&TCompSelDlg::CBKeyb3, nullptr, {}}},
      {"SCAN",
       {&TCompSelDlg::CBSCANSD,
        &TCompSelDlg::CBSCANSDClick,
        {{"MCU", &TCompSelDlg::CBSCANSDMCU},
         {"PROM1", &TCompSelDlg::CBSCANSDPROM1},
         {"PROM2", &TCompSelDlg::CBSCANSDPROM2}}}},
      {"HD",
       {&TCompSelDlg::CBSCANHD,
        &TCompSelDlg::CBSCANHDClick,
        {{"MCU", &TCompSelDlg::CBSCANHDMCU},
         {"PROM1", &TCompSelDlg::CBSCANHDPROM1},
         {"PROM2", &TCompSelDlg::CBSCANHDPROM2}}}},
      {"OPT_IN",
       {&TCompSelDlg::CBExtIn,
        &TCompSelDlg::CBExtInClick,
        {{"CPLD", &TCompSelDlg::CBExtInCpld}, {"EDID", &TCompSelDlg::CBExtInEDID}}}},
  };
  return boxes;
}

bool CheckCards(const std::vector<std::string>& cards, std::string& error) {
  for (const std::string& card : cards) {
    if (CardBoxes().count(card) == 0) {
      error = "unknown card '" + card + "' (VI3, KEYB3, SCAN, HD or OPT_IN)";
      return false;
    }
  }
  return true;
}

bool CheckComponents(const std::vector<std::string>& components, std::string& error) {
  for (const std::string& item : components) {
    size_t colon = item.find(':');
    auto card = CardBoxes().find(item.substr(0, colon));
    if (colon == std::string::npos || card == CardBoxes().end()) {
      error = "'" + item + "' is not CARD:COMPONENT (for example VI3:CPLD)";
      return false;
    }
    if (card->second.Components.count(item.substr(colon + 1)) == 0) {
      error = card->second.Components.empty()
                  ? card->first + " has no component boxes; use --no-card " + card->first
                  : "card " + card->first + " has no component '" + item.substr(colon + 1) + "'";
      return false;
    }
  }
  return true;
}

// The runner reads "com3" as "COM3", and a device's port is never 0.
constexpr TConnectionRules kRunnerRules{.ComAnyCase = true, .LowestRemotePort = 1};

std::string FaultMessage(const std::string& name, const std::string& value,
                         TConnectionFault fault) {
  switch (fault) {
    case TConnectionFault::CF_PORT_NAME:
      return "--port takes COM1..COM4096 or a device path such as /dev/ttyUSB0";
    case TConnectionFault::CF_ADDRESS:
      return name + " takes an IPv4 address, optionally with :PORT (got '" + value + "')";
    case TConnectionFault::CF_REMOTE_PORT:
      return name + ": the port must be a number from 1 to 65535";
    case TConnectionFault::CF_LOCAL_PORT:
      return "--local-port must be a number from 0 to 65535";
    case TConnectionFault::CF_NONE:
      break;
  }
  return {};
}

// --port, --udp, --tcp and --local-port: read as the window reads them (with the
// runner's rules), then kept in the runner's own fields.
bool ParseConnection(const std::string& name, const std::string& value, TRunnerOptions& options,
                     std::string& error) {
  TConnectionOptions read;
  const TConnectionError fault = ReadConnectionOption(name, value, kRunnerRules, read);
  if (fault.Fault != TConnectionFault::CF_NONE) {
    error = FaultMessage(name, value, fault.Fault);
    return false;
  }
  if (read.LocalPort) {
    options.LocalPort = static_cast<int32_t>(*read.LocalPort);
  } else if (!read.Port.empty()) {
    options.Port = read.Port;
    options.Link = TRunnerLink::LINK_SERIAL;
  } else {
    options.Host = read.Host;
    options.RemotePort = read.RemotePort ? static_cast<int32_t>(*read.RemotePort) : -1;
    options.Link = read.NetMode == CON_UDP ? TRunnerLink::LINK_UDP : TRunnerLink::LINK_TCP;
  }
  return true;
}

using TValueHandler = std::function<bool(const std::string& name, const std::string& value,
                                         TRunnerOptions&, std::string& error)>;

const std::map<std::string, TValueHandler>& ValueOptions() {
  static const std::map<std::string, TValueHandler> handlers = {
      {"--port", ParseConnection},
      {"--udp", ParseConnection},
      {"--tcp", ParseConnection},
      {"--local-port", ParseConnection},
      {"--no-card",
       [](const std::string&, const std::string& v, TRunnerOptions& o, std::string& e) {
         std::vector<std::string> cards = SplitList(v);
         o.NoCards.insert(o.NoCards.end(), cards.begin(), cards.end());
         return CheckCards(cards, e);
       }},
      {"--no-component",
       [](const std::string&, const std::string& v, TRunnerOptions& o, std::string& e) {
         std::vector<std::string> items = SplitList(v);
         o.NoComponents.insert(o.NoComponents.end(), items.begin(), items.end());
         return CheckComponents(items, e);
       }},
      {"--log",
       [](const std::string&, const std::string& v, TRunnerOptions& o, std::string& e) {
         o.LogFile = v;
         if (v.empty()) e = "--log needs a file name";
         return !v.empty();
       }},
      {"--timeout",
       [](const std::string&, const std::string& v, TRunnerOptions& o, std::string& e) {
         if (ParseSeconds(v, o.TimeoutMs)) return true;
         e = "--timeout takes a number of seconds from 0 (off) to 86400";
         return false;
       }},
  };
  return handlers;
}

const std::map<std::string, bool TRunnerOptions::*>& FlagOptions() {
  static const std::map<std::string, bool TRunnerOptions::*> flags = {
      {"--readid", &TRunnerOptions::ReadId},
      {"--manual", &TRunnerOptions::Manual},
      {"--trace", &TRunnerOptions::Trace},
      {"--json", &TRunnerOptions::Json},
      {"--help", &TRunnerOptions::Help},
      {"-h", &TRunnerOptions::Help},
      {"--version", &TRunnerOptions::Version},
      {"--check", &TRunnerOptions::Check},
      {"--skip-check", &TRunnerOptions::SkipCheck},
      {"--list-ports", &TRunnerOptions::ListPorts},
  };
  return flags;
}

// Rules between options, checked once everything is read.
bool CheckCombination(const TRunnerOptions& options, int links, std::string& error) {
  if (links > 1) {
    error = kOneConnectionOnly;
  } else if (options.LocalPort >= 0 &&
             (options.Link == TRunnerLink::LINK_SERIAL || options.Link == TRunnerLink::LINK_TCP)) {
    error = "--local-port applies to --udp only";
  } else if (!options.Manual && (!options.NoCards.empty() || !options.NoComponents.empty())) {
    error = "--no-card and --no-component need --manual";
  } else if (options.Check && options.SkipCheck) {
    error = "--check and --skip-check exclude each other";
  }
  return error.empty();
}

}  // namespace

bool ParseRunnerOptions(const std::vector<std::string>& args, TRunnerOptions& options,
                        std::string& error) {
  options = TRunnerOptions();
  int links = 0;
  bool positional_only = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (positional_only || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!options.Script.empty()) {
        error = "only one SCRIPT may be given ('" + options.Script + "' and '" + arg + "')";
        return false;
      }
      options.Script = arg;
      continue;
    }
    if (arg == "--") {
      positional_only = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    if (auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
      if (equals != std::string::npos) {
        error = name + " takes no value";
        return false;
      }
      options.*(flag->second) = true;
      continue;
    }
    auto handler = ValueOptions().find(name);
    if (handler == ValueOptions().end()) {
      error = "unknown option '" + name + "'";
      return false;
    }
    std::string value;
    if (!OptionValue(args, i, value, error)) return false;
    if (IsLinkOption(name)) ++links;
    if (!handler->second(name, value, options, error)) return false;
  }
  return options.Help || options.Version || options.ListPorts ||
         CheckCombination(options, links, error);
}

void ApplyManualSelection(const TRunnerOptions& options, TCompSelDlg& dialog) {
  for (const std::string& name : options.NoCards) {
    const TCardBoxes& card = CardBoxes().at(name);
    (dialog.*(card.Card)).Checked = false;
    if (card.Click) (dialog.*(card.Click))();
  }
  for (const std::string& item : options.NoComponents) {
    size_t colon = item.find(':');
    const TCardBoxes& card = CardBoxes().at(item.substr(0, colon));
    TCheckBox& box = dialog.*(card.Components.at(item.substr(colon + 1)));
    if (box.Enabled) box.Checked = false;  // a disabled box cannot be clicked
  }
}

std::string RunnerUsage() {
  return R"(Usage: qelt-update [SCRIPT] [options]

Updates a Corvane Qelt device without the window: the same update as the window's
START button, with the window's settings ("Updater.prm" beside this program) and
Auto mode unless overridden below. SCRIPT names the main script as the window's
command line does (its folder holds the "rev0" and "rev1" trees); without it,
"script.ini" beside this program is used.

Connection (default: the settings file's):
  --port NAME          serial port COM1..COM4096, or a device path such as /dev/ttyUSB0
  --udp HOST[:PORT]    UDP to the device at IPv4 address HOST (PORT default: settings)
  --tcp HOST[:PORT]    TCP to the device at IPv4 address HOST (PORT default: settings)
  --local-port N       local UDP port (default: settings)

Before every run the package is checked as a run would read it (every script
line, every file it names); a package with errors is refused with its findings on
stderr, and the device is not touched.

What to run:
  --check              only check the package: print its findings (errors stop a
                       run, warnings do not) and exit 0 when it can run, 1 when it
                       cannot; no device is needed. With --json, one object per finding
  --skip-check         run without checking the package first (for a firmware
                       engineer who runs a package on purpose as it is)
  --readid             identification pass: "readid.ini" of SCRIPT's folder (or of
                       this program's folder) instead of the update
  --manual             Manual mode: no version skipping; every card and component
                       is programmed unless cleared with:
  --no-card LIST       clear card boxes: VI3, KEYB3, SCAN, HD, OPT_IN (comma-separated)
  --no-component LIST  clear component boxes: VI3:MCU, VI3:PROM1, VI3:CPLD, SCAN:MCU,
                       SCAN:PROM1, SCAN:PROM2, HD:MCU, HD:PROM1, HD:PROM2, OPT_IN:CPLD,
                       OPT_IN:EDID (comma-separated)

Serial ports:
  --list-ports         list the serial ports this system has, one per line: path,
                       name, description, maker, USB vendor:product, serial number
                       (tab-separated, "-" where unknown), then the device paths the
                       settings file or --port name that exist; with --json, one
                       JSON object per port. Runs nothing.

Output:
  --log FILE           append the session's log lines, with timestamps, to FILE
  --trace              also log every byte sent (>) and received (<), escaped, and
                       the sequencer's state when the watchdog ends a run
  --json               one JSON object per line on stdout for each event
                       (log, progress, trace, error, done) instead of the display
  --timeout SECONDS    stop the run when it has waited on the device this long
                       without moving on: nothing came, or nothing that came could
                       be used (default 60: a sound device answers every step in a
                       few seconds, its longest being a flash bank erase; "wait"
                       lines and the pause before an Effect file do not count;
                       0 turns the watchdog off)
  --help               show this text
  --version            show the program's version

The first lines name the connection (and where it came from: an option, the
settings file, or the default COM1) and the main script. A trace line shows at
most 256 bytes of one piece received or sent, and a log line at most 1024
characters: a device that sends without pause must not make lines of any length;
what is left out is counted on the line.

Ctrl-C stops the run as the window's STOP button does.
Exit status: 0 completed, 1 the run failed or the package was refused, 2 bad usage
or settings (also a default COM1 that cannot be opened), 3 stopped (watchdog or
signal). With --check: 0 the package can run, 1 it cannot.
)";
}
