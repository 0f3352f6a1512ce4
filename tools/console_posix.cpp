// POSIX console: isatty and TIOCGWINSZ, and SIGINT/SIGTERM/SIGHUP through the
// shared self-pipe (platform/stop_signals_posix.h), so the handler itself only
// writes one byte.
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>

#include "platform/stop_signals_posix.h"
#include "tools/console.h"

bool StdoutIsTerminal() {
  const char* term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) == 1 && term != nullptr && std::strcmp(term, "dumb") != 0;
}

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void InstallStopHandler(std::function<void(const std::string& signal)> on_stop) {
  // Without a pipe the default handling stays: the signal ends the runner at once.
  WatchStopSignals(*QCoreApplication::instance(),
                   [on_stop = std::move(on_stop)](int signal) { on_stop(StopSignalName(signal)); });
}
