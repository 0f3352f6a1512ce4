// Fuzzes the emulated device's state file loader (TEmulatedDevice::LoadStateText)
// with arbitrary text. Invariants: a refused file changes nothing and names its
// line; a loaded one saves a text that loads again and saves the same text.
// The two devices of 1.8 MiB each are built once per process: a load reuses the
// device's memory, and a device that took a file is put back by loading the text
// it saved when it was new, so every input starts on a new device's state.
#include <cstdint>
#include <string>

#include "emulator/emulated_device.h"

// An input allocates well under 4 MiB: a quarantine of that size still catches a
// use after free within an input, and the default of 256 MiB would hand every
// allocation fresh memory (half the run went to page faults).
#define QELT_FUZZ_ASAN_OPTIONS "quarantine_size_mb=4"
#include "fuzz/fuzz_support.h"  // after the define

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TEmulatedDevice device;
  static TEmulatedDevice again;
  static const std::string kNew = device.SaveStateText();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (!device.LoadStateText(text, &error)) {
    FUZZ_REQUIRE(error.rfind("line ", 0) == 0, "a refusal names the line at fault");
    FUZZ_REQUIRE(device.SaveStateText() == kNew, "a refused file changes nothing");
    return 0;
  }
  const std::string saved = device.SaveStateText();
  FUZZ_REQUIRE(again.LoadStateText(saved, &error), "a saved state loads back");
  FUZZ_REQUIRE(again.SaveStateText() == saved, "a loaded state saves the same text");
  FUZZ_REQUIRE(device.LoadStateText(kNew, &error) && device.SaveStateText() == kNew,
               "a new device's state loads back");
  return 0;
}
