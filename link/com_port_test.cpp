// The serial port component over a fake device: opening and its error text, the
// terminator's "#" form with both error messages, raw and line delivery, settings
// applied while open, and the modem-line and line-error notifications.
#include <gtest/gtest.h>

#include "link/testing/fake_transports.h"

namespace {

class ComPort : public ::testing::Test {
 protected:
  ComPort() {
    auto backend = std::make_unique<TFakeSerial>(&log);
    serial = backend.get();
    port = std::make_unique<TComPort>(std::move(backend));
    port->OnPortOpen = [this](TComPort*) { log.push_back("OnPortOpen"); };
    port->OnPortClose = [this](TComPort*) { log.push_back("OnPortClose"); };
    port->ReceiveCallBack = [this](const std::string& data) { got.push_back(data); };
  }
  TCallLog log;
  TFakeSerial* serial;
  std::unique_ptr<TComPort> port;
  std::vector<std::string> got;
};

TEST_F(ComPort, DefaultsMatchTheDevice) {
  EXPECT_EQ(port->Port(), "");
  EXPECT_FALSE(port->Opened());
  EXPECT_EQ(port->Baud(), 9600u);
  EXPECT_EQ(port->DataBits(), 8);
  EXPECT_EQ(port->Parity(), ptNONE);
  EXPECT_EQ(port->StopBits(), sbONE);
  EXPECT_EQ(port->WinQSizeIn(), 8192u);
  EXPECT_EQ(port->WinQSizeOut(), 8192u);
  EXPECT_EQ(port->ReceiveMode(), rmTERM);
  EXPECT_EQ(port->Terminator(), "#13#10");
}

TEST_F(ComPort, OpenFailureRaisesTheNameAndThePlatformMessage) {
  serial->missing.insert("/dev/nothing");
  port->SetPort("/dev/nothing");
  try {
    port->Open();
    FAIL() << "no error raised";
  } catch (const EComError& e) {
    EXPECT_EQ(std::string(e.what()),
              "TCOMPORT : cannot open /dev/nothing\rNo such file or directory");
    EXPECT_EQ(e.Reason, "No such file or directory");
  }
  EXPECT_FALSE(port->Opened());
  EXPECT_EQ(log, TCallLog{"serial.open /dev/nothing 9600"});
}

TEST_F(ComPort, OpenTwiceOpensOnce) {
  port->SetPort("/dev/pts/3");
  port->SetParity(ptEVEN);
  port->SetStopBits(snTWO);
  port->SetDataBits(7);
  port->SetWinQSizeIn(512);
  port->Open();
  port->Open();
  EXPECT_EQ(log, (TCallLog{"serial.open /dev/pts/3 9600", "OnPortOpen"}));
  EXPECT_TRUE(port->Opened());
  EXPECT_EQ(serial->settings.parity, ptEVEN);
  EXPECT_EQ(serial->settings.stopBits, snTWO);
  EXPECT_EQ(serial->settings.dataBits, 7);
  EXPECT_EQ(serial->settings.queueIn, 512u);
}

TEST_F(ComPort, WritesAndResetsWhileClosedDoNothing) {
  port->WriteString("lost");
  port->ResetLines();
  port->Close();
  EXPECT_TRUE(log.empty());
}

TEST_F(ComPort, BaudWhileOpenAppliesWithoutReopening) {
  port->SetPort("/dev/pts/3");
  port->Open();
  log.clear();
  port->SetBaud(57600);
  EXPECT_EQ(log, TCallLog{"serial.apply 57600"});
  port->Close();
  port->SetBaud(19200);
  EXPECT_EQ(log, (TCallLog{"serial.apply 57600", "serial.close", "OnPortClose"}));
}

TEST_F(ComPort, WriteStringHandsAllBytesOver) {
  port->SetPort("/dev/pts/3");
  port->Open();
  port->WriteString(std::string("A\0\xff", 3));
  EXPECT_EQ(serial->wire, std::string("A\0\xff", 3));
}

TEST_F(ComPort, TerminatorTextIsParsedAndReadBack) {
  struct Case {
    std::string text;
    std::string error;  // "" when accepted
    std::string raw;    // the terminator afterwards
    std::string reads;  // read back in "#" form
  };
  const std::string illegal =
      "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10";
  const std::string empty = "Terminator string cannot be empty!";
  const Case cases[] = {
      {"#13#10", "", "\r\n", "#13#10"},
      {"#10", "", "\n", "#10"},
      {"#269", "", "\r", "#13"},
      {"#0", "", std::string(1, '\0'), "#0"},
      {"#-1", "", "\xff", "#255"},
      {"x65#66", "", "AB", "#65#66"},  // the first character is skipped unseen
      {"", empty, "", ""},
      {"#", empty, "", ""},
      {"#13#x", illegal, "\r\n", "#13#10"},
      {"#13##10", illegal, "\r\n", "#13#10"},
      {"#99999999999", illegal, "\r\n", "#13#10"},
  };
  for (const Case& c : cases) {
    port->SetTerminator("#59");  // start from something else
    std::string error;
    try {
      port->SetTerminator(c.text);
    } catch (const EComError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(port->Terminator(), c.reads) << c.text;
  }
}

TEST_F(ComPort, TermModeDeliversOneLinePerReceiveEvent) {
  port->SetPort("/dev/pts/3");
  port->Open();
  serial->Feed("one\r\ntwo\r\nth");
  EXPECT_EQ(got, std::vector<std::string>{"one\r\n"});
  serial->Feed("ree");
  EXPECT_EQ(got, (std::vector<std::string>{"one\r\n", "two\r\n"}));
  serial->Feed("\r\n");
  EXPECT_EQ(got, (std::vector<std::string>{"one\r\n", "two\r\n", "three\r\n"}));
}

TEST_F(ComPort, TermModeHoldsTextUntilTheTerminatorArrives) {
  port->SetTerminator("#10");
  port->SetPort("/dev/pts/3");
  port->Open();
  serial->Feed("par");
  serial->Feed("tial");
  EXPECT_TRUE(got.empty());
  serial->Feed("\nx");
  EXPECT_EQ(got, std::vector<std::string>{"partial\n"});
}

TEST_F(ComPort, TermModeKeepsTheNewestTextPastItsCapAndCountsTheRest) {
  port->SetPort("/dev/pts/3");
  port->Open();
  serial->Feed(std::string(kLineBufferMax - 1, 'n'));
  EXPECT_EQ(port->DroppedBytes(), 0u);
  serial->Feed("oise");  // three bytes past the cap: the oldest three go
  EXPECT_EQ(port->DroppedBytes(), 3u);
  EXPECT_TRUE(got.empty());
  serial->Feed("\r\n");  // the line that ends is the newest text
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].size(), kLineBufferMax);
  EXPECT_EQ(got[0].substr(got[0].size() - 6), "oise\r\n");
  EXPECT_EQ(port->DroppedBytes(), 5u);
  serial->Feed("ok\r\n");
  EXPECT_EQ(got.back(), "ok\r\n");
}

TEST_F(ComPort, AVanishedDeviceClosesThePortThenReportsTheLoss) {
  std::vector<std::string> reasons;
  port->OnLost = [&](TComPort* sender, const std::string& reason) {
    EXPECT_EQ(sender, port.get());
    EXPECT_FALSE(sender->Opened());
    reasons.push_back(reason);
  };
  port->SetPort("/dev/pts/3");
  port->Open();
  log.clear();
  serial->Vanish("Input/output error");
  EXPECT_EQ(log, (TCallLog{"serial.close", "OnPortClose"}));
  EXPECT_EQ(reasons, std::vector<std::string>{"Input/output error"});
  serial->Vanish();  // closed already: nothing more
  EXPECT_EQ(reasons.size(), 1u);
}

TEST_F(ComPort, RawModeDeliversEachEventsBytesAsTheyAre) {
  port->SetReceiveMode(rmRAW);
  port->SetPort("/dev/pts/3");
  port->Open();
  serial->Feed(std::string("\0a\r\n", 4));
  serial->Feed("b");
  serial->Feed("");
  EXPECT_EQ(got, (std::vector<std::string>{std::string("\0a\r\n", 4), "b"}));
}

TEST_F(ComPort, BytesAreDroppedWhenClosedOrWithoutCallback) {
  port->SetReceiveMode(rmRAW);
  serial->Feed("closed");
  port->SetPort("/dev/pts/3");
  port->Open();
  port->ReceiveCallBack = nullptr;
  serial->Feed("nobody");
  EXPECT_TRUE(got.empty());
}

TEST_F(ComPort, ModemLineAndLineErrorNotifications) {
  std::vector<std::string> seen;
  auto line = [&](const char* name) {
    return [&seen, name](TComPort*, bool status) {
      seen.push_back(std::string(name) + (status ? " on" : " off"));
    };
  };
  port->OnCTSChanged = line("CTS");
  port->OnDSRChanged = line("DSR");
  port->OnRLSDChanged = line("RLSD");
  port->OnRingChanged = line("Ring");
  port->OnError = [&](TComPort*) { seen.push_back("Error"); };
  // True when the line was off before the change, so it has just come on.
  serial->OnStatus(kEvCts | kEvDsr | kEvRlsd | kEvRing | kEvLineErr, 0);
  serial->OnStatus(kEvCts | kEvDsr | kEvRlsd | kEvRing,
                   kStCtsOn | kStDsrOn | kStRlsdOn | kStRingOn);
  serial->OnStatus(kEvDsr, kStCtsOn);
  EXPECT_EQ(seen,
            (std::vector<std::string>{"CTS on", "DSR on", "RLSD on", "Ring on", "Error", "CTS off",
                                      "DSR off", "RLSD off", "Ring off", "DSR on"}));
}

TEST_F(ComPort, DestructionClosesWithoutNotifying) {
  port->SetPort("/dev/pts/3");
  port->Open();
  log.clear();
  port.reset();
  EXPECT_EQ(log, TCallLog{"serial.close"});
}

}  // namespace
