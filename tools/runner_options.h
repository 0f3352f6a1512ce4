// Command line of qelt-update, the headless runner: parsing into TRunnerOptions,
// the usage text, and applying the Manual-mode selection to the component
// selection dialog exactly as its boxes would. Plain C++; used by
// qelt_update_main.cpp and its tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/no_answer_watchdog.h"  // kDefaultTimeoutMs

class TCompSelDlg;

// How the runner reaches the device: as the settings file says, or overridden.
enum class TRunnerLink : uint8_t {
  LINK_SETTINGS,  // "Updater.prm" of the program's folder (the window's choice)
  LINK_SERIAL,    // --port
  LINK_UDP,       // --udp
  LINK_TCP,       // --tcp
};

struct TRunnerOptions {
  std::string Script;  // optional first argument: the main script
  TRunnerLink Link = TRunnerLink::LINK_SETTINGS;
  std::string Port;                        // "COMn" or a device path (LINK_SERIAL)
  std::string Host;                        // dotted IPv4 address (LINK_UDP, LINK_TCP)
  int32_t RemotePort = -1;                 // -1: the settings file's
  int32_t LocalPort = -1;                  // -1: the settings file's (UDP only)
  bool ReadId = false;                     // identification pass ("readid.ini")
  bool Manual = false;                     // Manual mode
  std::vector<std::string> NoCards;        // card names as written in the usage (upper case)
  std::vector<std::string> NoComponents;   // "CARD:PART", upper case
  std::string LogFile;                     // --log: append timestamped log lines here
  bool Trace = false;                      // every byte sent and received
  bool Json = false;                       // one JSON object per event on stdout
  bool Check = false;                      // judge the package only, without a device
  bool SkipCheck = false;                  // run without judging the package first
  uint32_t TimeoutMs = kDefaultTimeoutMs;  // watchdog without progress; 0 is off
  bool ListPorts = false;                  // --list-ports: list the serial ports, run nothing
  bool Help = false;
  bool Version = false;
};

// Parses the arguments after the program name. False with a one-line reason in
// `error` (the runner prints it with the usage hint and exits 2).
bool ParseRunnerOptions(const std::vector<std::string>& args, TRunnerOptions& options,
                        std::string& error);

// The --help text (every option, one per line).
std::string RunnerUsage();

// Clears the boxes that --no-card and --no-component name, each as the operator's
// click would (a card box also clears and disables its component boxes).
void ApplyManualSelection(const TRunnerOptions& options, TCompSelDlg& dialog);
