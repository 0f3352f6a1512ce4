// Ends a TEmulatorProcess with a chosen signal (SIGTERM, SIGINT, SIGHUP), as a
// terminal or a service manager would, and returns its exit status: the emulator
// saves its state file on each. POSIX, like the emulator executable. Header-only;
// tests only.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include "emulator/testing/emulator_process.h"

// Sends `signal` and returns the exit status; -1 when it did not end normally
// within the bound.
inline int TerminateWith(TEmulatorProcess& emulator, int signal = SIGTERM) {
  ::kill(static_cast<pid_t>(emulator.Process().processId()), signal);
  return emulator.WaitExitStatus();
}
