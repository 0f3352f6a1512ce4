// The runner passes the core's step-soon requests on and serves them: the sample
// package completes with the same output in fewer ticks, and a request served after
// the run has finished does nothing.
#include <gtest/gtest.h>

#include "tools/testing/update_runner_fixture.h"

namespace {

class UpdateRunnerStepSoon : public UpdateRunner {
 protected:
  // Runs the sample package on a fresh device, serving the requests as the event
  // loop would (after each tick and each delivery) when `serve`; the ticks it took.
  int RunSample(bool serve) {
    WritePackage();
    TEmulatedDevice device;
    Build(&device, {"--timeout", "5"});
    bool asked = false;
    int requests = 0;
    runner_->OnStepSoon = [&asked, &requests] {
      asked = true;
      ++requests;
    };
    std::string error;
    EXPECT_TRUE(runner_->Configure(error)) << error;
    runner_->Start();
    auto serve_requests = [&] {
      while (serve && asked) {
        asked = false;
        runner_->StepSoon();
      }
    };
    int ticks = 0;
    for (; ticks < 200000 && !runner_->Finished(); ++ticks) {
      serve_requests();
      harness_->clock.Advance(runner_->TimerInterval());
      runner_->Tick();
      serve_requests();
      harness_->Pump();
    }
    EXPECT_EQ(runner_->ExitCode(), kExitCompleted) << out_.str();
    EXPECT_GT(requests, 0);
    EXPECT_EQ(device.Version(255, '0'), "0214");
    return ticks;
  }
};

TEST_F(UpdateRunnerStepSoon, ServedRequestsGiveTheSameOutputInFewerTicks) {
  const int ticks = RunSample(false);
  const std::string output = out_.str();
  TearDown();
  out_.str("");
  const int served = RunSample(true);
  EXPECT_EQ(out_.str(), output);
  EXPECT_LT(served, ticks);

  const std::string before = out_.str();
  runner_->StepSoon();  // after the end: nothing
  EXPECT_EQ(out_.str(), before);
  EXPECT_EQ(Core().SeqState(), TSeqState::SEQ_IDLE);
}

}  // namespace
