// TUpdateRunner in process: the core on in-process transports with the emulated
// device at their far end and a fake clock, so runs, stops, the connection options
// and the run's end are checked exactly and without waiting.
#include "tools/update_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engines/card_table.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "link/com_driver.h"
#include "testing/serial_names.h"
#include "tools/testing/update_runner_fixture.h"

TEST(UpdateRunnerText, ScriptArgument) {
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{}, ""},
      {{"pkg/script.ini"}, "pkg/script.ini"},
      {{"--readid"}, "/opt/qelt/readid.ini"},
      {{"pkg/other.ini", "--readid"}, "pkg/readid.ini"},
      {{"script.ini", "--readid"}, "readid.ini"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunnerScriptArgument(Options(c.args), "/opt/qelt/"), c.expected);
  }
}

TEST(UpdateRunnerText, SkipNote) {
  EXPECT_EQ(SkipNote(255, 3, "0214"), "Skipped, already current: VI3 MCU (version 0214)");
  EXPECT_EQ(SkipNote(1, 9, "0102"), "Skipped, already current: SCAN1 PROM 2 (version 0102)");
  EXPECT_EQ(SkipNote(5, 11, "0103"), "Skipped, already current: OPT_IN CPLDs (version 0103)");
  EXPECT_EQ(SkipNote(4, 12, "0001"), "Skipped, already current: HD2 EDID (version 0001)");
}

TEST_F(UpdateRunner, CompletesTheSamplePackageThenSkipsWhatIsCurrent) {
  WritePackage();
  TEmulatedDevice device;
  Build(&device, {"--timeout", "5"});
  ASSERT_EQ(Run(), kExitCompleted) << out_.str();
  EXPECT_TRUE(Contains(out_.str(), "Verify Bank1\nExtract JTAG Devices ID\n")) << out_.str();
  EXPECT_TRUE(out_.str().ends_with("Program operation completed\n")) << out_.str();
  EXPECT_FALSE(Contains(out_.str(), "Click on button START")) << "the runner has no button";
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(device.Version(255, '0'), "0214");
  EXPECT_EQ(device.Version(5, 'E'), "0104");
  EXPECT_EQ(Core().Link().ConType(), CON_NONE);

  // The same device again: every component is current.
  runner_.reset();
  out_.str("");
  runner_ = std::make_unique<TUpdateRunner>(Core(), options_, harness_->clock);
  end_->runner = runner_.get();
  runner_->AddOutput(&plain_);
  ASSERT_EQ(Run(), kExitCompleted) << out_.str();
  EXPECT_TRUE(Contains(out_.str(),
                       "Main card VI3\nExtract MCU ID\nID Number : F0\n"
                       "Skipped, already current: VI3 MCU (version 0214)\n"))
      << out_.str();
  EXPECT_FALSE(Contains(out_.str(), "Erase Bank")) << out_.str();
}

// The other two roads through the sample package: a revision-0 device (its boot
// loader takes type 27 only) runs "rev0", and a revision-1 device without the
// extended input card has the main card's logic images taken from the card folder
// itself instead of "opt_in".
TEST_F(UpdateRunner, CompletesTheOtherRoadsThroughTheSamplePackage) {
  WritePackage();
  TDeviceConfig revision0;
  revision0.BootType = 27;
  TDeviceConfig no_extended_input;
  no_extended_input.CardPresent[5] = false;
  const struct {
    TDeviceConfig config;
    std::string banner;
    std::string vi3_line;  // the main card script's CPLD line after the run
  } cases[] = {
      {revision0, "Firmware package 1.9 (hardware revision 0)", "PA VI3_CPLD.svf"},
      {no_extended_input, "Firmware package 2.4 (hardware revision 1)", "PA VI3_CPLD.svf"},
  };
  for (const auto& c : cases) {
    TearDown();
    out_.str("");
    TEmulatedDevice device(c.config);
    Build(&device, {"--timeout", "5"});
    ASSERT_EQ(Run(), kExitCompleted) << out_.str() << err_.str();
    EXPECT_TRUE(Contains(out_.str(), c.banner + "\nMain card VI3\n")) << out_.str();
    EXPECT_TRUE(Contains(out_.str(), "Verify Bank1\n")) << out_.str();
    const std::string rev = c.config.BootType == 27 ? "rev0" : "rev1";
    std::ifstream script(dir_.path() / rev / "VI3" / "script.ini", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(Contains(text, c.vi3_line + "\r\n")) << text;
  }
}

// Records what the runner hands an output besides the log.
class TRecordingOutput : public TRunnerOutput {
 public:
  void Log(const std::string&) override {}
  void Activity(const std::string& text) override { Activities.push_back(text); }
  void Error(const std::string& message, const std::string& script, int exit_code) override {
    Ends.push_back("error " + message + " | " + script + " | " + std::to_string(exit_code));
  }
  void Done(const std::string& text) override { Ends.push_back("done " + text); }
  std::vector<std::string> Activities;
  std::vector<std::string> Ends;
};

// A package refused by the check: its findings on stderr (not among the log lines),
// then the error box text; the link is never opened and nothing reaches the device.
TEST_F(UpdateRunner, ARefusedPackageEndsWithItsFindingsAndTouchesNothing) {
  WritePackage();
  std::string card = SampleFile("rev1/VI3/script.ini");
  card.replace(card.find("P0 VI3_B0.HEX"), 13, "P0 absent.hex");
  dir_.Write("rev1/VI3/script.ini", card);
  TEmulatedDevice device;
  Build(&device, {});
  TRecordingOutput recorder;
  runner_->AddOutput(&recorder);
  ASSERT_EQ(Run(), kExitFailed) << out_.str();
  const std::string message =
      "The package cannot run: 1 error, 1 warning (nothing was sent to the device)";
  EXPECT_EQ(err_.str(),
            "rev1/VI3/script.ini:5: absent.hex not found in rev1/VI3/\n"
            "rev1/VI3/VI3_B0.HEX: warning: no script names this file\n" +
                message + "\n" + dir_.Dir() + "script.ini\n");
  EXPECT_EQ(out_.str(), "Connection: serial COM1" +
                            (DefaultComDevice(1) == "COM1" ? "" : " = " + DefaultComDevice(1)) +
                            " (default: no --port and no settings file)\nPackage: " + dir_.Dir() +
                            "script.ini\n" + message + "\n");
  EXPECT_EQ(recorder.Ends,
            std::vector<std::string>{"error " + message + " | " + dir_.Dir() + "script.ini | 1"});
  EXPECT_TRUE(harness_->Writes.empty());
  EXPECT_EQ(Core().Link().ConType(), CON_NONE);
}

// --skip-check runs the same package on purpose: the run's own error texts.
TEST_F(UpdateRunner, AFailedRunEndsWithTheErrorBoxTextAndItsScript) {
  WritePackage();
  dir_.Write("rev1/script.ini", "CM\r\n");
  dir_.Write("rev1/VI3/script.ini", "P0 absent.hex\r\n");
  TEmulatedDevice device;
  Build(&device, {"--skip-check"});
  TRecordingOutput recorder;
  runner_->AddOutput(&recorder);
  ASSERT_EQ(Run(), kExitFailed) << out_.str();
  const std::string card_dir = dir_.Dir() + "rev1" + kPathSeparator + "VI3" + kPathSeparator;
  const std::string message = card_dir + "absent.hex File not found !!!";
  EXPECT_EQ(err_.str(), message + "\n" + card_dir + "script.ini\n");
  EXPECT_TRUE(out_.str().ends_with("Device ID : 01A7\n" + message + "\n")) << out_.str();
  EXPECT_EQ(recorder.Ends,
            std::vector<std::string>{"error " + message + " | " + card_dir + "script.ini | 1"});
  // The engines' step texts, which the log leaves out, reach the activity line.
  for (const char* text : {"Ping Card 0", "Ping OK", "Ping Card 5"}) {
    EXPECT_NE(std::find(recorder.Activities.begin(), recorder.Activities.end(), text),
              recorder.Activities.end())
        << text;
  }
  EXPECT_FALSE(Contains(out_.str(), "Ping OK")) << out_.str();
}

TEST_F(UpdateRunner, InterruptStopsTheRunAtOnce) {
  WritePackage();
  TEmulatedDevice device;
  Build(&device, {});
  std::string error;
  ASSERT_TRUE(runner_->Configure(error));
  runner_->Start();
  for (int i = 0; i < 100000 && !Contains(out_.str(), "Upload Bank0"); ++i) Tick();
  ASSERT_EQ(Core().SeqState(), TSeqState::SEQ_WAIT_CARD_LINE) << out_.str();
  ASSERT_TRUE(Core().ProgPsd().Busy);
  runner_->Interrupt("Stopped by SIGINT");
  EXPECT_TRUE(runner_->Finished());
  EXPECT_EQ(runner_->ExitCode(), kExitStopped);
  EXPECT_EQ(err_.str(), "Stopped by SIGINT\n" + dir_.Dir() + "rev1" + kPathSeparator + "VI3" +
                            kPathSeparator + "script.ini\n");
  EXPECT_EQ(Core().SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_EQ(Core().Link().ConType(), CON_NONE);
  EXPECT_FALSE(Core().ProgPsd().Busy) << "the engines are reset";
  const size_t writes = harness_->Writes.size();
  Tick();
  Tick();
  EXPECT_EQ(harness_->Writes.size(), writes) << "nothing is sent after the stop";
}

TEST_F(UpdateRunner, ManualModeClearsTheNamedBoxes) {
  WritePackage();
  TEmulatedDevice device;
  Build(&device, {"--manual", "--no-card", "VI3,SCAN,HD,OPT_IN", "--no-component", "OPT_IN:EDID"});
  ASSERT_EQ(Run(), kExitCompleted) << out_.str();
  EXPECT_TRUE(Core().MManual.Checked);
  EXPECT_FALSE(Core().CompSelDlg.CBUD3.Checked);
  EXPECT_FALSE(Contains(out_.str(), "Main card VI3")) << out_.str();
  EXPECT_TRUE(Contains(out_.str(), "Keyboard card KEYB3\n")) << out_.str();
  EXPECT_EQ(device.BankMemory(255, 0), std::vector<uint8_t>(0x8000, 0xFF));
  EXPECT_EQ(device.Version(0, '0'), "0120");
}

TEST_F(UpdateRunner, ConfigureAppliesTheConnectionOptions) {
  const struct {
    std::vector<std::string> args;
    bool lan;
    std::string port;  // the serial port the run opens
    uint8_t mode;
    std::string address;
    uint32_t remote, local;
  } cases[] = {
      {{"--port", TestDevicePath(5)},
       false,
       TestDevicePath(5),
       CON_TCP,
       "192.168.0.10",
       10500,
       10500},
      {{"--port", "COM12"}, false, "COM12", CON_TCP, "192.168.0.10", 10500, 10500},
      {{"--udp", "127.0.0.1:4000", "--local-port", "4001"},
       true,
       "",
       CON_UDP,
       "127.0.0.1",
       4000,
       4001},
      {{"--tcp", "10.1.2.3"}, true, "", CON_TCP, "10.1.2.3", 10500, 10500},
  };
  for (const auto& c : cases) {
    TearDown();
    Build(nullptr, c.args);
    std::string error;
    ASSERT_TRUE(runner_->Configure(error)) << error;
    EXPECT_EQ(Core().LAN1.Checked, c.lan) << c.args[0];
    if (!c.lan) {
      EXPECT_FALSE(Core().Com11.Checked);
      EXPECT_EQ(Core().SelectedPortName(), c.port);
      EXPECT_EQ(Core().Link().ResolvePortName("COM1"), DefaultComDevice(1))
          << "COM1 is not redirected";
    }
    EXPECT_EQ(Core().IPConfigDlg.ConnectionMode(), c.mode) << c.args[0];
    EXPECT_EQ(Core().IPConfigDlg.RemoteAddress(), c.address) << c.args[0];
    EXPECT_EQ(Core().IPConfigDlg.RemotePort(), c.remote) << c.args[0];
    EXPECT_EQ(Core().IPConfigDlg.LocalPort(), c.local) << c.args[0];
  }
}

TEST_F(UpdateRunner, ASettingsFileWithABadAddressIsAUsageError) {
  dir_.Write("Updater.prm", "CON_TYPE=UDP\r\nREMOTE_IP=device.local\r\n");
  Build(nullptr, {});
  std::string error;
  EXPECT_FALSE(runner_->Configure(error));
  EXPECT_EQ(error,
            "the settings file's REMOTE_IP \"device.local\" is not an IPv4 address; give --udp "
            "or --tcp");
  TearDown();
  Build(nullptr, {"--tcp", "127.0.0.1"});
  EXPECT_TRUE(runner_->Configure(error)) << "the command line overrides the settings file";
}
