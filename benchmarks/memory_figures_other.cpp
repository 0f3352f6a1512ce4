// Systems without /proc: the figures are unavailable and the benchmarks report -1.
#include "benchmarks/memory_figures.h"

TMemFigures ReadMemFigures() { return {}; }

bool ResetPeakMemory() { return false; }
