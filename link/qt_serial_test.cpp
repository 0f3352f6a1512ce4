// The serial port on Qt's serial backend against a pseudo-terminal played by the
// test: every byte value both ways, the open error text, queues discarded by
// ResetLines on a port without modem lines, and speed changes while open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/com_port.h"
#include "link/qt_link_factory.h"
#include "link/testing/pty_pair_posix.h"
#include "link/testing/qt_test_support.h"

namespace {

class QtSerial : public ::testing::Test {
 protected:
  QtSerial() : port(std::make_unique<TQtSerialBackend>()) {
    port.SetReceiveMode(rmRAW);
    port.ReceiveCallBack = [this](const std::string& data) { got += data; };
    port.OnPortOpen = [this](TComPort*) { events.push_back("open"); };
    port.OnPortClose = [this](TComPort*) { events.push_back("close"); };
  }
  void OpenPty() {
    ASSERT_TRUE(pty.ok());
    port.SetPort(pty.path());
    port.Open();
    ASSERT_TRUE(port.Opened());
  }
  TPtyPair pty;
  TComPort port;
  std::string got;
  std::vector<std::string> events;
};

std::string AllByteValues() {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  return all;
}

TEST_F(QtSerial, OpeningAMissingDeviceRaisesTheExactError) {
  port.SetPort("/dev/qelt-no-such-port");
  try {
    port.Open();
    FAIL() << "no error raised";
  } catch (const EComError& e) {
    EXPECT_EQ(std::string(e.what()),
              "TCOMPORT : cannot open /dev/qelt-no-such-port\rNo such file or directory");
  }
  EXPECT_FALSE(port.Opened());
  EXPECT_TRUE(events.empty());
}

TEST_F(QtSerial, LinkReportsTheReasonOfAFailedFirstOpen) {
  auto link = CreateQtComDriver();
  link->SetPort("/dev/qelt-no-such-port");
  link->SetConType(CON_RS232);
  EXPECT_FALSE(link->LastOpenOk());
  EXPECT_EQ(link->LastOpenError(), "No such file or directory");
  EXPECT_FALSE(link->ComPort().Opened());
}

TEST_F(QtSerial, OpenFailuresAreSortedByKind) {
  OpenPty();  // held by this port: a second opening finds it busy
  struct Case {
    std::string device;
    TLinkFault fault;
    std::string text;
  };
  const Case cases[] = {
      {"/dev/qelt-no-such-port", TLinkFault::LF_MISSING, "No such file or directory"},
      {pty.path(), TLinkFault::LF_BUSY, "Permission error while locking the device"},
      {"/dev/null", TLinkFault::LF_NOT_SERIAL, "Inappropriate ioctl for device"},
  };
  for (const Case& c : cases) {
    TQtSerialBackend backend;
    TLinkError error;
    EXPECT_FALSE(backend.Open(c.device, TSerialSettings{}, error)) << c.device;
    EXPECT_EQ(error.Fault, c.fault) << c.device;
    EXPECT_EQ(error.Text, c.text) << c.device;
    EXPECT_FALSE(backend.IsOpen());
  }
}

TEST_F(QtSerial, APseudoTerminalRefusesLowLatency) {
  OpenPty();
  EXPECT_EQ(port.LowLatency(), TLowLatency::LL_REFUSED);
  port.Close();
  EXPECT_EQ(port.LowLatency(), TLowLatency::LL_NOT_ASKED);
}

TEST_F(QtSerial, AFarEndThatGoesAwayIsALostLinkNamedByItsPath) {
  ASSERT_TRUE(pty.ok());
  auto link = CreateQtComDriver();
  std::vector<TLinkLoss> lost;
  link->OnLinkLost = [&](TComDriver*, const TLinkLoss& loss) { lost.push_back(loss); };
  link->SetConMode(MODE_RAW);
  link->SetPort(pty.path());
  link->SetConType(CON_RS232);
  ASSERT_TRUE(link->LastOpenOk()) << link->LastOpenError();
  pty.Hangup();
  ASSERT_TRUE(WaitFor([&] { return !lost.empty(); }));
  Drain();
  ASSERT_EQ(lost.size(), 1u) << "reported once, not once per read error";
  EXPECT_EQ(lost[0].Text, pty.path() + " was disconnected");
  EXPECT_FALSE(link->ComPort().Opened());
  link->SendRaw("into nothing");  // dropped, raises nothing
  Drain();
  EXPECT_EQ(lost.size(), 1u);
}

TEST_F(QtSerial, AccessDeniedGivesThePlatformsPermissionText) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any device; run as an ordinary user";
  ASSERT_TRUE(pty.ok());
  ASSERT_EQ(chmod(pty.path().c_str(), 0), 0);
  port.SetPort(pty.path());
  try {
    port.Open();
    FAIL() << "no error raised";
  } catch (const EComError& e) {
    EXPECT_EQ(std::string(e.what()),
              "TCOMPORT : cannot open " + pty.path() + "\rPermission denied");
    EXPECT_EQ(e.Fault, TLinkFault::LF_PERMISSION);
  }
  EXPECT_FALSE(port.Opened());
}

TEST_F(QtSerial, ASecondOpenOfTheSameDeviceIsRefused) {
  OpenPty();
  TComPort other(std::make_unique<TQtSerialBackend>());
  other.SetPort(pty.path());
  try {
    other.Open();
    FAIL() << "opened twice";
  } catch (const EComError& e) {
    EXPECT_EQ(std::string(e.what()), "TCOMPORT : cannot open " + pty.path() +
                                         "\rPermission error while locking the device");
  }
  EXPECT_FALSE(other.Opened());
  EXPECT_TRUE(port.Opened());
}

TEST_F(QtSerial, EveryByteValuePassesBothWays) {
  OpenPty();
  ASSERT_TRUE(pty.Write(AllByteValues()));
  ASSERT_TRUE(WaitFor([&] { return got.size() >= 256; }));
  EXPECT_EQ(got, AllByteValues());
  port.WriteString(AllByteValues());
  std::string wire;
  ASSERT_TRUE(WaitFor([&] {
    wire += pty.Read();
    return wire.size() >= 256;
  }));
  EXPECT_EQ(wire, AllByteValues());
}

TEST_F(QtSerial, OpensAPortWithoutModemLinesAndResetLinesDiscardsInput) {
  OpenPty();
  port.ResetLines();  // DTR and RTS are not available on a pseudo-terminal
  EXPECT_TRUE(port.Opened());
  ASSERT_TRUE(pty.Write("stale"));
  port.ResetLines();
  ASSERT_TRUE(pty.Write("fresh"));
  ASSERT_TRUE(WaitFor([&] { return got.size() >= 5; }));
  Drain();
  EXPECT_EQ(got, "fresh");
}

TEST_F(QtSerial, OpenDiscardsWhatWaitedWhileClosed) {
  OpenPty();
  port.Close();
  ASSERT_TRUE(pty.Write("old"));
  port.Open();
  ASSERT_TRUE(pty.Write("new"));
  ASSERT_TRUE(WaitFor([&] { return got.size() >= 3; }));
  Drain();
  EXPECT_EQ(got, "new");
}

TEST_F(QtSerial, SpeedChangesWhileOpenWithoutReopening) {
  OpenPty();
  events.clear();
  port.SetBaud(57600);
  EXPECT_TRUE(events.empty());
  ASSERT_TRUE(pty.Write("fast"));
  ASSERT_TRUE(WaitFor([&] { return got == "fast"; }));
}

TEST_F(QtSerial, ClosedPortDropsWritesAndDeliversNothing) {
  OpenPty();
  port.Close();
  port.WriteString("lost");
  EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
  Drain();
  EXPECT_EQ(pty.Read(), "");
}

}  // namespace
