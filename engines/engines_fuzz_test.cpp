// Random device replies against every engine: each run offers an instruction, then
// interleaves Steps with random text (raw bytes and fragments of real replies) and
// random clock advances, for a bounded number of steps. The engines must never
// crash (the sanitizers watch), must keep Busy consistent with their events, and
// every engine must pass through every one of its states.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engines/inst_crt.h"
#include "engines/ms_clock.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/testing/test_owner.h"
#include "testing/temp_dir.h"

namespace {

constexpr int kRunsPerEngine = 600;
constexpr int kStepsPerRun = 160;

// Fragments of real replies, so that random text also walks the happy paths.
const std::vector<std::string> kFragments = {
    ".",
    ".",
    ".",
    ".",
    "X",
    "R",
    "I",
    "\x1b.",
    "\x1b",
    "\x1b\x1b",
    "\x1b"
    "0",
    "4A.",
    "5A5A\x1b.",
    "CDAB78\x1b.",
    "771289\x1b.",
    "040302010D0C0B0A81706F5E4D3C2B1A.",
    "0123",
    "FFFF",
    "37",
    "27",
    "SYN",
    "\r\n",
};

class TRandomDevice {
 public:
  explicit TRandomDevice(uint32_t seed) : random_(seed) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  // A random reply chunk: mostly fragments, sometimes raw bytes of any value.
  std::string Chunk() {
    if (Below(4) != 0)
      return kFragments[static_cast<size_t>(Below(static_cast<int>(kFragments.size())))];
    std::string bytes;
    const int n = 1 + Below(8);
    for (int i = 0; i < n; ++i) bytes += static_cast<char>(Below(256));
    return bytes;
  }

 private:
  std::mt19937 random_;
};

// Drives `engine` through kRunsPerEngine random runs, adding every state it is in
// to `seen`. Before every Step the engine must not be busy in its idle state (the
// first) or its error state (`error`, the last), and `at_rest` (the engine's own
// checks for those two states) must hold there.
template <class Engine, class AtRest>
void FuzzEngine(Engine& engine, TFakeClock& clock, const std::vector<std::string>& instructions,
                uint32_t seed, decltype(engine.State()) error, AtRest at_rest,
                std::set<decltype(engine.State())>& seen) {
  TTestOwner owner;
  owner.Attach(engine);
  TRandomDevice device(seed);
  for (int run = 0; run < kRunsPerEngine; ++run) {
    engine.ResetEngine();  // raises no OnChangeBusy: the owner forgets on its own
    owner.busy = false;
    owner.RxBuffer.clear();
    owner.ClearLogs();
    engine.UpdateAllowed = device.Below(8) != 0;
    engine.Instruction =
        instructions[static_cast<size_t>(device.Below(static_cast<int>(instructions.size())))];
    engine.Step();
    for (int step = 0; step < kStepsPerRun; ++step) {
      if (device.Below(2) == 0) owner.Reply(device.Chunk());
      if (device.Below(10) == 0) owner.RxBuffer.clear();  // a link that lost text
      clock.Advance(static_cast<uint32_t>(device.Below(700)));
      seen.insert(engine.State());
      if (engine.State() == decltype(error){} || engine.State() == error) {
        ASSERT_FALSE(engine.Busy) << "run " << run << " step " << step;
        at_rest();
      }
      engine.Step();
      ASSERT_EQ(owner.busy, engine.Busy) << "run " << run << " step " << step;
      ASSERT_LE(engine.ErrorCount, 301);
      if (owner.Wire.size() > 100000) owner.ClearLogs();
    }
  }
}

class EnginesFuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("image.hex", ":020000001234B8\r\n:02800000AA557F\r\n:00000001FF\r\n");
    dir.Write("low.hex", ":020000001234B8\r\n:00000001FF\r\n");
    dir.Write("high.hex", ":02800000AA557F\r\n:00000001FF\r\n");
    dir.Write("boot.hex", ":02400000123478\r\n:00000001FF\r\n");
    dir.Write("empty.hex", "");
    dir.Write("comments.eff", "// only comments\r\nTRST OFF;\r\n");
    dir.Write("tdo.eff", "SDR 8 TDI (00) TDO (5A);\r\nENDIR IDLE;\r\n");
    dir.Write("long.eff",
              "SDR 16 TDI (1234) TDO (ABCD);\r\nSDR 16 TDI (0000) TDO (1234) "
              "MASK (FF00);\r\n");
    dir.Write("raw.eff", "SDR 16 TDI (1234);\r\nSIR 8 TDI (FE);\r\n");
    dir.Write("bad.eff", "ENDIR IDLE;\r\nBOGUS;\r\n");
    dir.Write("empty.eff", "");
  }

  // Fuzzes `engine` in the test folder; it must pass through every one of its
  // states, the error state `error` being the last.
  template <class Engine, class AtRest>
  void FuzzEveryState(Engine& engine, const std::vector<std::string>& instructions, uint32_t seed,
                      decltype(engine.State()) error, AtRest at_rest) {
    engine.CurentDir = dir.Dir();
    std::set<decltype(engine.State())> seen;
    FuzzEngine(engine, clock, instructions, seed, error, at_rest, seen);
    EXPECT_EQ(seen.size(), static_cast<size_t>(error) + 1);
  }

  TTempDir dir;
  TFakeClock clock;
};

TEST_F(EnginesFuzzTest, BankFlashEngineSurvivesRandomRepliesInEveryState) {
  TProgPsd engine;
  const std::vector<std::string> instructions = {
      "P3 high.hex",  "P0 low.hex", "P5 empty.hex", "P1 missing.hex", "PE image.hex",
      "PE empty.hex", "D2",         "F7",           "P8 image.hex",   "junk"};
  FuzzEveryState(engine, instructions, 1234, TProgPsd::TPsdState::PSD_ERROR,
                 [&] { ASSERT_TRUE(engine.Lines.empty()); });
}

TEST_F(EnginesFuzzTest, JtagEngineSurvivesRandomRepliesInEveryState) {
  TProgJtag engine(clock);
  const std::vector<std::string> instructions = {
      "P8 comments.eff", "P9 tdo.eff", "PA long.eff", "PC raw.eff", "P8 bad.eff",   "P8 empty.eff",
      "P8 missing.eff",  "D8",         "DC",          "F9",         "P3 image.hex", "junk"};
  FuzzEveryState(engine, instructions, 5678, TProgJtag::TJtagState::JTAG_ERROR,
                 [&] { ASSERT_FALSE(engine.EffectFileOpen()); });
}

TEST_F(EnginesFuzzTest, BootLoaderEngineSurvivesRandomRepliesInEveryState) {
  TProgBoot engine;
  const std::vector<std::string> instructions = {
      "SYN", "PB boot.hex", "PB boot.hex 1234", "PB empty.hex", "PB missing.hex", "junk"};
  FuzzEveryState(engine, instructions, 91011, TProgBoot::TBootState::BOOT_ERROR,
                 [&] { ASSERT_TRUE(engine.Lines.empty()); });
}

TEST_F(EnginesFuzzTest, CardSupervisorEngineSurvivesRandomRepliesInEveryState) {
  TInstCrt engine(clock);
  const std::vector<std::string> instructions = {"prompt Insert the card",
                                                 "wait 500",
                                                 "RS",
                                                 "NP",
                                                 "FI",
                                                 "V8 0102",
                                                 "T8 0102",
                                                 "UV 1234",
                                                 "Q0",
                                                 "Z0",
                                                 "FY",
                                                 "M1",
                                                 "FU",
                                                 "L0",
                                                 "wait x",
                                                 "M",
                                                 "junk"};
  FuzzEveryState(engine, instructions, 121314, TInstCrt::TCrtState::CRT_ERROR, [] {});
}

}  // namespace
