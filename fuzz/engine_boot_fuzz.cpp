// Fuzzes the boot-loader engine (TProgBoot) with arbitrary device replies in pieces
// after "SYN" and "PB" lines (see engine_driver.h for the invariants). Its
// synchronisation keeps sending "%" whatever noise comes: the device's "." or the
// operator's STOP ends it.
#include "engines/prog_boot.h"
#include "fuzz/engine_driver.h"

namespace {

const TEngineRules<TProgBoot>& Rules() {
  static const TEngineRules<TProgBoot> rules = [] {
    const TTempDir& folder = FuzzFolder();
    folder.Write("boot.hex", ":0440000001020304B2\r\n:02500000AA55AF\r\n:00000001FF\r\n");
    folder.Write("empty.hex", "");
    folder.Write("text.hex", ":0440000001020304B2\r\nnot a record\r\n");
    TEngineRules<TProgBoot> r;
    r.Instructions = {"SYN",         "PB boot.hex",    "PB boot.hex 1234", "PB empty.hex",
                      "PB text.hex", "PB missing.hex", "P B boot.hex",     "SYNC"};
    r.StateCount = static_cast<int>(TProgBoot::TBootState::BOOT_ERROR) + 1;
    r.AtRest = [](const TProgBoot& e) {
      using S = TProgBoot::TBootState;
      return (e.State() == S::BOOT_IDLE || e.State() == S::BOOT_ERROR) && e.Lines.empty();
    };
    r.WaitsOnNoise = [](const TProgBoot& e) {
      using S = TProgBoot::TBootState;
      return e.State() == S::BOOT_SYNC_SEND || e.State() == S::BOOT_SYNC_WAIT;
    };
    return r;
  }();
  return rules;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TFakeClock clock;
  TProgBoot engine;
  TEngineDriver<TProgBoot>(engine, clock, Rules()).Run(in);
  return 0;
}
