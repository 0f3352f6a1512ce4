#include "engines/ms_clock.h"

#include <chrono>

namespace {
class TSteadyClock : public TMsClock {
 public:
  uint32_t TickCount() override {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
  }
};
}  // namespace

TMsClock& SystemClock() {
  static TSteadyClock clock;
  return clock;
}
