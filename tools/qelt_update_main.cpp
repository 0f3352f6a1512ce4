// qelt-update: the headless runner. Drives the same TMainFich core as the window,
// with the window's settings file and Auto mode unless the command line overrides
// them, on the Qt event loop. See RunnerUsage() (runner_options.cpp) for the
// command line and update_runner.h for the exit statuses.
#include <QCoreApplication>
#include <QDir>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "app/main_fich.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "engines/ms_clock.h"
#include "link/qt_port_lister.h"
#include "link/qt_serial_backend.h"
#include "link/qt_tcp_backend.h"
#include "link/qt_udp_backend.h"
#include "platform/utf8_console.h"
#include "tools/check_command.h"
#include "tools/console.h"
#include "tools/port_listing.h"
#include "tools/qt_runner_loop.h"
#include "tools/runner_options.h"
#include "tools/runner_output.h"
#include "tools/traced_transports.h"
#include "tools/update_runner.h"

namespace {

int UsageError(const std::string& error) {
  std::cerr << "qelt-update: " << error << "\nTry 'qelt-update --help'.\n";
  return kExitUsage;
}

// --list-ports: the system's serial ports, then the device paths the settings file
// and --port name that exist.
int ListPorts(const TMainFich& core, const TRunnerOptions& options) {
  TQtPortLister lister;
  const auto exists = [](const std::string& path) { return PathExists(path); };
  std::cout << PortListing(PortsToList(lister.List(), KnownPorts(core, options.Port), exists),
                           options.Json)
            << std::flush;
  return kExitCompleted;
}

std::string CommandLine(const std::vector<std::string>& args) {
  std::string text = "qelt-update";
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  TRunnerOptions options;
  std::string error;
  if (!ParseRunnerOptions(args, options, error)) {
    return UsageError(error);
  }
  if (options.Help) {
    std::cout << RunnerUsage();
    return kExitCompleted;
  }
  if (options.Version) {
    std::cout << "qelt-update " << QELT_VERSION << "\n";
    return kExitCompleted;
  }

  QCoreApplication app(argc, argv);
  const std::string program_folder =
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString() +
      kPathSeparator;
  if (options.Check) {
    const std::string script = RunnerScriptArgument(options, program_folder);
    return RunCheckCommand(script.empty() ? program_folder + "script.ini" : script, options.Json,
                           std::cout);
  }
  std::ofstream log_stream;
  if (!options.LogFile.empty() && !OpenForAppending(log_stream, options.LogFile)) {
    return UsageError("cannot open the log file " + options.LogFile);
  }

  // The transports report their traffic to the runner once it exists.
  TTrafficObserver to_runner;
  TMainFich core(
      CreateTracedComDriver(std::make_unique<TQtSerialBackend>(), std::make_unique<TQtUdpBackend>(),
                            std::make_unique<TQtTcpBackend>(),
                            [&to_runner](TTraceDir dir, const std::string& bytes) {
                              if (to_runner) to_runner(dir, bytes);
                            }),
      SystemClock(),
      TMainFichSetup{program_folder, RunnerScriptArgument(options, program_folder), program_folder,
                     ""});
  core.LoadSettings();
  if (options.ListPorts) return ListPorts(core, options);

  int exit_code = kExitCompleted;
  {
    TUpdateRunner runner(core, options, SystemClock());
    to_runner = [&runner](TTraceDir dir, const std::string& bytes) { runner.Traffic(dir, bytes); };

    std::optional<TLogFileOutput> log_file;
    if (log_stream.is_open()) {
      log_file.emplace(log_stream, NowTimestamp);
      log_file->Note("Session start: " + CommandLine(args));
      runner.AddOutput(&*log_file);
    }
    std::unique_ptr<TRunnerOutput> display;
    if (options.Json) {
      display = std::make_unique<TJsonOutput>(std::cout, NowTimestamp);
    } else if (StdoutIsTerminal()) {
      display =
          std::make_unique<TTerminalOutput>(std::cout, std::cerr, SystemClock(), TerminalWidth());
    } else {
      display = std::make_unique<TPlainOutput>(std::cout, std::cerr);
    }
    // Traffic goes to the log file when there is one, else to the display.
    runner.AddOutput(display.get(), !log_file.has_value());

    if (!runner.Configure(error)) {
      to_runner = nullptr;
      return UsageError(error);
    }
    TQtRunnerLoop loop(runner);
    InstallStopHandler(
        [&runner](const std::string& signal) { runner.Interrupt("Stopped by " + signal); });
    runner.Start();
    loop.Start();
    if (!runner.Finished()) app.exec();
    exit_code = runner.ExitCode();
    if (log_file) log_file->Note("Session end: exit status " + std::to_string(exit_code));
    to_runner = nullptr;
  }
  return exit_code;
}
