// A run whose link goes away: the serial device vanishing, a port that cannot be
// reopened at the run's speed, a TCP device that refuses or hangs up, and the
// low-latency note. Each ends the run through the error path with a message that
// names the link; nothing of it happens while idle. On fake transports and a fake
// clock; the device is silent unless a test answers for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/run_harness.h"
#include "app/testing/test_package.h"
#include "link/com_driver.h"
#include "testing/serial_names.h"

namespace {

using Lines = std::vector<std::string>;

int Count(const Lines& lines, const std::string& text) {
  int n = 0;
  for (const std::string& line : lines) n += line == text ? 1 : 0;
  return n;
}

class LinkLoss : public ::testing::Test {
 protected:
  TRunHarnessOptions Options() const {
    TRunHarnessOptions o;
    o.ProgramFolder = package.Dir();
    o.WorkingFolder = package.Dir();
    o.UserConfigFolder = package.Dir() + "user" + kPathSeparator;
    o.PackageCheck = false;  // no package: these runs end on the link, before any script
    return o;
  }
  // Starts a run and ticks until it waits on the boot loader's synchronisation.
  void StartAndWaitForSync(TRunHarness& h) {
    h.core->OnRunEnd = [this](TRunEnd end, const std::string& message, const std::string&) {
      ends.push_back(end == TRunEnd::RUN_FAILED ? "failed: " + message : "other");
    };
    h.core->StartClick();
    std::string why;
    ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 200, &why)) << why;
  }
  // Ticks until the run is over; the error box's text.
  std::string ErrorBox(TRunHarness& h) {
    std::string why;
    EXPECT_TRUE(h.RunToState(TSeqState::SEQ_IDLE, 200, &why)) << why;
    return h.view.Errors.empty() ? std::string("<no box>") : h.view.Errors.back();
  }
  std::string Script() const { return package.Dir() + "script.ini"; }

  TTestPackage package;
  Lines ends;
};

TEST_F(LinkLoss, ASerialDeviceThatVanishesEndsTheRunNamingThePort) {
  struct Case {
    std::string pick;  // "COM2" or a device path
    std::string text;
  };
  const Case cases[] = {
      {"COM2", DefaultComLabel(2) + " was disconnected"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0 was disconnected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pick);
    ends.clear();
    TRunHarness h(Options());
    if (c.pick == "COM2") {
      h.core->Com21Click();
    } else {
      h.core->DevicePortClick(c.pick);
    }
    StartAndWaitForSync(h);
    h.Serial().Vanish();  // between two ticks, as the event loop reports it
    EXPECT_EQ(h.core->SeqState(), TSeqState::SEQ_ERROR);
    EXPECT_EQ(ErrorBox(h), c.text + "\r\n" + Script());
    EXPECT_EQ(ends, Lines{"failed: " + c.text});
    EXPECT_EQ(Count(h.Log(), c.text), 1);
  }
}

TEST_F(LinkLoss, NothingIsReportedWhileIdle) {
  TRunHarness h(Options());
  h.Tick();
  h.core->Link().SetPort("COM1");
  h.core->Link().SetConType(CON_RS232);  // as if left open
  h.Serial().Vanish();
  h.Tick();
  EXPECT_EQ(h.core->SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_TRUE(h.view.Errors.empty());
  EXPECT_EQ(h.core->LastError(), "");
}

TEST_F(LinkLoss, APortThatCannotBeReopenedForTheBootLoaderEndsTheRun) {
  TRunHarness h(Options());
  h.core->StartClick();
  std::string why;
  ASSERT_TRUE(h.RunToState(TSeqState::SEQ_BOOT_SYNC, 200, &why)) << why;
  h.Serial().missing.insert(DefaultComDevice(1));  // unplugged after the wake-up
  h.Tick();
  EXPECT_EQ(ErrorBox(h), "Error while opening COM1\n" + DefaultComLabel(1) +
                             ": No such file or directory\n"
                             "is the adapter plugged in? `--list-ports`\r\n" +
                             Script());
}

TEST_F(LinkLoss, ATcpDeviceThatRefusesEndsTheRunAfterTheBoundedRetries) {
  package.Write("Updater.prm", "CON_TYPE=TCP\r\nREMOTE_IP=10.0.0.5\r\nREMOTE_PORT=1\r\n");
  TRunHarnessOptions o = Options();
  o.TcpRefused = true;
  TRunHarness h(o);
  std::string why;
  ASSERT_TRUE(h.RunStart(200, &why)) << why;
  EXPECT_EQ(h.Tcp().connects, 1 + kTcpRetries);
  EXPECT_EQ(h.view.Errors, Lines{"Error while opening LAN Device\nTCP 10.0.0.5:1: connection "
                                 "refused\r\n" +
                                 Script()});
  const size_t attempts = static_cast<size_t>(h.Tcp().connects);
  h.Tick();
  h.Tick();
  EXPECT_EQ(static_cast<size_t>(h.Tcp().connects), attempts) << "idle: no more attempts";
}

TEST_F(LinkLoss, ATcpDeviceThatHangsUpMidRunIsRetriedThenNamed) {
  package.Write("Updater.prm", "CON_TYPE=TCP\r\nREMOTE_IP=10.0.0.5\r\nREMOTE_PORT=4000\r\n");
  TRunHarness h(Options());
  StartAndWaitForSync(h);
  h.Tcp().connectFailsAtOnce = false;
  h.Tcp().Fail("The remote host closed the connection", TLinkFault::LF_CLOSED);
  // The device stays away: every new attempt is refused.
  for (int i = 0; i < 20 && h.core->SeqState() != TSeqState::SEQ_ERROR; ++i) {
    h.Tcp().RunDeferred();
    if (h.Tcp().pending) h.Tcp().Fail("Connection refused");
  }
  EXPECT_EQ(ErrorBox(h),
            "TCP 10.0.0.5:4000: the remote host closed the connection; 8 attempts to reconnect "
            "failed (connection refused)\r\n" +
                Script());
}

TEST_F(LinkLoss, ADriverThatRefusesLowLatencyIsNotedOncePerRun) {
  TRunHarnessOptions o = Options();
  o.LowLatency = TLowLatency::LL_REFUSED;
  TRunHarness h(o);
  h.core->DevicePortClick("/dev/pts/4");
  StartAndWaitForSync(h);  // opened twice: 9600 baud, then 57600
  const std::string note =
      "/dev/pts/4: the serial driver refused low latency; replies may wait a few milliseconds";
  EXPECT_EQ(Count(h.Log(), note), 1);
  EXPECT_EQ(h.Log().at(0), note) << "told as the port opens";

  TRunHarness quiet(Options());  // a driver that takes it: nothing to say
  quiet.core->StartClick();
  quiet.Tick();  // opens the link
  quiet.Tick();  // wakes the device
  EXPECT_EQ(quiet.Log(), Lines{"Synchronize..."});
}

}  // namespace
