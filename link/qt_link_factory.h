// Builds the device link on Qt's serial port and Qt Network sockets. Used by the
// main window at start-up. Must be called on the thread running the Qt event loop
// (a QCoreApplication must exist); the link then lives and works on that thread.
#pragma once

#include <memory>

#include "link/com_driver.h"

// A TComDriver whose serial, UDP and TCP transports are the Qt adapters.
std::unique_ptr<TComDriver> CreateQtComDriver();
