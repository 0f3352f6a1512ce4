#include "app/ui/window_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ParseCase {
  std::vector<std::string> args;
  std::string script;
  std::string port;
  uint8_t netMode;
  std::string host;
  int remotePort;  // -1: not given
  int localPort;   // -1: not given
};

TEST(WindowOptionsTest, AcceptsTheScriptAndEachConnectionForm) {
  const std::vector<ParseCase> cases = {
      {{}, "", "", 0, "", -1, -1},
      {{"examples/package/script.ini"}, "examples/package/script.ini", "", 0, "", -1, -1},
      {{"--port", "COM3"}, "", "COM3", 0, "", -1, -1},
      {{"--port=/dev/pts/4", "pkg/script.ini"}, "pkg/script.ini", "/dev/pts/4", 0, "", -1, -1},
      {{"--udp", "127.0.0.1:4000", "--local-port", "4001"}, "", "", 2, "127.0.0.1", 4000, 4001},
      {{"--tcp=10.0.0.2"}, "", "", 3, "10.0.0.2", -1, -1},
      {{"--tcp", "10.0.0.2:0", "--local-port=65535"}, "", "", 3, "10.0.0.2", 0, 65535},
      {{"s.ini", "--port", "COM9"}, "s.ini", "COM9", 0, "", -1, -1},
      {{"--port", "COM12"}, "", "COM12", 0, "", -1, -1},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    TWindowOptions options;
    std::string error;
    ASSERT_TRUE(ParseWindowOptions(c.args, options, error)) << error;
    EXPECT_EQ(options.Script, c.script);
    EXPECT_EQ(options.Port, c.port);
    EXPECT_EQ(options.NetMode, c.netMode);
    EXPECT_EQ(options.Host, c.host);
    EXPECT_EQ(options.RemotePort ? static_cast<int>(*options.RemotePort) : -1, c.remotePort);
    EXPECT_EQ(options.LocalPort ? static_cast<int>(*options.LocalPort) : -1, c.localPort);
    EXPECT_FALSE(options.Help);
    EXPECT_FALSE(options.Version);
  }
}

TEST(WindowOptionsTest, RefusesBadOptionsWithAMessageNamingThem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--port", "COM4097"}, "--port takes COM1..COM4096 or a device path, not \"COM4097\""},
      {{"--port", "com1"}, "--port takes COM1..COM4096 or a device path, not \"com1\""},
      {{"--port", "COM0"}, "--port takes COM1..COM4096 or a device path, not \"COM0\""},
      {{"--port"}, "--port needs a value"},
      {{"--udp", "localhost:4000"}, "--udp takes an IPv4 address, not \"localhost\""},
      {{"--udp", "1.2.3"}, "--udp takes an IPv4 address, not \"1.2.3\""},
      {{"--tcp", "1.2.3.4:70000"}, "--tcp takes a port from 0 to 65535, not \"70000\""},
      {{"--tcp", "1.2.3.4:"}, "--tcp takes a port from 0 to 65535, not \"\""},
      {{"--local-port", "-1"}, "--local-port takes a port from 0 to 65535, not \"-1\""},
      {{"--local-port=65536"}, "--local-port takes a port from 0 to 65535, not \"65536\""},
      {{"--port", "COM1", "--tcp", "1.2.3.4"}, "give only one of --port, --udp and --tcp"},
      {{"--udp", "1.2.3.4", "--udp", "1.2.3.5"}, "give only one of --port, --udp and --tcp"},
      {{"a.ini", "b.ini"}, "only one script may be given, not also \"b.ini\""},
      {{"--bogus"}, "unknown option \"--bogus\""},
      {{"--readid=1"}, "unknown option \"--readid\""},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    TWindowOptions options;
    std::string error;
    EXPECT_FALSE(ParseWindowOptions(args, options, error));
    EXPECT_EQ(error, message);
  }
}

TEST(WindowOptionsTest, HelpAndVersionAreFlags) {
  TWindowOptions options;
  std::string error;
  ASSERT_TRUE(ParseWindowOptions({"--help", "--version"}, options, error));
  EXPECT_TRUE(options.Help);
  EXPECT_TRUE(options.Version);
  EXPECT_NE(WindowUsage().find("--local-port N"), std::string::npos);
}

TEST(WindowOptionsTest, LeavesQtsOwnOptionsToQt) {
  using TArgs = std::vector<std::string>;
  const std::vector<std::pair<TArgs, TArgs>> cases = {
      {{"-platform", "offscreen", "s.ini"}, {"s.ini"}},
      {{"--platform", "xcb", "--port", "COM2"}, {"--port", "COM2"}},
      {{"-style=Fusion", "-reverse", "--help"}, {"--help"}},
      {{"-stylesheet", "a.qss", "-widgetcount", "-display", ":1", "s.ini"}, {"s.ini"}},
      {{"s.ini", "-qmljsdebugger=port:1234", "--stylesheet=b.qss"}, {"s.ini"}},
      {{"-platform"}, {}},
      // Names that only look like Qt's stay.
      {{"-platforms", "--styles=x", "-style", "--"}, {"-platforms", "--styles=x"}},
      {{"--port", "-reverse"}, {"--port"}},
  };
  for (const auto& [args, kept] : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(WithoutToolkitOptions(args), kept);
  }
}

TEST(WindowOptionsTest, QtsOptionsDoNotCountAsTheScript) {
  TWindowOptions options;
  std::string error;
  ASSERT_TRUE(ParseWindowOptions(
      WithoutToolkitOptions({"-platform", "offscreen", "pkg/script.ini", "-style", "Fusion"}),
      options, error))
      << error;
  EXPECT_EQ(options.Script, "pkg/script.ini");
}

}  // namespace
