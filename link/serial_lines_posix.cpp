// Linux keeps per-port interrupt counters (TIOCGICOUNT) for real UARTs; other
// POSIX systems and pseudo-terminals answer with an error, which means "none".
#include <sys/ioctl.h>

#include "link/serial_lines.h"
#include "link/transport.h"

#if defined(__linux__)
#include <linux/serial.h>
#endif

bool ReadLineCounters(intptr_t handle, TLineCounters& c) {
#if defined(__linux__) && defined(TIOCGICOUNT)
  serial_icounter_struct k{};
  if (ioctl(static_cast<int>(handle), TIOCGICOUNT, &k) != 0) return false;
  c.cts = static_cast<uint32_t>(k.cts);
  c.dsr = static_cast<uint32_t>(k.dsr);
  c.ring = static_cast<uint32_t>(k.rng);
  c.rlsd = static_cast<uint32_t>(k.dcd);
  c.frame = static_cast<uint32_t>(k.frame);
  c.overrun = static_cast<uint32_t>(k.overrun);
  c.parity = static_cast<uint32_t>(k.parity);
  c.brk = static_cast<uint32_t>(k.brk);
  c.bufOverrun = static_cast<uint32_t>(k.buf_overrun);
  return true;
#else
  (void)handle;
  (void)c;
  return false;
#endif
}

bool ReadModemStatus(intptr_t handle, uint32_t& status) {
  int bits = 0;
  if (ioctl(static_cast<int>(handle), TIOCMGET, &bits) != 0) return false;
  status = 0;
  if (bits & TIOCM_CTS) status |= kStCtsOn;
  if (bits & TIOCM_DSR) status |= kStDsrOn;
  if (bits & TIOCM_RNG) status |= kStRingOn;
  if (bits & TIOCM_CAR) status |= kStRlsdOn;
  return true;
}
