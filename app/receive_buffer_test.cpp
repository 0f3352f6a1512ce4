// The core's receive buffer in whole runs against the emulated device: it holds at
// most what an engine ever looks at and counts the rest, it is handed to the engines
// without being lost across their reset, and a device that sends only noise while
// an engine waits ends the run with the engines' noise message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/emulated_run.h"
#include "engines/gestionnaire.h"
#include "engines/inst_crt.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kRunTicks = 20000;

TDeviceConfig HangsOn(const std::string& command) {
  TDeviceConfig config;
  TFaultRule rule;
  std::string error;
  EXPECT_TRUE(ParseFaultRule("hang,cmd=" + command, rule, error)) << error;
  config.Faults.Rules.push_back(rule);
  return config;
}

// A run whose main script reads a version the device never answers: the card
// supervisor waits for the acknowledgement of "T8" (or, after it, the version).
struct TWaitingRun {
  TWaitingRun() : run(HangsOn("T8")) {
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", {"T8 0100"});
    run.core().StartClick();
    std::string why;
    const bool sent = run.h.RunUntil(
        [&] { return !run.h.Writes.empty() && run.h.Writes.back() == "T8"; }, kRunTicks, &why);
    EXPECT_TRUE(sent) << why;
    run.h.Tick();
  }
  TEmulatedRun run;
};

TEST(ReceiveBuffer, HoldsAtMostWhatAnEngineLooksAtAndCountsTheRest) {
  TWaitingRun w;
  w.run.core().StartClick();  // stop: no step takes what comes now
  const size_t cap = TGestionnaire::kInputCap;
  w.run.h.DeviceSays(std::string(cap - 10, 'a'));
  w.run.h.Pump();
  w.run.h.DeviceSays(std::string(30, 'b'));
  w.run.h.Pump();
  EXPECT_EQ(w.run.core().RxBuffer(), std::string(cap - 10, 'a') + std::string(10, 'b'));
  EXPECT_EQ(w.run.core().RxDropped(), 20u);
  w.run.h.DeviceSays("c");
  w.run.h.Pump();
  EXPECT_EQ(w.run.core().RxBuffer().size(), cap);
  EXPECT_EQ(w.run.core().RxDropped(), 21u);
}

// What an engine has pulled but not consumed is still received after the idle
// step resets the engines (as if the engines had only ever held a copy).
TEST(ReceiveBuffer, WhatAnEngineHeldSurvivesTheEnginesReset) {
  TWaitingRun w;
  w.run.h.DeviceSays(".01");  // the acknowledgement, then half a version
  w.run.h.Pump();
  ASSERT_EQ(w.run.core().InstCrt().State(), TInstCrt::TCrtState::CRT_VERSION_READ);
  EXPECT_EQ(w.run.core().InstCrt().BufIn, "01");
  EXPECT_EQ(w.run.core().RxBuffer(), "01");
  w.run.h.DeviceSays("0");
  w.run.h.Pump();
  EXPECT_EQ(w.run.core().RxBuffer(), "010");
  w.run.core().StartClick();  // stop
  w.run.h.Tick();             // the idle step resets the engines
  EXPECT_EQ(w.run.core().SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_EQ(w.run.core().InstCrt().BufIn, "");
  EXPECT_EQ(w.run.core().RxBuffer(), "010");
}

TEST(ReceiveBuffer, ANoisyDeviceEndsTheRunWithTheEnginesNoiseMessage) {
  TWaitingRun w;
  w.run.h.DeviceSays(std::string(3000, '~'));
  w.run.h.Pump();
  EXPECT_EQ(w.run.core().SeqState(), TSeqState::SEQ_WAIT_LINE);
  EXPECT_EQ(w.run.core().InstCrt().NoiseCount(), 3000u);
  w.run.h.DeviceSays(std::string(2000, '~'));
  std::string why;
  ASSERT_TRUE(w.run.h.RunToState(TSeqState::SEQ_IDLE, 100, &why)) << why;
  const std::string message =
      "The device sent 5000 unexpected bytes while waiting for the answer to \"T8\": \"" +
      std::string(16, '~') + "...\"";
  EXPECT_EQ(w.run.h.view.Errors,
            Lines{message + "\r\n" + w.run.package.Dir() + "rev1" + kPathSeparator + "script.ini"});
  EXPECT_EQ(w.run.core().RxBuffer(), "");
}

}  // namespace
