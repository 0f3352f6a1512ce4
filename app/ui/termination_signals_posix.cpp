// POSIX: the signal handler only writes one byte into a socket pair; a socket
// notifier reads it on the event-loop thread and quits the application there.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "app/ui/termination_signals.h"

namespace {

int g_signal_pipe[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler

void OnSignal(int) {
  const char byte = 1;
  // Nothing useful can be done on failure inside a signal handler.
  [[maybe_unused]] const ssize_t written = write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

void QuitOnTerminationSignals(QCoreApplication& app) {
  if (g_signal_pipe[0] >= 0) return;
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signal_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = read(g_signal_pipe[0], &byte, 1);
    QCoreApplication::quit();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}
