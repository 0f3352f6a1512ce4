// Fuzzes the JTAG engine (TProgJtag) with arbitrary device replies in pieces after
// identifier, playback and closing lines, the playbacks covering short and long
// SDRs, captured data with and without MASK, comments and a line that is no
// statement (see engine_driver.h for the invariants). At rest no Effect file is
// left open.
#include "engines/prog_jtag.h"
#include "fuzz/engine_driver.h"

namespace {

const TEngineRules<TProgJtag>& Rules() {
  static const TEngineRules<TProgJtag> rules = [] {
    const TTempDir& folder = FuzzFolder();
    folder.Write("idcode.eff",
                 "TRST OFF;\r\nENDIR IDLE;\r\nSTATE RESET IDLE;\r\nSIR 8 TDI (01);\r\n"
                 "SDR 32 TDI (00000000) TDO (1A5C80FF) MASK (0FFFFFFF);\r\nRUNTEST 100 TCK;\r\n");
    folder.Write("long.eff",
                 "SDR 16 TDI (1234) TDO (ABCD);\r\nSDR 16 TDI (0000) TDO (1234) MASK (FF00);\r\n");
    folder.Write("raw.eff", "SDR 32 TDI (12345678);\r\nSIR 8 TDI (FE);\r\n");
    folder.Write("comments.eff", "// only comments\r\nTRST OFF;\r\nSTATE IDLE\r\n");
    folder.Write("bad.eff", "ENDIR IDLE;\r\nFREQUENCY 1E6 HZ;\r\n");
    folder.Write("empty.eff", "");
    TEngineRules<TProgJtag> r;
    r.Instructions = {"P8 idcode.eff",
                      "P9 long.eff",
                      "PA raw.eff",
                      "PC comments.eff",
                      "P8 bad.eff",
                      "P8 empty.eff",
                      "P8 missing.eff",
                      "D8",
                      "DC",
                      "F9",
                      "P3 idcode.eff",
                      "D"};
    r.StateCount = static_cast<int>(TProgJtag::TJtagState::JTAG_ERROR) + 1;
    r.AtRest = [](const TProgJtag& e) {
      using S = TProgJtag::TJtagState;
      return (e.State() == S::JTAG_IDLE || e.State() == S::JTAG_ERROR) && !e.EffectFileOpen();
    };
    r.Settling = [](const TProgJtag& e) { return e.State() == TProgJtag::TJtagState::JTAG_DONE; };
    return r;
  }();
  return rules;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TFakeClock clock;
  TProgJtag engine(clock);
  TEngineDriver<TProgJtag>(engine, clock, Rules()).Run(in);
  return 0;
}
