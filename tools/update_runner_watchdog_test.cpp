// TUpdateRunner in process: the watchdog (progress, not bytes; timed waits excepted),
// the first lines that name the connection and the script, a default COM1 that
// cannot be opened, the log's story of a run, and the bound on one line of output.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/testing/test_package.h"
#include "engines/prog_boot.h"
#include "link/com_driver.h"
#include "testing/serial_names.h"
#include "tools/testing/update_runner_fixture.h"

TEST_F(UpdateRunner, WatchdogStopsASilentDeviceAsStopDoes) {
  WritePackage();
  Build(nullptr, {"--timeout", "2"});
  const uint32_t start = harness_->clock.TickCount();
  EXPECT_EQ(Run(), kExitStopped);
  // The first tick after the idle interval (0.5 s), 1 s for the type request (its
  // own time-out, not counted), then 2 s of silence.
  const uint32_t elapsed = harness_->clock.TickCount() - start;
  EXPECT_GE(elapsed, 3500u);
  EXPECT_LE(elapsed, 3550u);
  // No option and no settings file: the default COM1 was used, and the message says so.
  EXPECT_EQ(err_.str(),
            "No answer from the device for 2 s while waiting for the boot loader (last sent: "
            "\"%\"); the connection is the default COM1: name the device's port with --port NAME "
            "(qelt-update --list-ports lists the serial ports)\n" +
                dir_.Dir() + "script.ini\n");
  EXPECT_EQ(Core().SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_EQ(Core().Link().ConType(), CON_NONE);
  EXPECT_FALSE(Core().ProgBoot().Busy);
  EXPECT_EQ(Core().Start.Caption, "START");
}

TEST_F(UpdateRunner, WatchdogLeavesTimedWaitsAndTheJtagPauseAlone) {
  dir_.Write("rev1/script.ini", "CM\r\n");
  // A five-second wait and an Effect file (one second's pause before it plays)
  // against a watchdog of half a second.
  dir_.Write("rev1/VI3/script.ini", "wait 5000\r\nPC short.svf\r\nwait 5000\r\n");
  dir_.Write("rev1/VI3/short.svf", "STATE RESET IDLE;\r\nRUNTEST 10 TCK;\r\n");
  for (const std::string boot : {"rev1/BOOT_EXT_PONT.HEX", "rev1/BOOT_EXT_OPTION.HEX"}) {
    dir_.Write(boot, ":0440000001020304B2\r\n:00000001FF\r\n");
  }
  TEmulatedDevice device;
  Build(&device, {"--timeout", "0.5"});
  ASSERT_EQ(Run(), kExitCompleted) << out_.str() << err_.str();
}

// The watchdog is on by default, and counts progress, not bytes: a device that
// keeps sending what the run cannot use is ended as a silent one is, and the message
// quotes what came. The state's internal name is in the trace only.
TEST_F(UpdateRunner, WatchdogEndsADeviceThatKeepsSendingWithoutProgress) {
  WritePackage();
  TBabblingEnd babbler(nullptr, 0);
  Build(nullptr, {"--port", TestDevicePath(9), "--trace"}, {}, &babbler);
  const uint32_t start = harness_->clock.TickCount();
  EXPECT_EQ(Run(), kExitStopped);
  const uint32_t elapsed = harness_->clock.TickCount() - start;
  EXPECT_GE(elapsed, 61500u) << "the default time-out is 60 s";
  EXPECT_LE(elapsed, 61550u);
  const std::string message = err_.str().substr(0, err_.str().find('\n'));
  EXPECT_EQ(message,
            "The device sent nothing the run could use while waiting for the boot "
            "loader: received \"ZZZZZZZZZ\\x01ZZZZZZZZZZZZZZZZ\\x01ZZZZZ...\" (102010 bytes in "
            "60 s)");
  EXPECT_TRUE(Contains(out_.str(), "\nWatchdog: no progress in SEQ_WAIT_BOOT_SYNC\n"))
      << out_.str();
  EXPECT_FALSE(Contains(message, "SEQ_")) << message;
}

// The same in the middle of a card script: the message says which line was under way.
// One byte per tick stays below the engines' own noise limit (4096 bytes in a row
// fail the operation), so here the watchdog ends the run.
TEST_F(UpdateRunner, WatchdogNamesTheLineUnderWayWhenTheDeviceBabbles) {
  dir_.Write("rev1/script.ini", "CM\r\n");
  dir_.Write("rev1/VI3/script.ini", "rem bank 2\r\nP2 bank.hex\r\n");
  dir_.Write("rev1/VI3/bank.hex", IntelHexText(0x8000, PatternBytes(2, 16 * 40)));
  for (const std::string boot : {"rev1/BOOT_EXT_PONT.HEX", "rev1/BOOT_EXT_OPTION.HEX"}) {
    dir_.Write(boot, ":0440000001020304B2\r\n:00000001FF\r\n");
  }
  TEmulatedDevice device;
  // Wake-up, the boot loader, the bridge image, six pings, "P2" and ten record lines.
  TBabblingEnd babbler(&device, 28, "Z");
  Build(nullptr, {"--port", TestDevicePath(9), "--timeout", "5"}, {}, &babbler);
  EXPECT_EQ(Run(), kExitStopped) << out_.str();
  const std::string message = err_.str().substr(0, err_.str().find('\n'));
  EXPECT_EQ(message,
            "The device sent nothing the run could use while waiting for the bank 2 flash to "
            "be programmed (line 8 of 41 sent; card script line 2: P2 bank.hex): received \"" +
                std::string(32, 'Z') + "...\" (500 bytes in 5 s)");
}

namespace {

// "COMn", and the device it opens where that is another name ("COM3 = /dev/ttyS2").
std::string Com(int n) {
  const std::string name = "COM" + std::to_string(n);
  const std::string device = DefaultComDevice(n);
  return device == name ? name : name + " = " + device;
}

// "COMn" as an error names it, with the device where that is another name.
std::string ComNamed(int n) {
  const std::string name = "COM" + std::to_string(n);
  const std::string device = DefaultComDevice(n);
  return device == name ? name : name + " (" + device + ")";
}

}  // namespace

TEST_F(UpdateRunner, FirstLinesNameTheConnectionAndTheScript) {
  const struct {
    std::vector<std::string> args;
    std::string settings;  // "Updater.prm", when not empty
    std::string connection;
  } cases[] = {
      {{}, "", "Connection: serial " + Com(1) + " (default: no --port and no settings file)"},
      {{"--port", TestDevicePath(5)},
       "",
       "Connection: serial " + TestDevicePath(5) + " (from --port)"},
      {{"--port", "COM3"}, "", "Connection: serial " + Com(3) + " (from --port)"},
      {{"--port", "COM12"}, "", "Connection: serial " + Com(12) + " (from --port)"},
      {{"--udp", "127.0.0.1:4000", "--local-port", "4001"},
       "",
       "Connection: UDP 127.0.0.1:4000, local port 4001 (from --udp)"},
      {{"--tcp", "10.1.2.3"}, "", "Connection: TCP 10.1.2.3:10500 (from --tcp)"},
      {{},
       "CON_TYPE=RS232\r\nCOM_PORT=COM2\r\n",
       "Connection: serial " + Com(2) + " (from the settings file @Updater.prm)"},
      {{},
       "CON_TYPE=TCP\r\nREMOTE_IP=10.0.0.7\r\nREMOTE_PORT=4100\r\n",
       "Connection: TCP 10.0.0.7:4100 (from the settings file @Updater.prm)"},
  };
  WritePackage();  // a package the check passes: nothing after the two lines
  for (const auto& c : cases) {
    TearDown();
    out_.str("");
    std::filesystem::remove(dir_.path() / "Updater.prm");
    if (!c.settings.empty()) dir_.Write("Updater.prm", c.settings);
    Build(nullptr, c.args);
    std::string error;
    ASSERT_TRUE(runner_->Configure(error)) << error;
    runner_->Start();
    std::string expected = c.connection;
    if (expected.ends_with("@Updater.prm)")) {
      expected.replace(expected.find('@'), 1, dir_.Dir());
    }
    EXPECT_EQ(out_.str(), expected + "\nPackage: " + dir_.Dir() + "script.ini\n");
    runner_->Interrupt("Stopped by SIGINT");
  }
}

// No option and no settings file, and no COM1 on this machine: the run ends at once
// with status 2 and a hint to name the port.
TEST_F(UpdateRunner, AMissingDefaultCom1EndsAtOnceWithAHint) {
  WritePackage();
  Build(nullptr, {}, {DefaultComDevice(1)});
  EXPECT_EQ(Run(100), kExitUsage);
  const std::string error =
      "Error while opening COM1\n" + ComNamed(1) +
      ": No such file or directory\nis the adapter plugged in? `--list-ports`\n";
  EXPECT_EQ(err_.str(), error + dir_.Dir() + "script.ini\n");
  EXPECT_TRUE(out_.str().ends_with(
      error +
      "No --port, --udp or --tcp was given and there is no settings file, so the default serial "
      "port COM1 (" +
      DefaultComDevice(1) +
      ") was tried: name the device's port with --port NAME (qelt-update "
      "--list-ports lists the serial ports), or use --udp or --tcp\n"))
      << out_.str();
  // A port named on the command line that cannot be opened is a failed run.
  TearDown();
  err_.str("");
  Build(nullptr, {"--port", "COM4"}, {DefaultComDevice(4)});
  EXPECT_EQ(Run(100), kExitFailed);
  EXPECT_EQ(err_.str(),
            "Error while opening COM4\n" + ComNamed(4) +
                ": No such file or directory\nis the adapter plugged in? `--list-ports`\n" +
                dir_.Dir() + "script.ini\n");
}

// The log tells the story of an update with an absent card and a component left
// out in Manual mode, then of an identification pass.
TEST_F(UpdateRunner, TheLogTellsWhatWasLeftOutAndPlayed) {
  WritePackage();
  TDeviceConfig config;
  config.CardPresent[1] = false;
  TEmulatedDevice device(config);
  Build(&device, {"--manual", "--no-component", "VI3:CPLD"});
  ASSERT_EQ(Run(), kExitCompleted) << out_.str() << err_.str();
  EXPECT_TRUE(Contains(out_.str(),
                       "Device ID : 01A7\n"
                       "Card 1 (SD scaler) not present: skipped\n"))
      << out_.str();
  // The selection applies when the card script loads, before its first line runs.
  EXPECT_TRUE(Contains(out_.str(),
                       "VI3 CPLD not selected: skipped\n"
                       "Main card VI3\n"))
      << out_.str();
  EXPECT_TRUE(Contains(out_.str(), "Effect file opt_in\\VI3_PROM1.svf played on chain 8: "))
      << out_.str();
  EXPECT_FALSE(Contains(out_.str(), "VI3_CPLD.svf played")) << out_.str();
  EXPECT_TRUE(out_.str().ends_with("Program operation completed\n")) << out_.str();

  TearDown();
  out_.str("");
  Build(&device, {"--readid"});
  ASSERT_EQ(Run(), kExitCompleted) << out_.str() << err_.str();
  EXPECT_TRUE(out_.str().ends_with("Program operation completed\nIdentification completed\n"))
      << out_.str();
}

// One line of output has a bound: a huge piece received is cut and counted.
TEST_F(UpdateRunner, TraceLinesAreCutAndCounted) {
  WritePackage();
  Build(nullptr, {"--trace"});
  runner_->Traffic(TTraceDir::TRACE_RECEIVED, std::string(4096, 'Z'));
  EXPECT_EQ(out_.str(), "< " + std::string(256, 'Z') + " ... (+3840 bytes not shown)\n");
}
