// The connection options both programs read: what each value sets, where the two
// programs' rules differ, and the part of a refused value that is named.
#include "app/connection_options.h"

#include <gtest/gtest.h>

#include "link/com_driver.h"
#include "link/port_names.h"
#include "testing/serial_names.h"

namespace {

constexpr TConnectionRules kStrict{.ComAnyCase = false, .LowestRemotePort = 0};
constexpr TConnectionRules kLenient{.ComAnyCase = true, .LowestRemotePort = 1};

// A device path of this platform with lower-case letters, and one of the other
// platform, which is no device path here.
#ifdef _WIN32
constexpr const char* kCaseKeptPath = "\\\\.\\com1";
constexpr const char* kOtherPlatformsPath = "/dev/ttyUSB0";
#else
constexpr const char* kCaseKeptPath = "/dev/com1";
constexpr const char* kOtherPlatformsPath = "\\\\.\\COM12";
#endif

struct TTakenCase {
  const char* name;
  std::string value;
  TConnectionRules rules;
  std::string port;
  uint8_t mode;
  std::string host;
  int64_t remote;  // -1: unset
  int64_t local;   // -1: unset
};

int64_t Or(const std::optional<uint32_t>& value) { return value ? int64_t{*value} : -1; }

TEST(ConnectionOptions, EachValueSetsItsFields) {
  const TTakenCase cases[] = {
      {"--port", "COM1", kStrict, "COM1", 0, "", -1, -1},
      {"--port", "COM9", kStrict, "COM9", 0, "", -1, -1},
      {"--port", "cOm4", kLenient, "COM4", 0, "", -1, -1},
      {"--port", "COM12", kStrict, "COM12", 0, "", -1, -1},  // USB adapters get such numbers
      {"--port", "com4096", kLenient, "COM4096", 0, "", -1, -1},
      {"--port", TestDevicePath(0), kLenient, TestDevicePath(0), 0, "", -1, -1},
      {"--port", kCaseKeptPath, kLenient, kCaseKeptPath, 0, "", -1, -1},  // a path keeps its case
      {"--udp", "127.0.0.1", kStrict, "", CON_UDP, "127.0.0.1", -1, -1},
      {"--udp", "10.0.0.1:0", kStrict, "", CON_UDP, "10.0.0.1", 0, -1},
      {"--tcp", "10.0.0.1:1", kLenient, "", CON_TCP, "10.0.0.1", 1, -1},
      {"--tcp", "255.255.255.255:65535", kLenient, "", CON_TCP, "255.255.255.255", 65535, -1},
      {"--local-port", "0", kLenient, "", 0, "", -1, 0},
      {"--local-port", "65535", kStrict, "", 0, "", -1, 65535},
  };
  for (const TTakenCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    TConnectionOptions options;
    const TConnectionError error = ReadConnectionOption(c.name, c.value, c.rules, options);
    EXPECT_EQ(error.Fault, TConnectionFault::CF_NONE);
    EXPECT_EQ(error.Text, "");
    EXPECT_EQ(options.Port, c.port);
    EXPECT_EQ(options.NetMode, c.mode);
    EXPECT_EQ(options.Host, c.host);
    EXPECT_EQ(Or(options.RemotePort), c.remote);
    EXPECT_EQ(Or(options.LocalPort), c.local);
  }
}

TEST(ConnectionOptions, ARefusalNamesThePartAtFaultAndChangesNothing) {
  const struct {
    const char* name;
    const char* value;
    TConnectionRules rules;
    TConnectionFault fault;
    std::string text;
  } cases[] = {
      {"--port", "com1", kStrict, TConnectionFault::CF_PORT_NAME, "com1"},
      {"--port", "COM0", kLenient, TConnectionFault::CF_PORT_NAME, "COM0"},
      {"--port", "COM4097", kLenient, TConnectionFault::CF_PORT_NAME, "COM4097"},
      {"--port", "COM012", kLenient, TConnectionFault::CF_PORT_NAME, "COM012"},
      {"--port", kOtherPlatformsPath, kLenient, TConnectionFault::CF_PORT_NAME,
       kOtherPlatformsPath},
      {"--port", "ttyS0", kLenient, TConnectionFault::CF_PORT_NAME, "ttyS0"},
      {"--port", "", kLenient, TConnectionFault::CF_PORT_NAME, ""},
      {"--udp", "device.local:4000", kStrict, TConnectionFault::CF_ADDRESS, "device.local"},
      {"--tcp", "1.2.3.256:80", kLenient, TConnectionFault::CF_ADDRESS, "1.2.3.256"},
      {"--tcp", ":80", kLenient, TConnectionFault::CF_ADDRESS, ""},
      {"--tcp", "1.2.3.4:0", kLenient, TConnectionFault::CF_REMOTE_PORT, "0"},
      {"--udp", "1.2.3.4:65536", kStrict, TConnectionFault::CF_REMOTE_PORT, "65536"},
      {"--udp", "1.2.3.4:", kStrict, TConnectionFault::CF_REMOTE_PORT, ""},
      {"--udp", "1.2.3.4:+80", kStrict, TConnectionFault::CF_REMOTE_PORT, "+80"},
      {"--udp", "1.2.3.4:80:81", kStrict, TConnectionFault::CF_REMOTE_PORT, "80:81"},
      {"--local-port", "-1", kStrict, TConnectionFault::CF_LOCAL_PORT, "-1"},
      {"--local-port", "65536", kLenient, TConnectionFault::CF_LOCAL_PORT, "65536"},
      {"--local-port", " 5", kLenient, TConnectionFault::CF_LOCAL_PORT, " 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    TConnectionOptions options;
    options.Port = "COM2";
    options.NetMode = CON_TCP;
    options.Host = "10.9.8.7";
    options.RemotePort = 77;
    options.LocalPort = 78;
    const TConnectionError error = ReadConnectionOption(c.name, c.value, c.rules, options);
    EXPECT_EQ(error.Fault, c.fault);
    EXPECT_EQ(error.Text, c.text);
    EXPECT_EQ(options.Port, "COM2");
    EXPECT_EQ(options.NetMode, CON_TCP);
    EXPECT_EQ(options.Host, "10.9.8.7");
    EXPECT_EQ(Or(options.RemotePort), 77);
    EXPECT_EQ(Or(options.LocalPort), 78);
  }
}

TEST(ConnectionOptions, NamesAndComIndexes) {
  for (const char* name : {"--port", "--udp", "--tcp"}) {
    EXPECT_TRUE(IsLinkOption(name)) << name;
    EXPECT_TRUE(IsConnectionOption(name)) << name;
  }
  EXPECT_FALSE(IsLinkOption("--local-port"));
  EXPECT_TRUE(IsConnectionOption("--local-port"));
  for (const char* name : {"--readid", "--port=", "port", "--PORT", ""}) {
    EXPECT_FALSE(IsConnectionOption(name)) << name;
  }
  const struct {
    const char* name;
    int number, item;
  } ports[] = {
      {"COM1", 1, 1},           {"COM9", 9, 9},    {"COM10", 10, 0}, {"COM12", 12, 0},
      {"COM4096", 4096, 0},     {"COM4097", 0, 0}, {"COM0", 0, 0},   {"COM012", 0, 0},
      {"com1", 0, 0},           {"COM", 0, 0},     {"COMx", 0, 0},   {"/dev/COM1", 0, 0},
      {"COM99999999999", 0, 0},
  };
  for (const auto& p : ports) {
    EXPECT_EQ(ComPortNumber(p.name), p.number) << p.name;
    EXPECT_EQ(ComMenuItem(p.name), p.item) << p.name;
  }
}

TEST(ConnectionOptions, AnOptionsValueFollowsItsEqualsSignOrIsTheNextArgument) {
  const struct {
    std::vector<std::string> args;
    size_t at;
    bool taken;
    std::string value;  // or the error
    size_t next;        // where `i` stands afterwards
  } cases[] = {
      {{"--port=COM1"}, 0, true, "COM1", 0},
      {{"--port", "COM1"}, 0, true, "COM1", 1},
      {{"a.ini", "--tcp", "1.2.3.4", "--x"}, 1, true, "1.2.3.4", 2},
      {{"--log="}, 0, true, "", 0},
      {{"--udp=1.2.3.4=5"}, 0, true, "1.2.3.4=5", 0},
      {{"--port", "--udp"}, 0, true, "--udp", 1},
      {{"--port"}, 0, false, "--port needs a value", 0},
      {{"a.ini", "--local-port"}, 1, false, "--local-port needs a value", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    size_t i = c.at;
    std::string value;
    std::string error;
    EXPECT_EQ(OptionValue(c.args, i, value, error), c.taken);
    EXPECT_EQ(c.taken ? value : error, c.value);
    EXPECT_EQ(c.taken ? error : value, "");
    EXPECT_EQ(i, c.next);
  }
}

}  // namespace
