// End to end against the device emulator executable: the wake-up exchange in the
// variable protocol ("?" -> DEV, 1 and 254 written to UPDATER -> echo 254), the
// switch to raw mode and a raw exchange with the boot loader ("%" -> "."), over the
// emulator's pseudo-terminal (reopened at 57600 as a run does), UDP and TCP on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "emulator/testing/emulator_process.h"
#include "link/qt_link_factory.h"
#include "link/testing/qt_test_support.h"

namespace {

#ifdef QELT_EMULATOR_PATH
constexpr const char* kEmulatorPath = QELT_EMULATOR_PATH;
#else
constexpr const char* kEmulatorPath = nullptr;
#endif

class Emulator : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kEmulatorPath == nullptr) GTEST_SKIP() << "the emulator is not part of this build";
    emulator = std::make_unique<TEmulatorProcess>(QString::fromUtf8(kEmulatorPath),
                                                  QStringList{"--pty", "--udp", "0", "--tcp", "0"});
    ASSERT_TRUE(emulator->WaitReady()) << "the emulator did not announce READY";
    link = CreateQtComDriver();
    link->Tag = 1;
    link->OnRecString = [this](TComDriver* d, int32_t) { got += d->ReadRaw(); };
    link->SetConMode(MODE_VAR);
  }
  void TearDown() override {
    if (link) link->SetConType(CON_NONE);
  }

  // "?" -> DEV37; 1 then 254 to UPDATER -> UPD254; then raw mode.
  void WakeUpAndEnterUpdaterMode() {
    link->SendCommand(2);
    ASSERT_TRUE(WaitFor([&] { return link->DEV() == 37; })) << "no DEV report";
    EXPECT_EQ(link->receivedString(), "DEV37");
    EXPECT_EQ(link->sentString(), "?");
    link->SetUPDATER(1);
    link->SetUPDATER(254);
    EXPECT_EQ(link->sentString(), "254yU");
    ASSERT_TRUE(WaitFor([&] { return link->UPDATER() == 254; })) << "no updater echo";
    EXPECT_EQ(link->receivedString(), "UPD254");
    EXPECT_EQ(got, "") << "nothing is handed out raw in the variable protocol";
    link->SetConMode(MODE_RAW);
  }
  void RawExchange() {
    got += link->ReadRaw();  // a tail left from the variable protocol, if any
    got.clear();
    EXPECT_TRUE(link->SendRaw("%"));
    ASSERT_TRUE(WaitFor([&] { return !got.empty(); })) << "no answer in raw mode";
    Drain();
    EXPECT_EQ(got, ".");
  }

  std::unique_ptr<TEmulatorProcess> emulator;
  std::unique_ptr<TComDriver> link;
  std::string got;
};

TEST_F(Emulator, WakeUpAndRawExchangeOverThePseudoTerminal) {
  ASSERT_FALSE(emulator->Endpoint("PTY").empty());
  link->SetBaudRate(9600);
  link->SetPort(emulator->Endpoint("PTY"));
  link->SetConType(CON_RS232);
  ASSERT_TRUE(link->LastOpenOk()) << link->LastOpenError();
  WakeUpAndEnterUpdaterMode();
  // As a run does after synchronising: close, 57600, reopen.
  link->SetConType(CON_NONE);
  link->SetBaudRate(57600);
  link->SetConType(CON_RS232);
  ASSERT_TRUE(link->ComPort().Opened());
  EXPECT_EQ(link->ComPort().Baud(), 57600u);
  RawExchange();
}

TEST_F(Emulator, WakeUpAndRawExchangeOverUdp) {
  ASSERT_NE(emulator->Port("UDP"), 0);
  link->SetIpLocalPort(FreeUdpPort());
  link->SetIpRemotePort(emulator->Port("UDP"));
  link->SetIpRemoteAddress("127.0.0.1");
  link->SetConType(CON_UDP);
  ASSERT_TRUE(link->LastOpenOk()) << link->LastOpenError();
  WakeUpAndEnterUpdaterMode();
  RawExchange();
}

TEST_F(Emulator, WakeUpAndRawExchangeOverTcp) {
  ASSERT_NE(emulator->Port("TCP"), 0);
  link->SetIpRemotePort(emulator->Port("TCP"));
  link->SetIpRemoteAddress("127.0.0.1");
  link->SetConType(CON_TCP);
  ASSERT_TRUE(link->LastOpenOk()) << link->LastOpenError();
  ASSERT_TRUE(WaitFor([&] { return !link->TcpConnectPending(); })) << "no connection";
  WakeUpAndEnterUpdaterMode();
  RawExchange();
}

}  // namespace
