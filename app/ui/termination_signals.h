// Ends the event loop in an orderly way when the system asks the program to stop
// (SIGINT, SIGTERM, SIGHUP on POSIX), so the window's closing work (timer stopped,
// settings saved, link closed) still runs. Called once by the program's main after
// the QApplication exists; a no-op where the platform has no such signals.
#pragma once

class QCoreApplication;

// Installs the handlers; each such signal then makes `app` quit from its event loop.
void QuitOnTerminationSignals(QCoreApplication& app);
