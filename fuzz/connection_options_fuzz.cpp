// Fuzzes the connection options both programs take (app/connection_options.h):
// arbitrary values for --port, --udp, --tcp and --local-port under either
// program's rules, and arbitrary argument lists for OptionValue. Invariants: a
// refused value leaves the options as they were and names a part of the value; a
// taken one is within the rules, and reading it back in its plain form gives the
// same options; OptionValue never steps past the arguments.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "app/connection_options.h"
#include "app/ip_config_dlg.h"
#include "fuzz/fuzz_support.h"
#include "link/port_names.h"

namespace {

bool Same(const TConnectionOptions& a, const TConnectionOptions& b) {
  return a.Port == b.Port && a.NetMode == b.NetMode && a.Host == b.Host &&
         a.RemotePort == b.RemotePort && a.LocalPort == b.LocalPort;
}

// The value that says what `o` holds for option `name`, written plainly.
std::string PlainValue(const std::string& name, const TConnectionOptions& o) {
  if (name == "--port") return o.Port;
  if (name == "--local-port") return std::to_string(*o.LocalPort);
  return o.Host + (o.RemotePort ? ":" + std::to_string(*o.RemotePort) : "");
}

void CheckTaken(const std::string& name, const std::string& value, const TConnectionRules& rules,
                const TConnectionOptions& o) {
  if (name == "--port") {
    FUZZ_REQUIRE(ComPortNumber(o.Port) != 0 || (o.Port == value && IsSerialDevicePath(o.Port)),
                 "a port is COM1..COM4096 or a device path as given");
  } else if (name == "--local-port") {
    FUZZ_REQUIRE(o.LocalPort && *o.LocalPort <= 65535, "a local port is 0..65535");
  } else {
    FUZZ_REQUIRE(TIPConfigDlg::IsValidAddress(o.Host), "a host is a dotted IPv4 address");
    FUZZ_REQUIRE(
        !o.RemotePort || (*o.RemotePort >= rules.LowestRemotePort && *o.RemotePort <= 65535),
        "a remote port is within the rules");
  }
  TConnectionOptions again;
  const TConnectionError e = ReadConnectionOption(name, PlainValue(name, o), rules, again);
  FUZZ_REQUIRE(e.Fault == TConnectionFault::CF_NONE, "the plain form is taken");
  if (name == "--port") FUZZ_REQUIRE(again.Port == o.Port, "the plain form reads the same");
  if (name == "--local-port") FUZZ_REQUIRE(again.LocalPort == o.LocalPort, "the same port");
  if (name == "--udp" || name == "--tcp") {
    FUZZ_REQUIRE(
        again.Host == o.Host && again.RemotePort == o.RemotePort && again.NetMode == o.NetMode,
        "the plain form reads the same");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static const std::string kNames[] = {"--port", "--udp", "--tcp", "--local-port"};
  TConnectionRules rules;
  rules.ComAnyCase = in.ConsumeBool();
  rules.LowestRemotePort = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<uint32_t>(0, 70000);
  TConnectionOptions options;
  for (int i = 0; i < 4 && in.remaining_bytes() > 0; ++i) {
    const std::string& name = in.PickValueInArray(kNames);
    const std::string value = in.ConsumeRandomLengthString(64);
    FUZZ_REQUIRE(IsConnectionOption(name), "the four options are connection options");
    const TConnectionOptions before = options;
    const TConnectionError e = ReadConnectionOption(name, value, rules, options);
    if (e.Fault != TConnectionFault::CF_NONE) {
      FUZZ_REQUIRE(Same(options, before), "a refused value changes nothing");
      FUZZ_REQUIRE(value.find(e.Text) != std::string::npos, "the fault names part of the value");
      continue;
    }
    CheckTaken(name, value, rules, options);
  }

  std::vector<std::string> args;
  while (in.remaining_bytes() > 0 && args.size() < 8)
    args.push_back(in.ConsumeRandomLengthString(16));
  for (size_t i = 0; i < args.size(); ++i) {
    const size_t at = i;
    std::string value, error;
    if (OptionValue(args, i, value, error)) {
      FUZZ_REQUIRE(i < args.size() && (i == at || i == at + 1), "the value is this or the next");
    } else {
      FUZZ_REQUIRE(i == at && error == args[at] + " needs a value", "a missing value is named");
    }
  }
  return 0;
}
