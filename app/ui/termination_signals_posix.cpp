// POSIX: SIGINT, SIGTERM and SIGHUP reach the event loop through the shared
// self-pipe (platform/stop_signals_posix.h), which quits the application there.
#include <QCoreApplication>

#include "app/ui/termination_signals.h"
#include "platform/stop_signals_posix.h"

void QuitOnTerminationSignals(QCoreApplication& app) {
  // Without a pipe the default handling stays: the signal ends the program at once.
  WatchStopSignals(app, [](int) { QCoreApplication::quit(); });
}
