#include "emulator/signals_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

int g_write_end = -1;

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_write_end, &byte, 1);  // async-signal-safe
}

}  // namespace

int InstallTerminationPipe() {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  g_write_end = fds[1];
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  return fds[0];
}
