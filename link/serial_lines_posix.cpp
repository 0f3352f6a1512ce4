// Linux keeps per-port interrupt counters (TIOCGICOUNT) for real UARTs; other
// POSIX systems and pseudo-terminals answer with an error, which means "none".
// Linux also offers low latency per port (TIOCGSERIAL/TIOCSSERIAL).
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

TLowLatency AskLowLatency(intptr_t handle) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
  serial_struct info{};
  const int fd = static_cast<int>(handle);
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return TLowLatency::LL_REFUSED;
  if (info.flags & ASYNC_LOW_LATENCY) return TLowLatency::LL_ON;
  info.flags |= ASYNC_LOW_LATENCY;
  if (ioctl(fd, TIOCSSERIAL, &info) != 0) return TLowLatency::LL_REFUSED;
  // Some drivers take the call and ignore the flag: believe only what reads back.
  serial_struct check{};
  if (ioctl(fd, TIOCGSERIAL, &check) != 0 || !(check.flags & ASYNC_LOW_LATENCY)) {
    return TLowLatency::LL_REFUSED;
  }
  return TLowLatency::LL_ON;
#else
  (void)handle;
  return TLowLatency::LL_NOT_ASKED;
#endif
}
