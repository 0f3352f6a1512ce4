#include "emulator/emulator_options.h"

#include <charconv>

namespace {

template <typename T>
bool ParseUnsigned(const std::string& text, T max, T& out) {
  uint64_t value = 0;
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) return false;
  out = static_cast<T>(value);
  return true;
}

bool ParseCardList(const std::string& text, std::array<bool, 6>& absent) {
  absent.fill(false);
  if (text.empty()) return true;  // "--absent ''": every card present
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t comma = text.find(',', pos);
    const std::string item =
        text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (item.size() != 1 || item[0] < '0' || item[0] > '5') return false;
    absent[static_cast<size_t>(item[0] - '0')] = true;
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return true;
}

bool ApplyValue(const std::string& name, const std::string& value, TEmulatorOptions& out,
                std::string& error) {
  const std::string quoted = "\"" + value + "\"";
  uint16_t port = 0;
  if (name == "--udp" || name == "--tcp") {
    if (!ParseUnsigned<uint16_t>(value, 65535, port)) {
      return error = "bad port " + quoted + " for " + name + " (0 to 65535)", false;
    }
    (name == "--udp" ? out.UdpPort : out.TcpPort) = port;
    return true;
  }
  if (name == "--state" || name == "--log" || name == "--stats") {
    if (value.empty()) return error = name + " needs a file name", false;
    (name == "--state" ? out.StateFile : name == "--log" ? out.LogFile : out.StatsFile) = value;
    return true;
  }
  if (name == "--seed") {
    uint64_t seed = 0;
    if (!ParseUnsigned<uint64_t>(value, UINT64_MAX, seed))
      return error = "bad seed " + quoted, false;
    return out.Seed = seed, true;
  }
  if (name == "--device-type") {
    uint32_t type = 0;
    if (value == "silent") return out.Silent = true, true;
    if (!ParseUnsigned<uint32_t>(value, UINT32_MAX, type)) {
      return error = "bad device type " + quoted + " (a number, or silent)", false;
    }
    return out.DeviceType = type, true;
  }
  if (name == "--boot-type") {
    if (value == "37" || value == "27") return out.BootType = std::stoi(value), true;
    if (value == "none") return out.BootType = 0, true;
    return error = "bad boot type " + quoted + " (37, 27 or none)", false;
  }
  if (name == "--absent") {
    std::array<bool, 6> absent{};
    if (!ParseCardList(value, absent)) {
      return error =
                 "bad card list " + quoted + " for --absent (cards 0 to 5, separated by commas)",
             false;
    }
    return out.Absent = absent, true;
  }
  if (name == "--fault") {
    TFaultRule rule;
    std::string why;
    if (!ParseFaultRule(value, rule, why)) return error = "--fault " + value + ": " + why, false;
    out.Faults.push_back(rule);
    return true;
  }
  if (name == "--expect") {
    TStateExpectation expectation;
    std::string why;
    if (!ParseStateExpectation(value, expectation, why)) return error = "--expect: " + why, false;
    out.Expect.push_back(expectation);
    return true;
  }
  error = "unknown option " + name;
  return false;
}

// What the options ask for as a whole: something to serve, or a state to check.
bool CheckPurpose(const TEmulatorOptions& o, std::string& error) {
  const bool serves = o.Pty || o.UdpPort || o.TcpPort;
  if (o.Help) return true;
  if (!o.Expect.empty()) {
    if (serves) return error = "--expect checks a state file and serves nothing", false;
    if (o.StateFile.empty()) return error = "--expect needs --state FILE", false;
    return true;
  }
  if (!serves) return error = "nothing to serve: give --pty, --udp PORT or --tcp PORT", false;
  return true;
}

}  // namespace

bool ParseEmulatorOptions(const std::vector<std::string>& args, TEmulatorOptions& out,
                          std::string& error) {
  TEmulatorOptions parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (name == "--help" || name == "-h") {
      parsed.Help = true;
      continue;
    }
    if (name == "--pty") {
      parsed.Pty = true;
      continue;
    }
    if (name == "--pace") {
      parsed.Pace = true;
      continue;
    }
    if (name == "--exact") {
      parsed.Exact = true;
      continue;
    }
    if (name.rfind("--", 0) != 0) {
      error = "unexpected argument \"" + name + "\"";
      return false;
    }
    std::string value;
    const size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = "option " + name + " needs a value";
      return false;
    }
    if (!ApplyValue(name, value, parsed, error)) return false;
  }
  if (!CheckPurpose(parsed, error)) return false;
  out = std::move(parsed);
  return true;
}

TDeviceConfig DeviceConfigFromOptions(const TEmulatorOptions& options) {
  TDeviceConfig config;
  if (options.DeviceType) config.DeviceType = *options.DeviceType;
  config.Silent = options.Silent;
  if (options.BootType) config.BootType = *options.BootType;
  if (options.Absent) {
    for (size_t i = 0; i < 6; ++i) config.CardPresent[i] = !(*options.Absent)[i];
  }
  if (options.Seed) config.Faults.Seed = *options.Seed;
  config.Faults.Rules = options.Faults;
  return config;
}

std::string EmulatorHelpText() {
  return "Usage: qelt-emulator [--pty] [--udp PORT] [--tcp PORT] [--state FILE] [--pace]\n"
         "                     [--exact] [--log FILE] [--stats FILE] [--seed N]\n"
         "                     [--device-type N|silent]\n"
         "                     [--boot-type 37|27|none] [--absent LIST] [--fault RULE]...\n"
         "       qelt-emulator --state FILE --expect MEMORY=VALUE...\n"
         "\n"
         "Plays the device's side of the updater's exchanges: the application's variable\n"
         "protocol, the boot loader, the supervisor, flash banks, the E memory, version\n"
         "registers and JTAG chains. One device stands behind every endpoint; replies go\n"
         "to the endpoint that last sent something. When all endpoints are ready it\n"
         "prints one line each (\"PTY /dev/pts/N\", \"UDP 127.0.0.1:PORT\",\n"
         "\"TCP 127.0.0.1:PORT\"), then \"READY\". SIGINT, SIGTERM or SIGHUP saves the\n"
         "state file and exits with status 0. At least one of --pty, --udp, --tcp is\n"
         "required.\n"
         "\n"
         "Options (a value may also be given as --option=VALUE):\n"
         "  --pty               serve a pseudo-terminal; its slave path is printed. The\n"
         "                      updater opens that path as its serial port.\n"
         "  --udp PORT          answer UDP datagrams on 127.0.0.1:PORT (0: any free port);\n"
         "                      replies go to the sender of the last datagram. Datagrams\n"
         "                      hold at most 8192 bytes.\n"
         "  --tcp PORT          accept TCP clients on 127.0.0.1:PORT (0: any free port),\n"
         "                      one at a time: a new client replaces the old one.\n"
         "  --state FILE        load the device state (identifiers, card presence,\n"
         "                      versions, memories, JTAG chains) from FILE at start and\n"
         "                      save it there, atomically, on exit. A missing FILE is\n"
         "                      created; one that cannot be read is an error (status 2).\n"
         "  --pace              pace both directions at the serial line's speed: 57600\n"
         "                      bit/s (9600 while the application runs), 8N1, each byte\n"
         "                      reaching the device and the host when its last bit would\n"
         "                      have crossed the line. The device itself answers at once.\n"
         "  --exact             with --pace, spin instead of sleeping for the last 200 us\n"
         "                      before a byte is due and for up to 2 ms after a reply's\n"
         "                      last byte while the host may answer on the terminal: the\n"
         "                      pacing and the time the host's bytes are read are then\n"
         "                      exact to a few microseconds, not to the system's wake-up\n"
         "                      time (for speed measurements; costs processor time).\n"
         "  --stats FILE        on exit, write the session's figures to FILE, one \"key\n"
         "                      value\" line each (times in microseconds): bytes and serial\n"
         "                      time each way, replies held back by faults, Effect files\n"
         "                      played, the host's turnarounds (a reply's last byte out to\n"
         "                      the next byte in: median, 99th percentile, sum) and how\n"
         "                      late the emulator wrote the replies' last bytes.\n"
         "  --log FILE          log the traffic: one line per piece, with the time in\n"
         "                      milliseconds, the endpoint, \">\" from the host or \"<\" to\n"
         "                      it, and the bytes (\\r, \\n, \\\\ and \\xNN escapes).\n"
         "  --seed N            seed of the fault rules (default 1): the same seed and the\n"
         "                      same traffic give the same faults.\n"
         "  --device-type N|silent\n"
         "                      the type \"?\" reports (default 37); silent: the\n"
         "                      application answers nothing, like a switched-off device,\n"
         "                      and the boot loader waits for the synchronisation.\n"
         "  --boot-type 37|27|none\n"
         "                      the type the boot loader accepts (default 37); none\n"
         "                      refuses both.\n"
         "  --absent LIST       option cards that are absent, e.g. 1,3 (cards 0 to 5);\n"
         "                      overrides the state file's card presence.\n"
         "  --fault RULE        add a fault rule (repeatable), see below.\n"
         "  --expect MEMORY=VALUE\n"
         "                      serve nothing: load the --state file and check that\n"
         "                      MEMORY holds VALUE (repeatable), one line per check.\n"
         "                      MEMORY: boot, CARD.bankB or CARD.e with VALUE an Intel\n"
         "                      HEX image (the memory must hold exactly the image, FF\n"
         "                      where it writes nothing), or CARD.versionC with VALUE\n"
         "                      the four characters of the version; CARD = main or\n"
         "                      card0..card5. Example: --expect main.bank1=VI3_B1.HEX\n"
         "  --help, -h          print this help and exit.\n"
         "\n" +
         FaultRuleHelp() +
         "\n"
         "Exit status: 0 after SIGINT, SIGTERM or SIGHUP with the state saved; 1 when\n"
         "the state or the figures cannot be written at exit; 2 for a bad option, an\n"
         "endpoint that cannot be opened, or a state file that cannot be read or\n"
         "created. With --expect: 0 when every check matches, 1 when one does not, 2\n"
         "when the state file or an image cannot be read.\n";
}
