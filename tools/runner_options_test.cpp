// qelt-update's command line: what each option sets, the exact reasons it gives
// for bad input, and the Manual-mode selection applied as the dialog's boxes do.
#include "tools/runner_options.h"

#include <gtest/gtest.h>

#include "app/comp_sel_dlg.h"
#include "testing/serial_names.h"

namespace {

TRunnerOptions Parse(const std::vector<std::string>& args) {
  TRunnerOptions options;
  std::string error;
  EXPECT_TRUE(ParseRunnerOptions(args, options, error)) << error;
  return options;
}

std::string ErrorOf(const std::vector<std::string>& args) {
  TRunnerOptions options;
  std::string error;
  EXPECT_FALSE(ParseRunnerOptions(args, options, error));
  return error;
}

}  // namespace

TEST(RunnerOptions, DefaultsFollowTheWindow) {
  TRunnerOptions o = Parse({});
  EXPECT_EQ(o.Script, "");
  EXPECT_EQ(o.Link, TRunnerLink::LINK_SETTINGS);
  EXPECT_EQ(o.RemotePort, -1);
  EXPECT_EQ(o.LocalPort, -1);
  EXPECT_FALSE(o.ReadId || o.Manual || o.Trace || o.Json || o.Help || o.Version);
  EXPECT_EQ(o.TimeoutMs, 60000u) << "the watchdog is on unless turned off";
  EXPECT_EQ(Parse({"--timeout", "0"}).TimeoutMs, 0u);
  EXPECT_EQ(Parse({"--timeout=0.000"}).TimeoutMs, 0u);
}

TEST(RunnerOptions, ConnectionOptions) {
  const struct {
    std::vector<std::string> args;
    TRunnerLink link;
    std::string port, host;
    int32_t remote, local;
  } cases[] = {
      {{"--port", "COM3"}, TRunnerLink::LINK_SERIAL, "COM3", "", -1, -1},
      {{"--port=com9"}, TRunnerLink::LINK_SERIAL, "COM9", "", -1, -1},
      {{"--port", "com12"}, TRunnerLink::LINK_SERIAL, "COM12", "", -1, -1},
      {{"--port", TestDevicePath(7)}, TRunnerLink::LINK_SERIAL, TestDevicePath(7), "", -1, -1},
      {{"--udp", "127.0.0.1:4000", "--local-port", "4001"},
       TRunnerLink::LINK_UDP,
       "",
       "127.0.0.1",
       4000,
       4001},
      {{"--udp=10.0.0.5"}, TRunnerLink::LINK_UDP, "", "10.0.0.5", -1, -1},
      {{"--tcp", "192.168.0.10:10500"}, TRunnerLink::LINK_TCP, "", "192.168.0.10", 10500, -1},
      {{"--local-port", "0"}, TRunnerLink::LINK_SETTINGS, "", "", -1, 0},
  };
  for (const auto& c : cases) {
    TRunnerOptions o = Parse(c.args);
    EXPECT_EQ(o.Link, c.link) << c.args[0];
    EXPECT_EQ(o.Port, c.port) << c.args[0];
    EXPECT_EQ(o.Host, c.host) << c.args[0];
    EXPECT_EQ(o.RemotePort, c.remote) << c.args[0];
    EXPECT_EQ(o.LocalPort, c.local) << c.args[0];
  }
}

TEST(RunnerOptions, ScriptFlagsOutputAndTimeout) {
  TRunnerOptions o = Parse(
      {"pkg/script.ini", "--readid", "--trace", "--json", "--log", "run.log", "--timeout", "2.5"});
  EXPECT_EQ(o.Script, "pkg/script.ini");
  EXPECT_TRUE(o.ReadId);
  EXPECT_TRUE(o.Trace);
  EXPECT_TRUE(o.Json);
  EXPECT_EQ(o.LogFile, "run.log");
  EXPECT_EQ(o.TimeoutMs, 2500u);
  EXPECT_EQ(Parse({"--timeout=30"}).TimeoutMs, 30000u);
  EXPECT_EQ(Parse({"--timeout", "0.005"}).TimeoutMs, 5u);
  EXPECT_EQ(Parse({"--", "--odd-name.ini"}).Script, "--odd-name.ini");
  EXPECT_TRUE(Parse({"--check", "pkg/script.ini"}).Check);
  EXPECT_TRUE(Parse({"--skip-check"}).SkipCheck);
  EXPECT_FALSE(Parse({}).Check);
  EXPECT_FALSE(Parse({}).SkipCheck);
}

TEST(RunnerOptions, ManualSelectionIsCollectedInUpperCase) {
  TRunnerOptions o =
      Parse({"--manual", "--no-card", "scan,OPT_IN", "--no-component=vi3:cpld,HD:PROM2"});
  EXPECT_TRUE(o.Manual);
  EXPECT_EQ(o.NoCards, (std::vector<std::string>{"SCAN", "OPT_IN"}));
  EXPECT_EQ(o.NoComponents, (std::vector<std::string>{"VI3:CPLD", "HD:PROM2"}));
}

TEST(RunnerOptions, HelpVersionAndListPortsSkipTheCombinationRules) {
  EXPECT_TRUE(Parse({"--help", "--port", "COM1", "--tcp", "1.2.3.4"}).Help);
  const TRunnerOptions list = Parse({"--list-ports", "--json", "--port", TestDevicePath(3)});
  EXPECT_TRUE(list.ListPorts && list.Json);
  EXPECT_EQ(list.Port, TestDevicePath(3));
  EXPECT_TRUE(Parse({"--list-ports", "--no-card", "VI3"}).ListPorts);
  EXPECT_TRUE(Parse({"--version"}).Version);
  EXPECT_TRUE(Parse({"-h"}).Help);
}

TEST(RunnerOptions, BadInputIsNamedExactly) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"a.ini", "b.ini"}, "only one SCRIPT may be given ('a.ini' and 'b.ini')"},
      {{"--port"}, "--port needs a value"},
      {{"--port", "COM0"}, "--port takes COM1..COM4096 or a device path such as /dev/ttyUSB0"},
      {{"--port", "COM4097"}, "--port takes COM1..COM4096 or a device path such as /dev/ttyUSB0"},
      {{"--port", "ttyS0"}, "--port takes COM1..COM4096 or a device path such as /dev/ttyUSB0"},
      {{"--udp", "localhost"},
       "--udp takes an IPv4 address, optionally with :PORT (got 'localhost')"},
      {{"--tcp", "1.2.3.256:80"},
       "--tcp takes an IPv4 address, optionally with :PORT (got '1.2.3.256:80')"},
      {{"--tcp", "1.2.3.4:0"}, "--tcp: the port must be a number from 1 to 65535"},
      {{"--udp", "1.2.3.4:65536"}, "--udp: the port must be a number from 1 to 65535"},
      {{"--udp", "1.2.3.4:"}, "--udp: the port must be a number from 1 to 65535"},
      {{"--local-port", "-1"}, "--local-port must be a number from 0 to 65535"},
      {{"--port", "COM1", "--udp", "1.2.3.4"}, "give only one of --port, --udp and --tcp"},
      {{"--tcp", "1.2.3.4", "--local-port", "5"}, "--local-port applies to --udp only"},
      {{"--port", "COM2", "--local-port", "5"}, "--local-port applies to --udp only"},
      {{"--timeout", "1.2345"}, "--timeout takes a number of seconds from 0 (off) to 86400"},
      {{"--timeout", "1."}, "--timeout takes a number of seconds from 0 (off) to 86400"},
      {{"--timeout", "86401"}, "--timeout takes a number of seconds from 0 (off) to 86400"},
      {{"--timeout", "-3"}, "--timeout takes a number of seconds from 0 (off) to 86400"},
      {{"--log", ""}, "--log needs a file name"},
      {{"--json=yes"}, "--json takes no value"},
      {{"--manual", "--no-card", "VI4"}, "unknown card 'VI4' (VI3, KEYB3, SCAN, HD or OPT_IN)"},
      {{"--manual", "--no-component", "VI3"}, "'VI3' is not CARD:COMPONENT (for example VI3:CPLD)"},
      {{"--manual", "--no-component", "VI3:PROM2"}, "card VI3 has no component 'PROM2'"},
      {{"--manual", "--no-component", "KEYB3:MCU"},
       "KEYB3 has no component boxes; use --no-card KEYB3"},
      {{"--no-card", "HD"}, "--no-card and --no-component need --manual"},
      {{"--check", "--skip-check"}, "--check and --skip-check exclude each other"},
      {{"--check=yes"}, "--check takes no value"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.args), c.error) << c.args[0];
}

TEST(RunnerOptions, UsageNamesEveryOption) {
  const std::string usage = RunnerUsage();
  for (const char* option : {"--port", "--udp", "--tcp", "--local-port", "--readid", "--manual",
                             "--no-card", "--no-component", "--log", "--trace", "--json",
                             "--timeout", "--help", "--version", "--check", "--skip-check"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(RunnerManualSelection, ClearsBoxesAsTheirClicksDo) {
  TRunnerOptions o = Parse(
      {"--manual", "--no-card", "VI3,KEYB3", "--no-component", "SCAN:PROM2,OPT_IN:EDID,VI3:MCU"});
  TCompSelDlg dialog;
  ApplyManualSelection(o, dialog);
  // The main card's box cleared its component boxes and disabled them.
  EXPECT_FALSE(dialog.CBUD3.Checked);
  for (const TCheckBox* box : {&dialog.CBVi3MCU, &dialog.CBUD3PROM1, &dialog.CBUD3CPLD}) {
    EXPECT_FALSE(box->Checked);
    EXPECT_FALSE(box->Enabled);
  }
  EXPECT_FALSE(dialog.CBKeyb3.Checked);
  EXPECT_FALSE(dialog.CBSCANSDPROM2.Checked);
  EXPECT_FALSE(dialog.CBExtInEDID.Checked);
  // Everything else stays ticked.
  for (const TCheckBox* box : {&dialog.CBSCANSD, &dialog.CBSCANSDMCU, &dialog.CBSCANSDPROM1,
                               &dialog.CBSCANHD, &dialog.CBSCANHDMCU, &dialog.CBSCANHDPROM1,
                               &dialog.CBSCANHDPROM2, &dialog.CBExtIn, &dialog.CBExtInCpld}) {
    EXPECT_TRUE(box->Checked && box->Enabled) << box->Caption;
  }
  EXPECT_FALSE(dialog.CardSelected(255));
  EXPECT_TRUE(dialog.CardSelected(1));
  EXPECT_FALSE(dialog.ComponentSelected(1, 9));
  EXPECT_TRUE(dialog.ComponentSelected(1, 8));
}

TEST(RunnerManualSelection, ComponentAliasesAndHdCard) {
  TRunnerOptions o = Parse({"--manual", "--no-component", "vi3:prom", "--no-card", "hd"});
  TCompSelDlg dialog;
  ApplyManualSelection(o, dialog);
  EXPECT_FALSE(dialog.CBUD3PROM1.Checked);
  EXPECT_TRUE(dialog.CBUD3.Checked);
  EXPECT_FALSE(dialog.CBSCANHD.Checked);
  EXPECT_FALSE(dialog.CBSCANHDMCU.Enabled);
  EXPECT_FALSE(dialog.CardSelected(3));
  EXPECT_FALSE(dialog.CardSelected(4));
}
