// The executable's command line: each option's effect and each refusal's text.
#include "emulator/emulator_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(EmulatorOptions, EveryOptionReachesTheDeviceConfiguration) {
  TEmulatorOptions o;
  std::string error;
  ASSERT_TRUE(ParseEmulatorOptions({"--pty",
                                    "--udp",
                                    "0",
                                    "--tcp=10500",
                                    "--state",
                                    "d.state",
                                    "--pace",
                                    "--exact",
                                    "--log",
                                    "t.log",
                                    "--seed",
                                    "42",
                                    "--device-type",
                                    "39",
                                    "--boot-type",
                                    "27",
                                    "--absent",
                                    "1,3",
                                    "--fault",
                                    "resend,rate=5",
                                    "--fault=hang,cmd=P8",
                                    "--stats",
                                    "s.txt"},
                                   o, error))
      << error;
  EXPECT_TRUE(o.Pty);
  EXPECT_EQ(o.UdpPort, std::optional<uint16_t>(0));
  EXPECT_EQ(o.TcpPort, std::optional<uint16_t>(10500));
  EXPECT_EQ(o.StateFile, "d.state");
  EXPECT_EQ(o.LogFile, "t.log");
  EXPECT_EQ(o.StatsFile, "s.txt");
  EXPECT_TRUE(o.Pace);
  EXPECT_TRUE(o.Exact);
  const TDeviceConfig c = DeviceConfigFromOptions(o);
  EXPECT_EQ(c.DeviceType, 39u);
  EXPECT_FALSE(c.Silent);
  EXPECT_EQ(c.BootType, 27);
  EXPECT_EQ(c.CardPresent, (std::array<bool, 6>{true, false, true, false, true, true}));
  EXPECT_EQ(c.Faults.Seed, 42u);
  ASSERT_EQ(c.Faults.Rules.size(), 2u);
  EXPECT_EQ(c.Faults.Rules[0].Kind, TFaultKind::FK_RESEND);
  EXPECT_EQ(c.Faults.Rules[0].RatePercent, 5u);
  EXPECT_EQ(c.Faults.Rules[1].Kind, TFaultKind::FK_HANG);
  EXPECT_EQ(c.Faults.Rules[1].Command, "P8");
}

TEST(EmulatorOptions, DefaultsAreTheDefaultDevice) {
  TEmulatorOptions o;
  std::string error;
  ASSERT_TRUE(ParseEmulatorOptions(
      {"--tcp", "0", "--device-type", "silent", "--boot-type", "none", "--absent", ""}, o, error));
  const TDeviceConfig c = DeviceConfigFromOptions(o);
  EXPECT_TRUE(c.Silent);
  EXPECT_EQ(c.BootType, 0);
  EXPECT_EQ(c.CardPresent, (std::array<bool, 6>{true, true, true, true, true, true}));
  EXPECT_EQ(c.BootId, 0x01A7);
  EXPECT_TRUE(c.Faults.Rules.empty());
  ASSERT_TRUE(ParseEmulatorOptions({"--help"}, o, error));
  EXPECT_TRUE(o.Help);
}

TEST(EmulatorOptions, ExpectChecksAStateFileInsteadOfServing) {
  TEmulatorOptions o;
  std::string error;
  ASSERT_TRUE(ParseEmulatorOptions(
      {"--state", "d.state", "--expect", "main.bank1=VI3_B1.HEX", "--expect=card5.versionE=0104"},
      o, error))
      << error;
  ASSERT_EQ(o.Expect.size(), 2u);
  EXPECT_EQ(o.Expect[0].Name, "main.bank1");
  EXPECT_EQ(o.Expect[0].Value, "VI3_B1.HEX");
  EXPECT_EQ(o.Expect[1].Memory.Kind, TMemKind::MK_VERSION);
  EXPECT_EQ(o.Expect[1].Value, "0104");
}

TEST(EmulatorOptions, RefusalsSayWhatIsWrong) {
  struct TCase {
    std::vector<std::string> args;
    const char* error;
  };
  const TCase table[] = {
      {{}, "nothing to serve: give --pty, --udp PORT or --tcp PORT"},
      {{"--pty", "--udp"}, "option --udp needs a value"},
      {{"--udp", "65536"}, "bad port \"65536\" for --udp (0 to 65535)"},
      {{"--tcp", "-1"}, "bad port \"-1\" for --tcp (0 to 65535)"},
      {{"--pty", "--absent", "1,6"},
       "bad card list \"1,6\" for --absent (cards 0 to 5, separated by commas)"},
      {{"--pty", "--absent", "1,,2"},
       "bad card list \"1,,2\" for --absent (cards 0 to 5, separated by commas)"},
      {{"--pty", "--boot-type", "36"}, "bad boot type \"36\" (37, 27 or none)"},
      {{"--pty", "--device-type", "loud"}, "bad device type \"loud\" (a number, or silent)"},
      {{"--pty", "--seed", "x"}, "bad seed \"x\""},
      {{"--pty", "--state="}, "--state needs a file name"},
      {{"--pty", "--fault", "delay"}, "--fault delay: fault \"delay\" needs ms=N (N > 0)"},
      {{"--pty", "--speed", "9600"}, "unknown option --speed"},
      {{"--pty", "extra"}, "unexpected argument \"extra\""},
      {{"--state", "d.state", "--expect", "main.bank1"},
       "--expect: \"main.bank1\" is not MEMORY=VALUE"},
      {{"--expect", "boot=a.hex"}, "--expect needs --state FILE"},
      {{"--pty", "--state", "d.state", "--expect", "boot=a.hex"},
       "--expect checks a state file and serves nothing"},
  };
  for (const TCase& c : table) {
    TEmulatorOptions o;
    std::string error;
    EXPECT_FALSE(ParseEmulatorOptions(c.args, o, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
