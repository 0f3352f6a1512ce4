// Line counters of a real serial device turned into the port's events.
#include "link/serial_lines.h"

#include <gtest/gtest.h>

#include "link/transport.h"

namespace {

TEST(SerialLines, EachChangedCounterBecomesItsEvent) {
  struct Case {
    uint32_t TLineCounters::*field;
    uint32_t event;
  };
  const Case cases[] = {
      {&TLineCounters::cts, kEvCts},
      {&TLineCounters::dsr, kEvDsr},
      {&TLineCounters::rlsd, kEvRlsd},
      {&TLineCounters::ring, kEvRing},
      {&TLineCounters::frame, kEvLineErr},
      {&TLineCounters::overrun, kEvLineErr},
      {&TLineCounters::parity, kEvLineErr},
      {&TLineCounters::brk, kEvLineErr},
      {&TLineCounters::bufOverrun, kEvLineErr},
  };
  for (const Case& c : cases) {
    TLineCounters before;
    before.*c.field = 0xFFFFFFFFu;
    TLineCounters after = before;
    after.*c.field = 0;  // a counter that wrapped still counts as a change
    EXPECT_EQ(LineEventsBetween(before, after), c.event);
  }
  TLineCounters same;
  same.cts = 3;
  EXPECT_EQ(LineEventsBetween(same, same), 0u);
  TLineCounters all;
  all.cts = all.dsr = all.rlsd = all.ring = all.parity = 1;
  EXPECT_EQ(LineEventsBetween(TLineCounters{}, all),
            kEvCts | kEvDsr | kEvRlsd | kEvRing | kEvLineErr);
}

}  // namespace
