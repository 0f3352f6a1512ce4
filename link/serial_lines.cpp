#include "link/serial_lines.h"

#include "link/transport.h"

uint32_t LineEventsBetween(const TLineCounters& a, const TLineCounters& b) {
  uint32_t mask = 0;
  if (a.cts != b.cts) mask |= kEvCts;
  if (a.dsr != b.dsr) mask |= kEvDsr;
  if (a.rlsd != b.rlsd) mask |= kEvRlsd;
  if (a.ring != b.ring) mask |= kEvRing;
  if (a.frame != b.frame || a.overrun != b.overrun || a.parity != b.parity || a.brk != b.brk ||
      a.bufOverrun != b.bufOverrun) {
    mask |= kEvLineErr;
  }
  return mask;
}
