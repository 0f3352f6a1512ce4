// Windows: this backend reads no line counters there, so modem-line and line-error
// notifications are not raised on that platform. Low latency is an adapter setting
// in the device manager there (see the README), not a request at opening.
#include "link/serial_lines.h"

bool ReadLineCounters(intptr_t, TLineCounters&) { return false; }
bool ReadModemStatus(intptr_t, uint32_t&) { return false; }
TLowLatency AskLowLatency(intptr_t) { return TLowLatency::LL_NOT_ASKED; }
