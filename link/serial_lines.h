// Modem lines and line errors of a real serial device, as the kernel counts them.
// The Qt serial backend reads the counters at every receive event and on a short
// timer, and turns the differences into the port's kEv* events. Devices that keep
// no counters (pseudo-terminals, most USB adapters) simply report nothing.
#pragma once

#include <cstdint>

#include "link/transport.h"

// Transition counters of the modem lines and counts of line errors.
struct TLineCounters {
  uint32_t cts = 0, dsr = 0, ring = 0, rlsd = 0;                         // line transitions
  uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;  // errors
};

// kEv* mask of everything that changed between two readings (counters may wrap).
uint32_t LineEventsBetween(const TLineCounters& before, const TLineCounters& after);

// Platform side (serial_lines_posix.cpp): `handle` is the open device's descriptor.
// Both return false when the device does not offer the information.
bool ReadLineCounters(intptr_t handle, TLineCounters& counters);
bool ReadModemStatus(intptr_t handle, uint32_t& status);  // kSt* bits

// Asks the driver of the open device `handle` to hand each received byte over at
// once instead of gathering bytes for a few milliseconds (Linux: ASYNC_LOW_LATENCY).
// LL_REFUSED when the driver does not take the request (pseudo-terminals, some USB
// adapters); LL_NOT_ASKED where the platform has no such request.
TLowLatency AskLowLatency(intptr_t handle);
