// The window's command line: an optional main script and the connection options
// the command-line runner takes too (one of --port, --udp, --tcp, and --local-port).
// Parsed before the core exists (the script is part of its set-up), applied after
// the settings file is loaded, so the command line wins over the saved choice
// (for this session: TUpdaterForms keeps the file's choice unless the operator changes it).
// Plain C++; no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TMainFich;

struct TWindowOptions {
  std::string Script;                  // the main script, or empty
  std::string Port;                    // "COM1".."COM9", a device path, or empty
  uint8_t NetMode = 0;                 // 2 UDP or 3 TCP when a network was given
  std::string Host;                    // the device's IPv4 address (network only)
  std::optional<uint32_t> RemotePort;  // the device's port, when given
  std::optional<uint32_t> LocalPort;   // --local-port
  bool Help = false;                   // --help: print the usage and stop
  bool Version = false;                // --version: print the version and stop
};

// Parses the arguments after the program name. Returns false with a one-line
// `error` (naming the option at fault) on anything it does not accept.
bool ParseWindowOptions(const std::vector<std::string>& args, TWindowOptions& options,
                        std::string& error);

// The usage text printed by --help and after a bad option.
std::string WindowUsage();

// Applies the connection options to the core as the operator would through the
// menus and the LAN setup dialog: --port ticks its Com item (a device path is
// mapped to the ticked Com item for this run only), --udp/--tcp set the dialog's
// mode, address and port and tick "LAN/Setup", --local-port sets the local port.
void ApplyWindowOptions(const TWindowOptions& options, TMainFich& core);
