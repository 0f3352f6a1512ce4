// Fuzzes the bank flash engine (TProgPsd) with arbitrary device replies in pieces
// after bank, "PE", identifier and closing lines (see engine_driver.h for the
// invariants).
#include "engines/prog_psd.h"
#include "fuzz/engine_driver.h"

namespace {

const TEngineRules<TProgPsd>& Rules() {
  static const TEngineRules<TProgPsd> rules = [] {
    const TTempDir& folder = FuzzFolder();
    folder.Write("bank.hex", ":0380000011223317\r\n:0200000000FFFF\r\n:00000001FF\r\n");
    folder.Write("edid.hex", ":0400000000FFFFFFFF\r\n:00000001FF\r\n");
    folder.Write("empty.hex", "");
    folder.Write("text.hex", ":0380000011223317\r\nnot a record\r\n");
    TEngineRules<TProgPsd> r;
    r.Instructions = {"P3 bank.hex", "P0 bank.hex", "P5 empty.hex", "P1 missing.hex",
                      "P2 text.hex", "PE edid.hex", "PE empty.hex", "PE text.hex",
                      "D2",          "F7",          "P8 bank.hex",  "P"};
    r.StateCount = static_cast<int>(TProgPsd::TPsdState::PSD_ERROR) + 1;
    r.AtRest = [](const TProgPsd& e) {
      using S = TProgPsd::TPsdState;
      return (e.State() == S::PSD_IDLE || e.State() == S::PSD_ERROR) && e.Lines.empty();
    };
    r.Settling = [](const TProgPsd& e) { return e.State() == TProgPsd::TPsdState::PSD_DONE; };
    return r;
  }();
  return rules;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TFakeClock clock;
  TProgPsd engine;
  TEngineDriver<TProgPsd>(engine, clock, Rules()).Run(in);
  return 0;
}
