#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(SettingsFile, KeysMatchIgnoringCaseAndTheFirstMatchWins) {
  const Lines lines = {"junk", "con_type=TCP", "CON_TYPE=UDP", "A=B=C", "CON_TYPE =X"};
  EXPECT_EQ(FindSettingLine(lines, "CON_TYPE"), 1);
  EXPECT_EQ(SettingValue(lines, "CON_TYPE"), "TCP");
  EXPECT_EQ(SettingValue(lines, "a"), "B=C");         // the value runs past further "="
  EXPECT_EQ(FindSettingLine(lines, "CON_TYPE "), 4);  // blanks belong to the key
  EXPECT_EQ(FindSettingLine(lines, "junk"), -1);      // no "=": not a key line
  EXPECT_EQ(SettingValue(lines, "REMOTE_IP"), "");
}

TEST(SettingsFile, ReadingAppliesDefaultsAndExactValueComparisons) {
  struct Case {
    Lines lines;
    int con_type;
    int com_index;
  };
  const std::vector<Case> cases = {
      {{}, 0, 0},
      {{"CON_TYPE=RS232", "COM_PORT=COM4"}, 1, 3},
      {{"con_type=TCP"}, 3, 0},
      {{"CON_TYPE=tcp", "COM_PORT=COM9"}, 0, 8},    // value compares exactly
      {{"CON_TYPE = TCP", "COM_PORT=COM2"}, 0, 1},  // not the key: default NONE
      {{"CON_TYPE=UDP", "COM_PORT=COM5"}, 2, 0},    // network: the port is not read
      {{"COM_PORT=", "COM_PORT=COM3"}, 0, 0},       // first line empty: missing
      {{"COM_PORT=com3"}, 0, 0},
      {{"COM_PORT=COM10"}, 0, 0},
      {{"COM_PORT=COM1"}, 0, 0},
  };
  for (const Case& c : cases) {
    const TConnectionSettings s = ReadConnectionSettings(c.lines);
    EXPECT_EQ(s.ConType, c.con_type) << ::testing::PrintToString(c.lines);
    EXPECT_EQ(s.ComIndex, c.com_index) << ::testing::PrintToString(c.lines);
  }
}

TEST(SettingsFile, PortsThatAreNotWholeNumbersFallBackTo10500) {
  struct Case {
    const char* value;
    uint32_t port;
  };
  const std::vector<Case> cases = {{"4000", 4000}, {"0", 0},         {"65535", 65535},
                                   {"", 10500},    {"abc", 10500},   {"12x", 10500},
                                   {"-5", 10500},  {"70000", 10500}, {"1.5", 10500}};
  for (const Case& c : cases) {
    const Lines lines = {std::string("REMOTE_PORT=") + c.value,
                         std::string("local_port=") + c.value};
    const TConnectionSettings s = ReadConnectionSettings(lines);
    EXPECT_EQ(s.RemotePort, c.port) << c.value;
    EXPECT_EQ(s.LocalPort, c.port) << c.value;
  }
  const TConnectionSettings none = ReadConnectionSettings({"REMOTE_IP="});
  EXPECT_EQ(none.RemoteIp, "192.168.0.10");
}

TEST(SettingsFile, StoreRewritesTheLineReadingUsesAndAppendsOtherwise) {
  Lines lines = {"x=1", "COM_PORT=", "remote_ip=10.0.0.1", "LOCAL_PORT=5", "COM_PORT=COM4"};
  StoreSetting(lines, "COM_PORT", "COM2");      // the empty first line is the one read
  StoreSetting(lines, "REMOTE_IP", "1.2.3.4");  // replaced, key spelled as given
  StoreSetting(lines, "LOCAL_PORT", "");        // an empty value is kept as written
  StoreSetting(lines, "CON_TYPE", "");          // missing: appended even empty
  EXPECT_EQ(lines, (Lines{"x=1", "COM_PORT=COM2", "REMOTE_IP=1.2.3.4", "LOCAL_PORT=",
                          "COM_PORT=COM4", "CON_TYPE="}));
}

// Whatever duplicates and empty lines a file holds, what is written is what is read
// next, and writing the same settings again changes nothing.
TEST(SettingsFile, WrittenSettingsReadBackAndASecondWriteChangesNothing) {
  const std::vector<Lines> files = {
      {},
      {"REMOTE_IP=", "REMOTE_IP=10.0.0.9"},
      {"CON_TYPE=", "COM_PORT=", "COM_PORT=COM3", "con_type=TCP"},
      {"LOCAL_PORT=", "REMOTE_PORT=", "local_port=7", "# note", "remote_port=8"},
  };
  TConnectionSettings wanted;
  wanted.ConType = 1;
  wanted.ComIndex = 5;
  wanted.RemoteIp = "10.1.2.3";
  wanted.RemotePort = 4000;
  wanted.LocalPort = 4001;
  for (const Lines& file : files) {
    Lines lines = file;
    WriteConnectionSettings(lines, wanted);
    const TConnectionSettings read = ReadConnectionSettings(lines);
    EXPECT_EQ(read.ConType, wanted.ConType) << ::testing::PrintToString(file);
    EXPECT_EQ(read.ComIndex, wanted.ComIndex) << ::testing::PrintToString(file);
    EXPECT_EQ(read.RemoteIp, wanted.RemoteIp) << ::testing::PrintToString(file);
    EXPECT_EQ(read.RemotePort, wanted.RemotePort) << ::testing::PrintToString(file);
    EXPECT_EQ(read.LocalPort, wanted.LocalPort) << ::testing::PrintToString(file);
    const Lines once = lines;
    WriteConnectionSettings(lines, wanted);
    EXPECT_EQ(lines, once) << ::testing::PrintToString(file);
  }
}

TEST(SettingsFile, NoFileWritesTheFiveDefaultLines) {
  Lines lines;
  TConnectionSettings s;  // what the window holds after loading no file
  s.ConType = 1;
  s.LocalPort = 10500;
  WriteConnectionSettings(lines, s);
  EXPECT_EQ(lines, (Lines{"CON_TYPE=RS232", "COM_PORT=COM1", "REMOTE_IP=192.168.0.10",
                          "REMOTE_PORT=10500", "LOCAL_PORT=10500"}));
}

TEST(SettingsFile, RoundTripKeepsUnknownLinesInTheirPlaces) {
  Lines lines = {"# comment",
                 "CON_TYPE=UDP",
                 "COM3_DEVICE=/dev/ttyUSB0",
                 "REMOTE_PORT=4000",
                 "no equals here",
                 "LOCAL_PORT=4001",
                 ""};
  TConnectionSettings s = ReadConnectionSettings(lines);
  EXPECT_EQ(s.ConType, 2);
  EXPECT_EQ(s.RemoteIp, "192.168.0.10");
  EXPECT_EQ(s.RemotePort, 4000u);
  EXPECT_EQ(s.LocalPort, 4001u);
  WriteConnectionSettings(lines, s);
  EXPECT_EQ(lines, (Lines{"# comment", "CON_TYPE=UDP", "COM3_DEVICE=/dev/ttyUSB0",
                          "REMOTE_PORT=4000", "no equals here", "LOCAL_PORT=4001", "",
                          "COM_PORT=NA", "REMOTE_IP=192.168.0.10"}));
  EXPECT_EQ(ComDeviceSetting(lines, 3), "/dev/ttyUSB0");
  EXPECT_EQ(ComDeviceSetting(lines, 4), "");
}

TEST(SettingsFile, BlankedKeyLineStaysAndANewOneIsAppended) {
  Lines lines = {"CON_TYPE = TCP"};
  TConnectionSettings s = ReadConnectionSettings(lines);
  s.ConType = 1;
  WriteConnectionSettings(lines, s);
  EXPECT_EQ(lines.front(), "CON_TYPE = TCP");
  EXPECT_EQ(lines[1], "CON_TYPE=RS232");
}

TEST(SettingsFile, ConTypeWords) {
  EXPECT_EQ(ConTypeWord(0), "NONE");
  EXPECT_EQ(ConTypeWord(1), "RS232");
  EXPECT_EQ(ConTypeWord(2), "UDP");
  EXPECT_EQ(ConTypeWord(3), "TCP");
  EXPECT_EQ(ConTypeWord(7), "NONE");
}

}  // namespace
