// The window's command line: an optional main script and the connection options
// the command-line runner takes too (one of --port, --udp, --tcp, and --local-port).
// Parsed before the GUI starts (so --help, --version and a bad option need no
// display) and before the core exists (the script is part of its set-up), applied after
// the settings file is loaded, so the command line wins over the saved choice
// (for this session: TUpdaterForms keeps the file's choice unless the operator changes it).
// Plain C++; no state.
#pragma once

#include <string>
#include <vector>

#include "app/connection_options.h"

class TMainFich;

// The connection fields (Port, NetMode, Host, RemotePort, LocalPort) as the
// shared connection options read them; COM names in upper case only.
struct TWindowOptions : TConnectionOptions {
  std::string Script;    // the main script, or empty
  bool Help = false;     // --help: print the usage and stop
  bool Version = false;  // --version: print the version and stop
};

// Parses the arguments after the program name. Returns false with a one-line
// `error` (naming the option at fault) on anything it does not accept.
bool ParseWindowOptions(const std::vector<std::string>& args, TWindowOptions& options,
                        std::string& error);

// The arguments without the options Qt's application object takes for itself
// (-platform NAME, -style NAME, -reverse, ..., with one dash or two), so the
// command line can be checked before the GUI starts and without a display.
std::vector<std::string> WithoutToolkitOptions(const std::vector<std::string>& args);

// The usage text printed by --help and after a bad option.
std::string WindowUsage();

// Applies the connection options to the core as the operator would through the
// menus and the LAN setup dialog: --port ticks its Com item (a device path is
// ticked as a detected port of the Port menu), --udp/--tcp set the dialog's
// mode, address and port and tick "LAN/Setup", --local-port sets the local port.
void ApplyWindowOptions(const TWindowOptions& options, TMainFich& core);
