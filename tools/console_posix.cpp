// POSIX console: isatty and TIOCGWINSZ, and SIGINT/SIGTERM through a self-pipe
// watched by a QSocketNotifier, so that the handler itself only writes one byte.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tools/console.h"

namespace {

int g_pipe[2] = {-1, -1};  // self-pipe: [0] read by the event loop, [1] written by handlers

void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] ssize_t written = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

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
  if (pipe(g_pipe) != 0) return;  // without a pipe the default handling stays
  for (int fd : g_pipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  auto* notifier =
      new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [on_stop] {
    char byte = 0;
    while (read(g_pipe[0], &byte, 1) == 1) {
      on_stop(byte == SIGTERM ? "SIGTERM" : byte == SIGHUP ? "SIGHUP" : "SIGINT");
    }
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}
