// Fuzzes the emulated device's state file loader (TEmulatedDevice::LoadStateText)
// with arbitrary text. Invariants: a refused file changes nothing and names its
// line; a loaded one saves a text that loads again and saves the same text.
#include <cstdint>
#include <string>

#include "emulator/emulated_device.h"
#include "fuzz/fuzz_support.h"

// Every input builds devices of 1.8 MiB each: with the default quarantine of
// 256 MiB, each one lands on fresh pages and the run slows tenfold. Freed memory is
// still held back long enough to catch a use after free within an input.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TEmulatedDevice device;
  const std::string before = device.SaveStateText();
  std::string error;
  if (!device.LoadStateText(text, &error)) {
    FUZZ_REQUIRE(error.rfind("line ", 0) == 0, "a refusal names the line at fault");
    FUZZ_REQUIRE(device.SaveStateText() == before, "a refused file changes nothing");
    return 0;
  }
  const std::string saved = device.SaveStateText();
  TEmulatedDevice again;
  FUZZ_REQUIRE(again.LoadStateText(saved, &error), "a saved state loads back");
  FUZZ_REQUIRE(again.SaveStateText() == saved, "a loaded state saves the same text");
  return 0;
}
