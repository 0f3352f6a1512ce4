// The qelt-emulator command line: what it serves (pseudo-terminal, UDP, TCP), the
// state file, pacing, the traffic log and the device's configuration and faults.
// Parsed here in plain C++ so the rules are tested without starting the program.
// Used by emulator_main.cpp only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"
#include "emulator/state_check.h"

struct TEmulatorOptions {
  bool Help = false;                          // --help: print the help and exit
  bool Pty = false;                           // --pty: serve a pseudo-terminal
  std::optional<uint16_t> UdpPort;            // --udp PORT (0 = any free port)
  std::optional<uint16_t> TcpPort;            // --tcp PORT (0 = any free port)
  std::string StateFile;                      // --state FILE (empty: no state kept)
  std::string LogFile;                        // --log FILE (empty: no traffic log)
  std::string StatsFile;                      // --stats FILE (empty: none written)
  bool Pace = false;                          // --pace: serial line timing
  bool Exact = false;                         // --exact: spin rather than oversleep
  std::optional<uint64_t> Seed;               // --seed N
  std::optional<uint32_t> DeviceType;         // --device-type N
  bool Silent = false;                        // --device-type silent
  std::optional<int> BootType;                // --boot-type 37|27|none (none = 0)
  std::optional<std::array<bool, 6>> Absent;  // --absent LIST: true = card absent
  std::vector<TFaultRule> Faults;             // --fault RULE, in order
  // --expect MEMORY=VALUE, in order: check the --state file and serve nothing.
  std::vector<TStateExpectation> Expect;
};

// Parses the arguments after the program name. False with `error` (one line).
bool ParseEmulatorOptions(const std::vector<std::string>& args, TEmulatorOptions& out,
                          std::string& error);

// The device configuration the options ask for (defaults where not given).
TDeviceConfig DeviceConfigFromOptions(const TEmulatorOptions& options);

// The --help text: every option and the fault RULE syntax.
std::string EmulatorHelpText();
