// The in-process runner's test fixture: the core on the run harness's in-process
// transports, with the emulated device (or a babbling or silent one) at their far
// end and a fake clock, and a TUpdateRunner writing plain output to strings. Shared by
// the runner's in-process tests. Tests only; single-threaded.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/testing/emulator_end.h"
#include "app/testing/run_harness.h"
#include "emulator/emulated_device.h"
#include "testing/temp_dir.h"
#include "tools/sample_package.h"
#include "tools/update_runner.h"

// Hands the device's traffic to the runner, as the traced transports do.
class TTracingEnd : public TDeviceEnd {
 public:
  // `device` null and no `far_end`: a device that never answers.
  explicit TTracingEnd(TEmulatedDevice* device, TDeviceEnd* far_end = nullptr) : end_(far_end) {
    if (device && !end_) {
      own_ = std::make_unique<TEmulatorEnd>(*device);
      end_ = own_.get();
    }
  }
  void FromHost(const std::string& kind, const std::string& bytes) override {
    if (runner) runner->Traffic(TTraceDir::TRACE_SENT, bytes);
    if (end_) end_->FromHost(kind, bytes);
  }
  void Pump(uint32_t now_ms, const std::function<void(const std::string&)>& to_host) override {
    if (!end_) return;
    end_->Pump(now_ms, [&](const std::string& piece) {
      if (runner) runner->Traffic(TTraceDir::TRACE_RECEIVED, piece);
      to_host(piece);
    });
  }
  void Closed() override {
    if (end_) end_->Closed();
  }
  TUpdateRunner* runner = nullptr;

 private:
  std::unique_ptr<TEmulatorEnd> own_;
  TDeviceEnd* end_ = nullptr;  // the device's side, or null
};

// The emulated device until it has taken `healthy_writes` writes, then a device
// that answers nothing and sends `piece` at every pump.
class TBabblingEnd : public TDeviceEnd {
 public:
  TBabblingEnd(TEmulatedDevice* device, int healthy_writes,
               std::string piece = std::string(16, 'Z') + '\x01')
      : healthy_writes_(healthy_writes), piece_(std::move(piece)) {
    if (device) end_ = std::make_unique<TEmulatorEnd>(*device);
  }
  void FromHost(const std::string& kind, const std::string& bytes) override {
    if (end_ && writes_++ < healthy_writes_) end_->FromHost(kind, bytes);
  }
  void Pump(uint32_t now_ms, const std::function<void(const std::string&)>& to_host) override {
    if (end_ && writes_ <= healthy_writes_) {
      end_->Pump(now_ms, to_host);
    } else {
      to_host(piece_);
    }
  }

 private:
  std::unique_ptr<TEmulatorEnd> end_;  // null: babbles from the start
  int healthy_writes_;
  std::string piece_;  // sent at every pump once babbling
  int writes_ = 0;
};

inline TRunnerOptions Options(const std::vector<std::string>& args) {
  TRunnerOptions options;
  std::string error;
  EXPECT_TRUE(ParseRunnerOptions(args, options, error)) << error;
  return options;
}

class UpdateRunner : public ::testing::Test {
 protected:
  // A harness whose program folder is `dir_`, running `script` (relative to it).
  // `far_end`, when given, stands between the transports and the device.
  void Build(TEmulatedDevice* device, const std::vector<std::string>& args,
             const std::set<std::string>& missing_devices = {}, TDeviceEnd* far_end = nullptr) {
    end_ = std::make_unique<TTracingEnd>(device, far_end);
    TRunHarnessOptions options;
    options.ProgramFolder = dir_.Dir();
    options.WorkingFolder = dir_.Dir();
    options.MissingDevices = missing_devices;
    options_ = Options(args);
    options.ScriptArgument = RunnerScriptArgument(options_, dir_.Dir());
    harness_ = std::make_unique<TRunHarness>(options, end_.get());
    runner_ = std::make_unique<TUpdateRunner>(*harness_->core, options_, harness_->clock);
    end_->runner = runner_.get();
    runner_->AddOutput(&plain_);
  }
  void TearDown() override {
    if (end_) end_->runner = nullptr;
    runner_.reset();
    harness_.reset();
  }
  void WritePackage() {
    for (const TPackageFile& file : BuildSamplePackage()) dir_.Write(file.Path, file.Bytes);
  }
  // One file of the sample package, or "".
  static std::string SampleFile(const std::string& path) {
    for (const TPackageFile& file : BuildSamplePackage()) {
      if (file.Path == path) return file.Bytes;
    }
    return {};
  }
  // Configures, starts and ticks until the run ends (at most `max_ticks`).
  int Run(int max_ticks = 200000) {
    std::string error;
    EXPECT_TRUE(runner_->Configure(error)) << error;
    runner_->Start();
    for (int i = 0; i < max_ticks && !runner_->Finished(); ++i) Tick();
    EXPECT_TRUE(runner_->Finished()) << out_.str();
    return runner_->ExitCode();
  }
  void Tick() {
    harness_->clock.Advance(runner_->TimerInterval());
    runner_->Tick();
    harness_->Pump();
  }
  TMainFich& Core() { return *harness_->core; }

  TTempDir dir_;
  TRunnerOptions options_;
  std::unique_ptr<TTracingEnd> end_;
  std::unique_ptr<TRunHarness> harness_;
  std::unique_ptr<TUpdateRunner> runner_;
  std::ostringstream out_, err_;
  TPlainOutput plain_{out_, err_};
};

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
