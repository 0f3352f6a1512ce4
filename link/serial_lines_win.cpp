// Windows: this backend reads no line counters there, so modem-line and line-error
// notifications are not raised on that platform.
#include "link/serial_lines.h"

bool ReadLineCounters(intptr_t, TLineCounters&) { return false; }
bool ReadModemStatus(intptr_t, uint32_t&) { return false; }
