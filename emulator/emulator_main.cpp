// qelt-emulator: the emulated device behind a pseudo-terminal, a UDP port and a
// TCP port, for driving the updater (or a terminal program) without hardware.
// See EmulatorHelpText() for the options.
#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"
#include "emulator/emulator_options.h"
#include "emulator/emulator_server_qt.h"
#include "emulator/host_path.h"
#include "emulator/state_check.h"
#include "platform/stop_signals_posix.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "qelt-emulator: %s\n", message.c_str());
  return 2;
}

// Loads the state file, or creates it on a first run so a later run finds it.
bool PrepareState(TEmulatedDevice& device, const TEmulatorOptions& options, std::string* error) {
  if (options.StateFile.empty()) return true;
  std::error_code ec;
  if (!std::filesystem::exists(HostPath(options.StateFile), ec))
    return device.SaveState(options.StateFile, error);
  if (!device.LoadState(options.StateFile, error)) return false;
  if (options.Absent) {  // the command line overrides the file's card presence
    for (int card = 0; card < 6; ++card)
      device.SetCardPresent(card, !(*options.Absent)[static_cast<size_t>(card)]);
  }
  return true;
}

// --expect: loads the state file and checks each expectation. 0 all match, 1 one
// does not, 2 something could not be read.
int CheckState(const TEmulatorOptions& options) {
  TEmulatedDevice device;
  std::string error;
  if (!device.LoadState(options.StateFile, &error)) return Fail(error);
  int status = 0;
  for (const TStateExpectation& expectation : options.Expect) {
    const TStateCheck check = CheckStateExpectation(device, expectation);
    std::printf("%s\n", check.Line.c_str());
    if (!check.Readable) {
      status = 2;
    } else if (!check.Match && status == 0) {
      status = 1;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  TEmulatorOptions options;
  std::string error;
  if (!ParseEmulatorOptions(args, options, error)) return Fail(error + " (see --help)");
  if (options.Help) {
    std::fputs(EmulatorHelpText().c_str(), stdout);
    return 0;
  }
  if (!options.Expect.empty()) return CheckState(options);
  QCoreApplication app(argc, argv);
  TEmulatedDevice device(DeviceConfigFromOptions(options));
  if (!PrepareState(device, options, &error)) return Fail(error);
  TEmulatorServer server(device, options);
  if (!server.Start(&error)) return Fail(error);

  int status = 0;
  bool stopping = false;
  const bool watching = WatchStopSignals(app, [&](int) {
    if (stopping) return;  // the state is saved once
    stopping = true;
    std::string why;
    if (!options.StateFile.empty() && !device.SaveState(options.StateFile, &why)) {
      std::fprintf(stderr, "qelt-emulator: %s\n", why.c_str());
      status = 1;
    }
    if (!options.StatsFile.empty() && !server.WriteStats(options.StatsFile, &why)) {
      std::fprintf(stderr, "qelt-emulator: %s\n", why.c_str());
      status = 1;
    }
    app.exit(status);
  });
  if (!watching) return Fail("cannot watch for SIGINT, SIGTERM and SIGHUP");

  for (const std::string& line : server.EndpointLines()) std::printf("%s\n", line.c_str());
  std::printf("READY\n");
  std::fflush(stdout);
  app.exec();
  return status;
}
