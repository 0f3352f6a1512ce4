// The runner's ties to its console: whether stdout is a terminal and how wide it
// is, and turning Ctrl-C (and a termination request or a hang-up) into a call on
// the event loop's thread. One implementation per platform (console_posix.cpp,
// console_win.cpp). Needs a running QCoreApplication for the signal hand-over.
#pragma once

#include <functional>
#include <string>

// True when stdout is a terminal that understands cursor movement.
bool StdoutIsTerminal();
// Columns of the terminal on stdout; 80 when unknown.
int TerminalWidth();
// From now on, Ctrl-C, a termination request and a hang-up call `on_stop` with the
// signal's name ("SIGINT", "SIGTERM", "SIGHUP"), later, from the event loop; never
// inside the handler.
void InstallStopHandler(std::function<void(const std::string& signal)> on_stop);
