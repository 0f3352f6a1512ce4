// Fuzzes the card supervisor engine (TInstCrt) with arbitrary device replies in
// pieces after each of its keywords, and damaged lines (see engine_driver.h for
// the invariants).
#include "engines/inst_crt.h"
#include "fuzz/engine_driver.h"

namespace {

const TEngineRules<TInstCrt>& Rules() {
  static const TEngineRules<TInstCrt> rules = [] {
    TEngineRules<TInstCrt> r;
    r.Instructions = {"prompt Insert the card",
                      "wait 500",
                      "RS",
                      "NP",
                      "FI",
                      "V8 0102",
                      "T8 0102",
                      "UV 9 0200",
                      "Q0",
                      "Z0",
                      "FY",
                      "M1",
                      "FU",
                      "L0",
                      "wait x",
                      "M",
                      "V8",
                      "MX",
                      "T0 0214",
                      "junk"};
    r.StateCount = static_cast<int>(TInstCrt::TCrtState::CRT_ERROR) + 1;
    r.AtRest = [](const TInstCrt& e) {
      using S = TInstCrt::TCrtState;
      return e.State() == S::CRT_IDLE || e.State() == S::CRT_ERROR;
    };
    return r;
  }();
  return rules;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TFakeClock clock;
  TInstCrt engine(clock);
  TEngineDriver<TInstCrt>(engine, clock, Rules()).Run(in);
  return 0;
}
