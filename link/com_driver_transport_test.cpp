// Choosing and switching transports: the close/open order of ConType, Port and
// BaudRate writes, pieces from the wrong transport, the first-open result, the
// serial port names and the order of closing at destruction.
#include <gtest/gtest.h>

#include "link/port_names.h"
#include "link/testing/fake_transports.h"
#include "testing/serial_names.h"

namespace {

using Events = std::vector<std::string>;

class Transports : public ::testing::Test {
 protected:
  TComDriver& link() { return *f.link; }
  TFakeLink f;
};

TEST_F(Transports, DefaultsAtCreation) {
  EXPECT_EQ(link().Port(), "");
  EXPECT_EQ(link().BaudRate(), 9600u);
  EXPECT_EQ(link().ConType(), CON_NONE);
  EXPECT_EQ(link().ConMode(), MODE_VAR);
  EXPECT_EQ(link().IpLocalPort(), 10000);
  EXPECT_EQ(link().IpRemotePort(), 10500);
  EXPECT_EQ(link().IpRemoteAddress(), "192.168.0.10");
  EXPECT_EQ(link().ComPort().ReceiveMode(), rmRAW);
  EXPECT_EQ(link().ComPort().Baud(), 9600u);
  EXPECT_FALSE(link().DIESE());
  EXPECT_FALSE(link().queryall());
  EXPECT_TRUE(f.log.empty()) << "nothing is opened at creation";
}

TEST_F(Transports, ConTypeClosesTheOldTransportThenOpensTheNew) {
  link().SetPort("COM2");
  f.log.clear();
  struct Step {
    tConnectionType to;
    TCallLog calls;
  };
  const Step steps[] = {
      {CON_RS232, {"serial.open " + DefaultComDevice(2) + " 9600"}},
      {CON_UDP, {"serial.reset", "serial.close", "udp.bind 10000"}},
      {CON_TCP, {"udp.unbind", "tcp.connect 192.168.0.10:10500"}},
      {CON_RS232, {"tcp.close", "serial.open " + DefaultComDevice(2) + " 9600"}},
      {CON_NONE, {"serial.reset", "serial.close", "tcp.close"}},
  };
  for (const Step& s : steps) {
    link().SetConType(s.to);
    EXPECT_EQ(f.log, s.calls) << "to " << int(s.to);
    EXPECT_TRUE(link().LastOpenOk());
    f.log.clear();
  }
}

TEST_F(Transports, SameConTypeOpensNothingButStillNotifies) {
  link().SetConType(CON_UDP);
  f.RecordEvents();
  f.log.clear();
  link().SetConType(CON_UDP);
  EXPECT_TRUE(f.log.empty());
  EXPECT_EQ(f.events, Events{"ConType"});
}

TEST_F(Transports, UnknownConTypeValueMeansNone) {
  link().SetConType(CON_UDP);
  f.log.clear();
  link().SetConType(static_cast<tConnectionType>(7));
  EXPECT_EQ(link().ConType(), CON_NONE);
  EXPECT_EQ(f.log, (TCallLog{"udp.unbind", "tcp.close"}));
}

TEST_F(Transports, EmptyPortOpensNothingAndReportsNoError) {
  link().SetConType(CON_RS232);
  EXPECT_TRUE(f.log.empty());
  EXPECT_TRUE(link().LastOpenOk());
  EXPECT_FALSE(link().ComPort().Opened());
}

TEST_F(Transports, FailedOpenIsSilentButRemembered) {
  f.serial->missing.insert(DefaultComDevice(9));
  f.serial->missingReason = "Permission denied";
  link().SetPort("COM9");
  link().SetConType(CON_RS232);  // must not throw
  EXPECT_FALSE(link().ComPort().Opened());
  EXPECT_FALSE(link().LastOpenOk());
  EXPECT_EQ(link().LastOpenError(), "Permission denied");
  link().SendCommand(2);  // dropped on the closed port
  EXPECT_EQ(f.serial->wire, "");
  link().SetConType(CON_NONE);
  EXPECT_TRUE(link().LastOpenOk());
  EXPECT_EQ(link().LastOpenError(), "");
}

TEST_F(Transports, FailedUdpBindIsRemembered) {
  f.udp->busyPorts.insert(10000);
  link().SetConType(CON_UDP);
  EXPECT_FALSE(link().LastOpenOk());
  EXPECT_EQ(link().LastOpenError(), "The bound address is already in use");
  EXPECT_FALSE(f.udp->IsBound());
}

TEST_F(Transports, BaudRateReopensAnOpenPortAtTheNewSpeed) {
  link().SetPort("/dev/pts/4");
  link().SetConType(CON_RS232);
  f.RecordEvents();
  f.log.clear();
  link().SetBaudRate(57600);
  EXPECT_EQ(f.log, (TCallLog{"serial.reset", "serial.close", "serial.open /dev/pts/4 57600"}));
  EXPECT_EQ(f.serial->settings.baud, 57600u);
  EXPECT_TRUE(f.events.empty()) << "no notification for Port and BaudRate";
}

TEST_F(Transports, PortAndBaudWithoutSerialConTypeOnlyStore) {
  link().SetConType(CON_UDP);
  f.log.clear();
  link().SetBaudRate(19200);
  link().SetPort("COM3");
  EXPECT_TRUE(f.log.empty());
  EXPECT_EQ(link().BaudRate(), 19200u);
  EXPECT_EQ(link().Port(), "COM3");
  EXPECT_EQ(link().ComPort().Port(), DefaultComDevice(3));
}

TEST_F(Transports, SequencerRunOrderReopensAt57600) {
  // ConMode VAR, BaudRate 9600, Port, CON_RS232; later CON_NONE, 57600, CON_RS232.
  link().SetBaudRate(9600);
  link().SetPort("COM1");
  link().SetConType(CON_RS232);
  link().SendCommand(2);
  link().SetConMode(MODE_RAW);
  link().SetConType(CON_NONE);
  link().SetBaudRate(57600);
  link().SetConType(CON_RS232);
  link().SendRaw("SYN");
  const std::string com1 = DefaultComDevice(1);
  EXPECT_EQ(f.log, (TCallLog{"serial.open " + com1 + " 9600", "serial.write ?", "serial.reset",
                             "serial.close", "tcp.close", "serial.open " + com1 + " 57600",
                             "serial.write SYN"}));
}

TEST_F(Transports, PiecesFromAnotherTransportAreDropped) {
  link().SetConMode(MODE_RAW);
  link().SetPort("COM1");
  link().SetIpRemoteAddress("127.0.0.1");
  link().SetConType(CON_UDP);
  f.serial->Feed("serial");  // the port is closed: TComPort drops it too
  f.tcp->Arrive("tcp");
  f.udp->Arrive("udp", "127.0.0.1", 10500);
  EXPECT_EQ(link().ReadRaw(), "udp");
  link().SetConType(CON_TCP);
  f.udp->Arrive("udp", "127.0.0.1", 10500);
  f.tcp->Arrive("tcp");
  EXPECT_EQ(link().ReadRaw(), "tcp");
}

TEST_F(Transports, SerialPieceWhileUdpIsSelectedIsDropped) {
  // The serial port open under another ConType cannot normally happen; force it
  // through the component to check the link's own filter.
  link().SetConMode(MODE_RAW);
  link().ComPort().SetPort("/dev/pts/1");
  link().ComPort().Open();
  link().SetConType(CON_UDP);
  f.serial->Feed("late");
  EXPECT_EQ(link().ReadRaw(), "");
}

TEST_F(Transports, DestructionClosesSerialThenUdpThenTcp) {
  link().SetPort("COM1");
  link().SetConType(CON_RS232);
  f.log.clear();
  TCallLog* log = &f.log;
  f.link.reset();
  EXPECT_EQ(*log, (TCallLog{"serial.reset", "serial.close", "tcp.close"}));
}

TEST_F(Transports, SerialPiecesKeepZeroBytes) {
  link().SetConMode(MODE_RAW);
  link().SetPort("COM1");
  link().SetConType(CON_RS232);
  f.serial->Feed(std::string("a\0b", 3));
  EXPECT_EQ(link().ReadRaw(), std::string("a\0b", 3));
}

// What each name opens: a mapped name its device (once: a mapped COM name becomes
// the platform's device for it, never the map's again), "COMn" the platform's
// device, anything else itself.
TEST(PortNames, ResolvesComNamesToThePlatformsDevices) {
  const std::map<std::string, std::string> map = {
      {"COM3", "/dev/ttyUSB0"}, {"COM4", ""}, {"COM5", "COM12"}, {"COM12", "COM7"}};
  struct Case {
    std::string name, device;
  };
#ifdef _WIN32
  const Case platform[] = {
      {"COM1", "COM1"},
      {"COM9", "COM9"},
      {"COM10", "\\\\.\\COM10"},
      {"COM12", "COM7"},
      {"COM255", "\\\\.\\COM255"},
      {"COM4096", "\\\\.\\COM4096"},
      {"COM4", "COM4"},
      {"COM5", "\\\\.\\COM12"},
      {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
  };
#else
  const Case platform[] = {
      {"COM1", "/dev/ttyS0"},  {"COM9", "/dev/ttyS8"},     {"COM10", "/dev/ttyS9"},
      {"COM12", "/dev/ttyS6"}, {"COM255", "/dev/ttyS254"}, {"COM4096", "/dev/ttyS4095"},
      {"COM4", "/dev/ttyS3"},  {"COM5", "/dev/ttyS11"},    {"/dev/pts/7", "/dev/pts/7"},
  };
#endif
  const Case everywhere[] = {
      {"COM3", "/dev/ttyUSB0"}, {"COM0", "COM0"},         {"COM", "COM"},
      {"COMx", "COMx"},         {"com1", "com1"},         {"", ""},
      {"COM4097", "COM4097"},   {"COM99999", "COM99999"}, {"COM012", "COM012"},
      {"pts/2", "pts/2"},
  };
  for (const Case& c : platform)
    EXPECT_EQ(ResolveSerialDeviceName(c.name, map), c.device) << c.name;
  for (const Case& c : everywhere) {
    EXPECT_EQ(ResolveSerialDeviceName(c.name, map), c.device) << c.name;
  }
  EXPECT_EQ(IsSerialDevicePath(TestDevicePath(3)), true);
  for (const char* name : {"COM1", "COM12", "", "dev/ttyS0", "\\\\?\\COM3", ".\\COM3"}) {
    EXPECT_FALSE(IsSerialDevicePath(name)) << name;
  }
}

// The port menu has COM1..COM9; a program reaches COM12 (a USB adapter's usual
// number on Windows) by mapping the ticked item to it.
TEST_F(Transports, AComPortBeyondTheMenuOpensThroughTheMap) {
  link().SetPort("COM1");
  link().SetComDeviceMap({{"COM1", "COM12"}});
  link().SetConType(CON_RS232);
  EXPECT_EQ(f.log, TCallLog{"serial.open " + DefaultComDevice(12) + " 9600"});
  EXPECT_EQ(link().Port(), "COM1");
  EXPECT_TRUE(link().ComPort().Opened());
}

TEST_F(Transports, ComDeviceMapAppliesAtTheNextOpen) {
  link().SetPort("COM2");
  link().SetComDeviceMap({{"COM2", "/dev/ttyACM0"}});
  link().SetConType(CON_RS232);
  EXPECT_EQ(f.serial->device, "/dev/ttyACM0");
  EXPECT_EQ(link().Port(), "COM2");
}

}  // namespace
