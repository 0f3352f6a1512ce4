// Linux: the figures come from /proc/self/status; writing "5" to
// /proc/self/clear_refs restarts the peak (VmHWM) at the current resident set.
#include <fstream>
#include <sstream>

#include "benchmarks/memory_figures.h"

TMemFigures ReadMemFigures() {
  TMemFigures figures;
  std::ifstream in("/proc/self/status");
  if (!in) return figures;
  std::ostringstream text;
  text << in.rdbuf();
  ParseMemFigures(text.str(), figures);
  return figures;
}

bool ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  if (!out) return false;
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}
