// Drives one programming engine the way the update sequencer does, with the
// device's replies taken from the fuzzer's input: an instruction is offered, then
// each Step follows a piece of reply text, a clock advance or the operator's STOP,
// for up to three operations. The engine harnesses (engine_*_fuzz.cpp) give the
// instructions and what "at rest" means for their engine.
// Invariants after every Step: Busy as the owner last heard it; BufIn within the
// input cap; at most 301 retransmissions counted; an engine at rest (idle or in
// error) is not busy and holds nothing of an operation. At the end, a device that
// sends nothing but noise (and time that passes) ends every operation, except in
// the states that are documented to keep waiting. Header-only; harnesses only.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <functional>
#include <string>
#include <vector>

#include "engines/gestionnaire.h"
#include "engines/ms_clock.h"
#include "engines/testing/test_owner.h"
#include "engines/text_util.h"
#include "fuzz/fuzz_support.h"

template <class Engine>
struct TEngineRules {
  std::vector<std::string> Instructions;  // script lines offered, files in FuzzFolder()
  int StateCount = 0;                     // the engine's number of states
  // True when the engine is at rest (idle or in error) and holds nothing of an
  // operation (no file lines, no open file).
  std::function<bool(const Engine&)> AtRest;
  // True in the states that keep waiting on noise by design (none by default).
  std::function<bool(const Engine&)> WaitsOnNoise = [](const Engine&) { return false; };
  // True in a state a not-busy engine may hold until its next Step, as documented
  // (after "Update Not Allowed !!!" the engine goes idle at its next Step).
  std::function<bool(const Engine&)> Settling = [](const Engine&) { return false; };
};

template <class Engine>
class TEngineDriver {
 public:
  TEngineDriver(Engine& engine, TFakeClock& clock, const TEngineRules<Engine>& rules)
      : engine_(engine), clock_(clock), rules_(rules) {
    owner_.Attach(engine_);
    engine_.CurentDir = FuzzFolder().Dir();
    FuzzContext() = [this] { return Describe(); };
  }
  ~TEngineDriver() { FuzzContext() = nullptr; }
  TEngineDriver(const TEngineDriver&) = delete;
  TEngineDriver& operator=(const TEngineDriver&) = delete;

  void Run(FuzzedDataProvider& in) {
    for (int op = 0; op < 3 && in.remaining_bytes() > 0; ++op) {
      // After an error the next run starts afresh: the sequencer resets the engines.
      if (engine_.Busy || engine_.State() != decltype(engine_.State()){}) Stop();
      engine_.UpdateAllowed = in.ConsumeBool();
      const size_t n = rules_.Instructions.size();
      engine_.Instruction = rules_.Instructions[in.ConsumeIntegralInRange<size_t>(0, n - 1)];
      StepAndCheck();
      for (int step = 0; step < 300 && engine_.Busy && in.remaining_bytes() > 0; ++step) {
        const uint8_t action = in.ConsumeIntegral<uint8_t>();
        if (action < 4) {
          Stop();
          break;
        }
        if (action < 48) {
          clock_.Advance(in.ConsumeIntegralInRange<uint32_t>(0, 1500));
        } else {
          owner_.Reply(in.ConsumeRandomLengthString(96));
        }
        StepAndCheck();
      }
    }
    EndWithNoise();
  }

 private:
  // The operator's STOP: the sequencer resets the engine (no event is raised).
  void Stop() {
    engine_.ResetEngine();
    owner_.busy = false;
    owner_.RxBuffer.clear();
    FUZZ_REQUIRE(!engine_.Busy && rules_.AtRest(engine_), "a reset engine is at rest");
  }

  void StepAndCheck() {
    engine_.Step();
    FUZZ_REQUIRE(owner_.busy == engine_.Busy, "Busy is what OnChangeBusy last said");
    FUZZ_REQUIRE(engine_.BufIn.size() <= TGestionnaire::kInputCap, "BufIn stays within its cap");
    FUZZ_REQUIRE(engine_.ErrorCount <= 301, "no retransmission past the 301st is counted");
    FUZZ_REQUIRE(static_cast<int>(engine_.State()) < rules_.StateCount, "a valid state");
    if (rules_.AtRest(engine_)) FUZZ_REQUIRE(!engine_.Busy, "an engine at rest is not busy");
    if (!engine_.Busy) {
      FUZZ_REQUIRE(rules_.AtRest(engine_) || rules_.Settling(engine_),
                   "an engine that is not busy is at rest");
    }
    if (!owner_.Events.empty() && owner_.Events.back().rfind("error:", 0) == 0) {
      FUZZ_REQUIRE(!engine_.Busy, "an error ends the operation");
    }
    if (owner_.Wire.size() > 65536) owner_.ClearLogs();
  }

  // Noise, and time, until the operation ends. Replies still waiting in the buffer
  // are taken first (up to 301 "R", each answered in two Steps); then noise past
  // the limit, and time past any pause or wait a harness offers, end it.
  void EndWithNoise() {
    for (int i = 0; i < 2000 && engine_.Busy && !rules_.WaitsOnNoise(engine_); ++i) {
      if (owner_.RxBuffer.size() < 1024) owner_.Reply(std::string(512, '\x01'));
      clock_.Advance(2000);
      StepAndCheck();
    }
    FUZZ_REQUIRE(!engine_.Busy || rules_.WaitsOnNoise(engine_), "noise ends every operation");
    Stop();
  }

  std::string Describe() const {
    std::string last_sent = owner_.Sent.empty() ? "" : owner_.Sent.back();
    return "state " + std::to_string(static_cast<int>(engine_.State())) +
           (engine_.Busy ? ", busy" : ", not busy") + ", instruction \"" + engine_.Instruction +
           "\", sent last \"" + EscapeForMessage(last_sent) + "\", BufIn \"" +
           EscapeForMessage(engine_.BufIn.substr(0, 64)) + "\", noise " +
           std::to_string(engine_.NoiseCount()) + ", last event \"" +
           (owner_.Events.empty() ? "" : owner_.Events.back()) + "\"";
  }

  Engine& engine_;
  TFakeClock& clock_;
  const TEngineRules<Engine>& rules_;
  TTestOwner owner_;
};
