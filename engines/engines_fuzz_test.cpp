// Random device replies against every engine: each run offers an instruction, then
// interleaves Steps with random text (raw bytes and fragments of real replies) and
// random clock advances, for a bounded number of steps. The engines must never
// crash (the sanitizers watch), must keep Busy consistent with their events, and
// every engine must pass through every one of its states. Then the stalls fuzzing
// found, each pinned, and a long stream of random bytes that must leave the
// buffers bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engines/inst_crt.h"
#include "engines/ms_clock.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/testing/engine_harness.h"
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

// One unexpected reply in front of a waiting engine's input once stalled it for
// good (nothing consumed it, and every later byte piled up behind it). Each case:
// the instruction, the replies that reach the waiting state, the reply that
// stalled it, then a good reply, which must now be taken: the stalling text is
// dropped as noise and counted.
struct TStallCase {
  std::string line;
  std::vector<std::string> before;
  std::string stall;
  std::string good;
  std::vector<std::string> events;  // from the good reply on
};

template <class Engine>
void CheckStall(Engine& engine, TTestOwner& owner, const TStallCase& c) {
  SCOPED_TRACE(c.line + " answered \"" + c.stall + "\"");
  engine.UpdateAllowed = true;
  engine.Instruction = c.line;
  engine.Step();
  ASSERT_TRUE(engine.Busy);
  engine.Step();
  for (const std::string& reply : c.before) {
    owner.Reply(reply);
    engine.Step();
  }
  owner.Reply(c.stall);
  for (int i = 0; i < 3; ++i) engine.Step();
  EXPECT_EQ(owner.RxBuffer, "");
  EXPECT_EQ(engine.NoiseCount(), c.stall.size());
  owner.ClearLogs();
  owner.Reply(c.good);
  for (int i = 0; i < 3; ++i) engine.Step();
  EXPECT_EQ(owner.Events, c.events);
}

TEST_F(EnginesFuzzTest, OneUnexpectedReplyNoLongerStallsAWaitingEngine) {
  {
    TProgBoot engine;
    TTestOwner owner;
    owner.Attach(engine);
    engine.CurentDir = dir.Dir();
    CheckStall(engine, owner, {"PB boot.hex", {}, "Z", ".", {"info:Erase Extended Boot"}});
  }
  {
    TProgPsd engine;
    TTestOwner owner;
    owner.Attach(engine);
    CheckStall(engine, owner, {"D2", {"."}, "4.", "4A.", {"info:ID Number : 4A", "busy:0"}});
  }
  {
    TInstCrt engine(clock);
    TTestOwner owner;
    owner.Attach(engine);
    CheckStall(engine, owner, {"T8 0102", {"."}, "01.", "0102.", {"step", "busy:0"}});
  }
  {
    TProgJtag engine(clock);
    TTestOwner owner;
    owner.Attach(engine);
    CheckStall(engine, owner,
               {"D8",
                {"."},
                ".",
                "FFFFFFFFFF80C51A.",
                {"info:ID Number : [1AC580FF][FFFFFFFF]", "busy:0"}});
  }
}

// The boot loader dropped leading dots one at a time, each a copy of the whole
// buffer. A run of them now goes in one drop: within the noise limit the reply
// behind it is read in the same Step; 200,000 of them end the operation with the
// noise-limit message, in one Step too (the reply lies beyond the input cap, so it
// counts with them).
TEST_F(EnginesFuzzTest, ARunOfDotsBeforeTheIdentificationGoesInOneStep) {
  for (const size_t dots : {size_t{4000}, size_t{200000}}) {
    SCOPED_TRACE(dots);
    TEngineHarness<TProgBoot> h;
    h.Offer("SYN");
    h.Pump();
    h.Answer(".");
    h.Answer(".");
    h.TakeEvents();
    int changes = 0;
    h.engine.OnChangeBufIn = [&](TGestionnaire* s) {
      h.owner.RxBuffer = s->BufIn;
      ++changes;
    };
    h.Answer(std::string(dots, '.') + "6A5C01A7.");
    EXPECT_LE(changes, 2);  // the dots in one drop, the reply in one clear
    EXPECT_EQ(h.owner.RxBuffer, "");
    if (dots <= TGestionnaire::kNoiseLimit) {
      h.ExpectEvents({"info:Boot Checksum : 0A5C", "info:Device ID : 01A7", "id:423"});
    } else {
      h.ExpectError(
          "The device sent 200009 unexpected bytes while waiting for the boot "
          "checksum and device identifier: \"...................\"");
    }
  }
}

// A device that streams random bytes for a long time: the operations come and go
// (each is offered again as soon as it ends) and the buffers stay bounded: BufIn
// always, the owner's buffer after every Step that pulled input (between pulls it
// grows with what arrives; bounding that is the owner's part). Memory over time is
// measured by the benchmarks.
template <class Engine>
void StreamRandomBytes(Engine& engine, const std::vector<std::string>& lines, uint32_t seed,
                       TFakeClock& clock) {
  constexpr size_t kStreamBytes = 2 << 20;
  constexpr int kLongestPiece = 512;
  TTestOwner owner;
  owner.Attach(engine);
  bool pulled = false;
  engine.OnReceive = [&](TGestionnaire* s) {
    pulled = true;
    s->BufIn = owner.RxBuffer;
  };
  std::mt19937 random(seed);
  size_t sent = 0;
  size_t longest = 0;
  int operations = 0;
  while (sent < kStreamBytes) {
    if (!engine.Busy) {
      engine.ResetEngine();
      engine.UpdateAllowed = true;
      engine.Instruction = lines[static_cast<size_t>(operations++) % lines.size()];
    }
    std::string piece(1 + random() % kLongestPiece, '\0');
    for (char& c : piece) c = static_cast<char>(random());
    owner.Reply(piece);
    sent += piece.size();
    clock.Advance(10);
    pulled = false;
    engine.Step();
    ASSERT_LE(engine.BufIn.size(), TGestionnaire::kInputCap);
    if (pulled) {
      ASSERT_LE(owner.RxBuffer.size(), TGestionnaire::kInputCap);
      longest = std::max(longest, owner.RxBuffer.size());
    }
    owner.ClearLogs();
  }
  EXPECT_GT(operations, 10);
  ::testing::Test::RecordProperty("longest_rx_buffer", static_cast<int>(longest));
}

TEST_F(EnginesFuzzTest, AStreamOfRandomBytesLeavesTheBuffersBounded) {
  TProgBoot boot;
  boot.CurentDir = dir.Dir();
  StreamRandomBytes(boot, {"SYN", "PB boot.hex"}, 1, clock);
  TProgPsd psd;
  psd.CurentDir = dir.Dir();
  StreamRandomBytes(psd, {"P3 image.hex", "D2", "PE image.hex", "F1"}, 2, clock);
  TInstCrt crt(clock);
  StreamRandomBytes(crt, {"T8 0102", "V8 0102", "M1", "RS"}, 3, clock);
  TProgJtag jtag(clock);
  jtag.CurentDir = dir.Dir();
  StreamRandomBytes(jtag, {"D8", "P9 tdo.eff", "PA long.eff", "PC raw.eff"}, 4, clock);
}

}  // namespace
