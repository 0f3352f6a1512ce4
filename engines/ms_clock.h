// The millisecond clock the engines read (the card supervisor's "wait", the JTAG
// engine's pause before an Effect file) and the sequencer's watchdogs. Injected so
// that tests advance time by hand and never sleep.
#pragma once

#include <cstdint>

class TMsClock {
 public:
  virtual ~TMsClock() = default;
  // Milliseconds since an arbitrary origin; wraps at 2^32 like a tick counter.
  virtual uint32_t TickCount() = 0;
};

// The real monotonic clock, shared by everything that is not given another one.
TMsClock& SystemClock();

// A clock that only moves when told to. For tests and simulations.
class TFakeClock : public TMsClock {
 public:
  uint32_t TickCount() override { return now_; }
  void Advance(uint32_t ms) { now_ += ms; }
  void Set(uint32_t ms) { now_ = ms; }

 private:
  uint32_t now_ = 1000;  // not zero, so "time 0" bugs show up
};
