// The connection options the window (qelt-updater) and the command-line runner
// (qelt-update) both take: --port COMn|DEVICE-PATH, --udp HOST[:PORT],
// --tcp HOST[:PORT] and --local-port N. Each program's own parser hands every one
// of these options' values here, then words its own message from the fault that
// comes back; both take an option's value the same way (OptionValue). Plain C++;
// no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Why a connection option's value was refused.
enum class TConnectionFault : uint8_t {
  CF_NONE,         // the value was taken
  CF_PORT_NAME,    // --port: neither COMn (1..4096) nor a device path of this platform
  CF_ADDRESS,      // --udp/--tcp: HOST is not a dotted IPv4 address
  CF_REMOTE_PORT,  // --udp/--tcp: PORT is not a number in the range the rules allow
  CF_LOCAL_PORT,   // --local-port: not a number from 0 to 65535
};

// What the connection options said; empty or unset where they were not given.
struct TConnectionOptions {
  std::string Port;                    // "COMn" or a device path (--port)
  uint8_t NetMode = 0;                 // CON_UDP (--udp) or CON_TCP (--tcp); 0 otherwise
  std::string Host;                    // the device's IPv4 address (--udp, --tcp)
  std::optional<uint32_t> RemotePort;  // the device's port, when given after HOST
  std::optional<uint32_t> LocalPort;   // --local-port
};

// Where the two programs differ in what they accept.
struct TConnectionRules {
  bool ComAnyCase = false;        // "com3" is read as "COM3"
  uint32_t LowestRemotePort = 0;  // HOST:PORT takes PORT from this to 65535
};

// A refusal and the part of the value at fault: the whole value for --port and
// --local-port, HOST or PORT for --udp and --tcp.
struct TConnectionError {
  TConnectionFault Fault = TConnectionFault::CF_NONE;
  std::string Text;
};

// The message both programs give when more than one of --port, --udp and --tcp
// was given.
inline constexpr const char* kOneConnectionOnly = "give only one of --port, --udp and --tcp";

// True for "--port", "--udp", "--tcp" and "--local-port".
bool IsConnectionOption(const std::string& name);

// True for the options that choose the link: "--port", "--udp" and "--tcp".
bool IsLinkOption(const std::string& name);

// Reads `value`, given to the connection option `name`, into `options`: --port
// sets Port, --udp/--tcp set NetMode, Host and (when given) RemotePort,
// --local-port sets LocalPort. On a fault `options` is left as it was.
TConnectionError ReadConnectionOption(const std::string& name, const std::string& value,
                                      const TConnectionRules& rules, TConnectionOptions& options);

// The port menu's item number (1..9) for "COM1".."COM9"; 0 for any other port
// name (COM10 and above, a device path), which a program reaches by mapping the
// ticked item to it (TComDriver::SetComDeviceMap).
int ComMenuItem(const std::string& port);

// The value of the option args[i]: after its "=" ("--name=value"), else the next
// argument ("--name value"), `i` then moving past it. False with "--name needs a
// value" in `error` when there is none.
bool OptionValue(const std::vector<std::string>& args, size_t& i, std::string& value,
                 std::string& error);
