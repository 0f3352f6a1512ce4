// Memory figures of the running process for the benchmarks: the resident set now
// and its peak (high-water mark), and a way to restart the peak so one measured
// run's own peak can be read. Linux reads /proc/self; elsewhere the figures are
// unavailable (-1). Benchmarks only; single-threaded.
#pragma once

#include <string_view>

struct TMemFigures {
  long RssKiB = -1;  // resident set now ("VmRSS"), -1 when unknown
  long HwmKiB = -1;  // peak resident set ("VmHWM"), -1 when unknown
};

// Reads "VmRSS:" and "VmHWM:" lines ("VmHWM:\t   13648 kB") out of a process
// status text. A figure whose line is missing or malformed stays -1. False when
// neither was found.
bool ParseMemFigures(std::string_view status_text, TMemFigures& figures);

// The figures of this process now.
TMemFigures ReadMemFigures();

// Restarts the peak at the current resident set. False where the system cannot.
bool ResetPeakMemory();
