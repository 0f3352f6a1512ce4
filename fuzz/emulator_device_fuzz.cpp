// Fuzzes the emulated device (TEmulatedDevice) with arbitrary host bytes in pieces,
// at arbitrary times, under fault rules that are parsed from the input or taken
// from a list. Invariants: no reply holds a zero byte (the network cuts a piece
// there); no reply is held back for ever; a chattering device's noise is bounded;
// and whatever the session did, the state it would save loads back into a fresh
// device and saves again to the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <unordered_set>

#include "emulator/emulated_device.h"

// Every input builds a device of 1.8 MiB: with the default quarantine of 256 MiB,
// each one lands on fresh pages and the run slows tenfold. Freed memory is still
// held back long enough (4 MiB, two devices) to catch a use after free within an
// input.
#define QELT_FUZZ_ASAN_OPTIONS "quarantine_size_mb=4"
#include "fuzz/fuzz_support.h"  // after the define

namespace {

// Rules that parse, so that the faults are reached even when the input's own
// rule texts do not.
const char* const kRules[] = {
    "resend,rate=30",
    "split",
    "garbage,rate=20",
    "delay,cmd=M,ms=500",
    "hang,cmd=P8,skip=2",
    "chatter,cmd=T,skip=1",
    "unknown,cmd=T",
    "capture-checksum",
    "verify-fail,mem=jtag8",
    "write-fail,skip=3",
    "erase-fail",
    "read-fail,count=1",
    "split,size=1",
    "garbage,bytes=4096,count=1",
};

TDeviceConfig ConfigFrom(FuzzedDataProvider& in) {
  TDeviceConfig config;
  const int boot_types[] = {37, 27, 0};
  config.BootType = in.PickValueInArray(boot_types);
  config.Silent = in.ConsumeIntegralInRange(0, 7) == 0;
  const auto absent = in.ConsumeIntegral<uint8_t>();
  for (size_t i = 0; i < 6; ++i) config.CardPresent[i] = (absent >> i & 1) == 0;
  config.Faults.Seed = in.ConsumeIntegral<uint64_t>();
  const int rules = in.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < rules; ++i) {
    const std::string text = in.ConsumeBool() ? std::string(in.PickValueInArray(kRules))
                                              : in.ConsumeRandomLengthString(40);
    TFaultRule rule;
    std::string error;
    if (ParseFaultRule(text, rule, error)) {
      config.Faults.Rules.push_back(rule);
    } else {
      FUZZ_REQUIRE(!error.empty(), "a refused rule says why");
    }
  }
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TEmulatedDevice device(ConfigFrom(in));
  uint32_t now = in.ConsumeIntegral<uint32_t>();
  for (int i = 0; i < 64 && in.remaining_bytes() > 0; ++i) {
    device.Receive(in.ConsumeRandomLengthString(300), now);
    now += in.ConsumeIntegralInRange<uint32_t>(0, 3000);
    std::string out;
    if (in.ConsumeBool()) {
      out = device.TakeOutput(now);
    } else {
      for (const std::string& piece : device.TakeOutputPieces(now)) {
        FUZZ_REQUIRE(!piece.empty(), "no empty piece");
        out += piece;
      }
    }
    FUZZ_REQUIRE(out.find('\0') == std::string::npos, "no reply holds a zero byte");
  }
  // Every delay ends (the longest is 2^32 - 1 ms, and delays do not add up beyond
  // what came before them): nothing waits once its time has come.
  for (int i = 0; i < 4; ++i) device.TakeOutput(now += 0x7FFFFFFF);
  if (device.Chattering()) {
    FUZZ_REQUIRE(device.TakeOutput(now).empty(), "a chattering device sends nothing in no time");
    FUZZ_REQUIRE(device.TakeOutput(now + 20).size() <= TEmulatedDevice::kMaxChatter,
                 "a chattering device's noise is bounded");
  } else {
    FUZZ_REQUIRE(!device.NextReleaseTime(), "nothing is held back for ever");
  }

  // Loading a text into `fresh` and saving it again depends on that text alone (a
  // load replaces all of its state): a text already checked is not checked again.
  // Most sessions leave the state a new device with their cards had.
  static TEmulatedDevice fresh;
  static std::unordered_set<std::string> checked;
  const std::string saved = device.SaveStateText();
  if (checked.count(saved) != 0) return 0;
  std::string error;
  FUZZ_REQUIRE(fresh.LoadStateText(saved, &error), "a saved state loads back");
  FUZZ_REQUIRE(fresh.SaveStateText() == saved, "a loaded state saves the same text");
  if (checked.size() >= 1024) checked.clear();  // about 6 MiB of texts at most
  checked.insert(saved);
  return 0;
}
