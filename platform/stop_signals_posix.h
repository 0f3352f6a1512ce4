// The system's requests to stop (SIGINT, SIGTERM and SIGHUP) turned into a call on
// the event loop's thread, through a self-pipe: the handler only writes the signal's
// number into a non-blocking pipe and keeps errno, and a socket notifier reads it in
// the event loop. Called once at start-up by the emulator's main, the runner's
// (tools/console_posix.cpp) and the window's (app/ui/termination_signals_posix.cpp).
// POSIX only; Qt Core; one thread, the event loop's.
#pragma once

#include <functional>

class QObject;

// From now on, each SIGINT, SIGTERM or SIGHUP calls `on_stop` with the signal's
// number, later, from the event loop of `context`'s thread; never inside the
// handler. While signals come faster than the loop reads them, those beyond the
// pipe's capacity are dropped: one stop pending is as good as many. When `context`
// goes, the three signals get their default handling back. A later call replaces
// the earlier one. False, with the default handling kept, when no pipe can be made.
bool WatchStopSignals(QObject& context, std::function<void(int signal)> on_stop);

// "SIGINT", "SIGTERM" or "SIGHUP" (the watched signals).
const char* StopSignalName(int signal);
