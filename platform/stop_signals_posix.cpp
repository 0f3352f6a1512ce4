#include "platform/stop_signals_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>
#include <vector>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};              // [0] read by the event loop, [1] written by the handler
QPointer<QSocketNotifier> g_notifier;  // the current watch, owned by its context

// Async-signal-safe: one write that never blocks (a full pipe already holds a
// pending stop), and errno as the interrupted code left it.
void OnStopSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

// Both ends non-blocking and closed across exec, so a child never holds them.
bool MakePipe() {
  if (g_pipe[0] >= 0) return true;
  if (::pipe(g_pipe) != 0) return false;
  for (int fd : g_pipe) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
  }
  return true;
}

void SetHandlers(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the event loop's system calls go on undisturbed
  for (int number : kStopSignals) ::sigaction(number, &action, nullptr);
}

}  // namespace

bool WatchStopSignals(QObject& context, std::function<void(int signal)> on_stop) {
  if (!MakePipe()) return false;
  delete g_notifier.data();  // a later call replaces the earlier watch
  auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, &context);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [on_stop = std::move(on_stop)] {
    std::vector<int> numbers;
    char bytes[64];
    ssize_t got = 0;
    while ((got = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
      numbers.insert(numbers.end(), bytes, bytes + got);
    }
    // A call may replace or end the watch, and this lambda with it.
    const std::function<void(int)> call = on_stop;
    for (int number : numbers) call(number);
  });
  QObject::connect(notifier, &QObject::destroyed, [] {
    if (g_notifier == nullptr) SetHandlers(SIG_DFL);
  });
  g_notifier = notifier;
  SetHandlers(OnStopSignal);
  return true;
}

const char* StopSignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "another signal";
  }
}
