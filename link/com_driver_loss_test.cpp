// A link that loses its transport: a serial device that vanishes or cannot be
// opened again, received text that no longer fits, and the names the loss gives.
// The TCP and UDP losses are with the network tests.
#include <gtest/gtest.h>

#include "link/testing/fake_transports.h"
#include "testing/serial_names.h"

namespace {

class Loss : public ::testing::Test {
 protected:
  Loss() {
    link().OnLinkLost = [this](TComDriver* sender, const TLinkLoss& loss) {
      EXPECT_EQ(sender, &link());
      lost.push_back(loss.Text);
      if (loss.NeverOpened) lost.back() += " (never opened)";
    };
  }
  void OpenSerial(const std::string& port) {
    link().SetPort(port);
    link().SetConMode(MODE_RAW);
    link().SetConType(CON_RS232);
    ASSERT_TRUE(link().ComPort().Opened());
  }
  TComDriver& link() { return *f.link; }
  TFakeLink f;
  std::vector<std::string> lost;
};

TEST_F(Loss, AVanishedDeviceIsNamedAsTheOperatorGaveIt) {
  struct Case {
    std::string port;
    std::map<std::string, std::string> map;
    std::string text;
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", {}, "/dev/ttyUSB0 was disconnected"},
      {"COM3", {}, DefaultComLabel(3) + " was disconnected"},
      {"COM2", {{"COM2", "/dev/ttyACM0"}}, "COM2 (/dev/ttyACM0) was disconnected"},
  };
  for (const Case& c : cases) {
    TFakeLink fresh;
    std::vector<std::string> texts;
    fresh.link->OnLinkLost = [&](TComDriver*, const TLinkLoss& loss) {
      texts.push_back(loss.Text);
      EXPECT_FALSE(loss.NeverOpened);
    };
    std::vector<std::string> events;
    fresh.link->ComPort().OnPortClose = [&](TComPort*) { events.push_back("close"); };
    fresh.link->SetComDeviceMap(c.map);
    fresh.link->SetPort(c.port);
    fresh.link->SetConType(CON_RS232);
    fresh.serial->Vanish();
    EXPECT_EQ(texts, std::vector<std::string>{c.text}) << c.port;
    EXPECT_EQ(events, std::vector<std::string>{"close"}) << c.port;
    EXPECT_FALSE(fresh.link->ComPort().Opened());
  }
}

TEST_F(Loss, AVanishedDeviceAfterTheLinkMovedOnIsNotReported) {
  OpenSerial("COM1");
  link().ComPort().Close();  // the owner closed it first; a late report is void
  f.serial->Vanish();
  EXPECT_TRUE(lost.empty());
}

TEST_F(Loss, APortThatCannotBeReopenedAtANewSpeedIsLost) {
  OpenSerial("COM1");
  f.serial->missing.insert(DefaultComDevice(1));
  link().SetBaudRate(57600);
  EXPECT_EQ(lost,
            std::vector<std::string>{DefaultComLabel(1) +
                                     " could not be opened again: No such file or directory"});
  lost.clear();
  link().SetBaudRate(19200);  // closed by now: a quiet attempt, as at a first opening
  EXPECT_TRUE(lost.empty());
}

TEST_F(Loss, TheOpenFailuresKindIsKept) {
  const TLinkFault faults[] = {TLinkFault::LF_MISSING, TLinkFault::LF_PERMISSION,
                               TLinkFault::LF_BUSY, TLinkFault::LF_OTHER};
  f.serial->missing.insert(DefaultComDevice(5));
  link().SetPort("COM5");
  for (TLinkFault fault : faults) {
    f.serial->missingFault = fault;
    link().SetConType(CON_RS232);
    EXPECT_FALSE(link().LastOpenOk());
    EXPECT_EQ(link().LastOpenFault(), fault);
    link().SetConType(CON_NONE);
    EXPECT_EQ(link().LastOpenFault(), TLinkFault::LF_OTHER);
  }
  EXPECT_TRUE(lost.empty()) << "a first opening is reported by its result, not as a loss";
}

TEST_F(Loss, RawTextPastTheCapIsDroppedCountedAndReportedOnce) {
  OpenSerial("/dev/pts/3");  // nobody reads the buffer
  f.serial->Feed(std::string(kReceiveBufferMax - 2, 'a'));
  EXPECT_TRUE(lost.empty());
  f.serial->Feed("bcdef");
  f.serial->Feed("gh");
  EXPECT_EQ(link().DroppedBytes(), 5u);
  EXPECT_EQ(lost, std::vector<std::string>{
                      "Receive buffer full: 1048576 bytes were not read; received bytes dropped"});
  const std::string held = link().ReadRaw();
  EXPECT_EQ(held.size(), kReceiveBufferMax);
  EXPECT_EQ(held.substr(held.size() - 3), "abc");
  f.serial->Feed("after");  // read again: room again
  EXPECT_EQ(link().ReadRaw(), "after");
  f.serial->Feed(std::string(kReceiveBufferMax + 1, 'x'));
  EXPECT_EQ(lost.size(), 2u) << "a new overflow after a read is reported again";
  EXPECT_EQ(link().DroppedBytes(), 6u);
}

TEST_F(Loss, AConsumerThatReadsEveryDeliveryNeverReachesTheCap) {
  link().OnRecString = [](TComDriver* d, int32_t) { d->ReadRaw(); };
  OpenSerial("/dev/pts/3");
  for (int i = 0; i < 40; ++i) f.serial->Feed(std::string(64 * 1024, 'z'));
  EXPECT_EQ(link().DroppedBytes(), 0u);
  EXPECT_TRUE(lost.empty());
}

TEST_F(Loss, VarModeCountsTheTailItDrops) {
  OpenSerial("/dev/pts/3");
  link().SetConMode(MODE_VAR);
  f.serial->Feed("0123456789ABCDE");  // 15 characters without CR LF: 5 go
  EXPECT_EQ(link().ReceiveBuffer(), "56789ABCDE");
  EXPECT_EQ(link().DroppedBytes(), 5u);
  EXPECT_TRUE(lost.empty()) << "the wake-up protocol goes on without the lost head";
}

}  // namespace
