// The link's UDP endpoint and TCP client over fake sockets: sender filtering, zero
// bytes and the 8192-byte limit, rebinding and reconnecting on property writes,
// the send error box or the lost link, and TCP retries that back off on the event
// loop and give up within a bound.
#include <gtest/gtest.h>

#include "link/testing/fake_transports.h"

namespace {

using Events = std::vector<std::string>;

class Udp : public ::testing::Test {
 protected:
  void SetUp() override {
    link().SetIpRemoteAddress("192.168.0.10");
    link().SetConMode(MODE_RAW);
    link().SetConType(CON_UDP);
    f.RecordEvents();
    f.log.clear();
  }
  TComDriver& link() { return *f.link; }
  TFakeLink f;
};

TEST_F(Udp, AcceptsOnlyTheDevicesExactAddressTextAndPort) {
  struct Case {
    std::string address;
    int32_t port;
    bool taken;
  };
  const Case cases[] = {
      {"192.168.0.10", 10500, true},         {"192.168.0.10", 10501, false},
      {"192.168.0.11", 10500, false},        {"192.168.000.010", 10500, false},
      {"::ffff:192.168.0.10", 10500, false}, {"", 10500, false},
  };
  for (const Case& c : cases) {
    f.udp->Arrive("hi", c.address, c.port);
    EXPECT_EQ(link().ReadRaw(), c.taken ? "hi" : "") << c.address << ":" << c.port;
  }
  link().SetIpRemoteAddress("192.168.000.010");
  f.udp->Arrive("hi", "192.168.0.10", 10500);
  EXPECT_EQ(link().ReadRaw(), "") << "an address written with extra zeros never matches";
}

TEST_F(Udp, DatagramIsCutAtZeroByteAndAt8192Bytes) {
  f.udp->Arrive(std::string("ab\0cd", 5), "192.168.0.10", 10500);
  EXPECT_EQ(link().ReadRaw(), "ab");
  std::string big(9000, 'x');
  f.udp->Arrive(big, "192.168.0.10", 10500);
  EXPECT_EQ(link().ReadRaw(), std::string(8192, 'x'));
}

TEST_F(Udp, VarModeLinesArriveByDatagram) {
  link().SetConMode(MODE_VAR);
  f.udp->Arrive("DE", "192.168.0.10", 10500);
  f.udp->Arrive("V37\r\n", "192.168.0.10", 10500);
  EXPECT_EQ(link().DEV(), 37u);
}

TEST_F(Udp, SendsEachTextAsOneDatagramToTheDevice) {
  link().SetConMode(MODE_VAR);
  link().SetUPDATER(254);
  link().SetConMode(MODE_RAW);
  link().SendRaw("SYN\r");
  EXPECT_EQ(f.log,
            (TCallLog{"udp.send 192.168.0.10:10500 254yU", "udp.send 192.168.0.10:10500 SYN\r"}));
}

TEST_F(Udp, EveryLocalPortWriteRebinds) {
  link().SetIpLocalPort(10000);
  link().SetIpLocalPort(10007);
  EXPECT_EQ(f.log, (TCallLog{"udp.unbind", "udp.bind 10000", "udp.unbind", "udp.bind 10007"}));
  EXPECT_EQ(f.events, (Events{"IpLocalPort", "IpLocalPort"}));
  EXPECT_EQ(link().IpLocalPort(), 10007);
}

TEST_F(Udp, RemoteWritesRebindOnlyWhenTheValueChanges) {
  link().SetIpRemotePort(10500);
  link().SetIpRemoteAddress("192.168.0.10");
  EXPECT_TRUE(f.log.empty());
  link().SetIpRemotePort(10600);
  link().SetIpRemoteAddress("127.0.0.1");
  EXPECT_EQ(f.log, (TCallLog{"udp.unbind", "udp.bind 10000", "udp.unbind", "udp.bind 10000"}));
  EXPECT_EQ(f.events,
            (Events{"IpRemotePort", "IpRemoteAddress", "IpRemotePort", "IpRemoteAddress"}));
  f.udp->Arrive("new", "127.0.0.1", 10600);
  EXPECT_EQ(link().ReadRaw(), "new");
}

TEST_F(Udp, SendErrorClosesTheEndpointAndShowsTheText) {
  std::vector<std::string> boxes;
  link().OnShowMessage = [&](const std::string& text) { boxes.push_back(text); };
  f.udp->sendError = "Network unreachable";
  link().SendRaw("A");
  EXPECT_EQ(boxes, std::vector<std::string>{"Network unreachable"});
  EXPECT_FALSE(f.udp->IsBound());
  f.log.clear();
  link().SendRaw("B");  // the endpoint is closed now: skipped silently
  EXPECT_TRUE(f.log.empty());
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Udp, SendErrorIsALostLinkWhenTheOwnerListens) {
  std::vector<std::string> boxes;
  std::vector<std::string> lost;
  link().OnShowMessage = [&](const std::string& text) { boxes.push_back(text); };
  link().OnLinkLost = [&](TComDriver*, const TLinkLoss& loss) {
    lost.push_back(loss.Text);
    EXPECT_FALSE(loss.NeverOpened);
  };
  f.udp->sendError = "Network unreachable";
  link().SendRaw("A");
  EXPECT_EQ(lost, std::vector<std::string>{"UDP 192.168.0.10:10500: network unreachable"});
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(f.udp->IsBound());
}

TEST_F(Udp, InactiveEndpointSendsNothing) {
  f.udp->busyPorts.insert(10001);
  link().SetIpLocalPort(10001);
  f.log.clear();
  link().SetConMode(MODE_VAR);
  link().SendCommand(2);
  EXPECT_TRUE(f.log.empty());
  EXPECT_EQ(link().sentString(), "?");
}

TEST_F(Udp, LocalPortWriteOutsideUdpOnlyStores) {
  link().SetConType(CON_NONE);
  f.log.clear();
  link().SetIpLocalPort(12000);
  EXPECT_TRUE(f.log.empty());
  link().SetConType(CON_UDP);
  EXPECT_EQ(f.log, TCallLog{"udp.bind 12000"});
}

class Tcp : public ::testing::Test {
 protected:
  void SetUp() override {
    link().SetIpRemoteAddress("127.0.0.1");
    link().SetIpRemotePort(4000);
    link().SetConMode(MODE_RAW);
    link().SetConType(CON_TCP);
    f.log.clear();
  }
  TComDriver& link() { return *f.link; }
  TFakeLink f;
};

TEST_F(Tcp, RefusedAttemptsBackOffThenTheLinkIsLost) {
  std::vector<TLinkLoss> lost;
  link().OnLinkLost = [&](TComDriver*, const TLinkLoss& loss) { lost.push_back(loss); };
  while (f.tcp->pending) {
    f.tcp->Fail("Connection refused");
    EXPECT_FALSE(f.tcp->pending) << "no new attempt from inside the failing call";
    if (!lost.empty()) break;
    EXPECT_TRUE(link().TcpConnectPending());
    EXPECT_EQ(f.tcp->RunDeferred(), 1);
  }
  EXPECT_EQ(f.tcp->delays, (std::vector<uint32_t>{100, 200, 400, 800, 1600, 2000, 2000, 2000}));
  EXPECT_EQ(f.tcp->connects, 9);
  EXPECT_EQ(f.tcp->nowMs, 9100u);
  EXPECT_EQ(f.tcp->nestedConnects, 0);
  // A handful of attempts a second at worst: 9 attempts over 9.1 s of the fake clock.
  EXPECT_LE(f.tcp->connects * 1000, 2 * static_cast<int>(f.tcp->nowMs));
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0].Text, "TCP 127.0.0.1:4000: connection refused");
  EXPECT_TRUE(lost[0].NeverOpened);
  EXPECT_FALSE(link().TcpConnectPending());
  EXPECT_EQ(f.tcp->DeferredCount(), 0u) << "given up: nothing more is tried";
}

TEST_F(Tcp, ConTypeWriteEndsTheAttempts) {
  f.tcp->Fail("Connection refused");
  link().SetConType(CON_NONE);
  f.tcp->RunDeferred();
  EXPECT_EQ(f.tcp->connects, 1);
  EXPECT_FALSE(link().TcpConnectPending());
}

TEST_F(Tcp, APeerCloseIsRetriedAndNamedWhenReconnectingFails) {
  std::vector<TLinkLoss> lost;
  link().OnLinkLost = [&](TComDriver*, const TLinkLoss& loss) { lost.push_back(loss); };
  f.tcp->Accept();
  f.tcp->Fail("The remote host closed the connection", TLinkFault::LF_CLOSED);
  for (int i = 0; i < 3; ++i) {
    f.tcp->RunDeferred();
    f.tcp->Fail("Connection refused");
  }
  f.tcp->RunDeferred();
  f.tcp->Accept();  // back: the count starts again
  EXPECT_EQ(link().TcpFailedAttempts(), 0);
  f.tcp->Fail("The remote host closed the connection", TLinkFault::LF_CLOSED);
  while (lost.empty() && f.tcp->RunDeferred() == 1) f.tcp->Fail("Connection refused");
  EXPECT_EQ(f.tcp->delays, (std::vector<uint32_t>{100, 200, 400, 800,  //
                                                  100, 200, 400, 800, 1600, 2000, 2000, 2000}));
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0].Text,
            "TCP 127.0.0.1:4000: the remote host closed the connection; 8 attempts to reconnect "
            "failed (connection refused)");
  EXPECT_FALSE(lost[0].NeverOpened);
}

TEST_F(Tcp, AnAttemptThatFailsAtOnceDuringRetriesCountsAsAFailure) {
  std::vector<std::string> lost;
  link().OnLinkLost = [&](TComDriver*, const TLinkLoss& loss) { lost.push_back(loss.Text); };
  f.tcp->connectFailsAtOnce = true;
  f.tcp->Fail("Connection refused");
  while (lost.empty() && f.tcp->RunDeferred() == 1) {
  }
  EXPECT_EQ(f.tcp->connects, 9);
  EXPECT_EQ(lost, std::vector<std::string>{"TCP 127.0.0.1:4000: host not found"});
}

TEST_F(Tcp, RetryQueuedBeforeATargetChangeIsVoid) {
  f.tcp->Fail("Connection refused");
  link().SetIpRemotePort(4001);  // closes and starts its own attempt
  f.tcp->RunDeferred();
  EXPECT_EQ(f.log, (TCallLog{"tcp.close", "tcp.close", "tcp.connect 127.0.0.1:4001"}));
}

TEST_F(Tcp, PeerClosingAnEstablishedConnectionLeadsToANewAttempt) {
  f.tcp->Accept();
  EXPECT_FALSE(link().TcpConnectPending());
  f.tcp->Fail("The remote host closed the connection");
  f.tcp->RunDeferred();
  EXPECT_EQ(f.log, (TCallLog{"tcp.close", "tcp.connect 127.0.0.1:4000"}));
}

TEST_F(Tcp, SendsWhileConnectingAreDroppedAndLaterOnesGoOut) {
  EXPECT_TRUE(link().SendRaw("early"));
  f.tcp->Accept();
  EXPECT_TRUE(link().SendRaw("late"));
  EXPECT_EQ(f.tcp->wire, "late");
}

TEST_F(Tcp, SendLimitIs8192Bytes) {
  f.tcp->Accept();
  EXPECT_TRUE(link().SendRaw(std::string(8192, 'a')));
  EXPECT_FALSE(link().SendRaw(std::string(8193, 'b')));
  EXPECT_EQ(link().LastSendError(), "TCP send refused: 8193 bytes exceed the limit of 8192");
  EXPECT_EQ(f.tcp->wire, std::string(8192, 'a'));
}

TEST_F(Tcp, ReceivedBytesAreReadIn8192PiecesEachCutAtItsZeroByte) {
  f.tcp->Accept();
  f.tcp->Arrive(std::string("ab\0cd", 5));
  EXPECT_EQ(link().ReadRaw(), "ab");
  std::string burst = std::string(8192, 'x') + std::string("yz\0w", 4);
  f.tcp->Arrive(burst);
  EXPECT_EQ(link().ReadRaw(), std::string(8192, 'x') + "yz");
}

TEST_F(Tcp, RemoteWritesReconnectOnlyWhenTheValueChanges) {
  link().SetIpRemotePort(4000);
  link().SetIpRemoteAddress("127.0.0.1");
  EXPECT_TRUE(f.log.empty());
  link().SetIpRemoteAddress("127.0.0.2");
  EXPECT_EQ(f.log, (TCallLog{"tcp.close", "tcp.connect 127.0.0.2:4000"}));
}

TEST_F(Tcp, TargetWrittenOutsideTcpAppliesAtTheNextOpen) {
  link().SetConType(CON_NONE);
  link().SetIpRemotePort(4100);
  f.log.clear();
  link().SetConType(CON_TCP);
  EXPECT_EQ(f.log, TCallLog{"tcp.connect 127.0.0.1:4100"});
}

TEST_F(Tcp, AttemptThatFailsAtOnceLeavesTheClientClosed) {
  link().SetConType(CON_NONE);
  f.tcp->connectFailsAtOnce = true;
  link().SetConType(CON_TCP);
  EXPECT_FALSE(link().LastOpenOk());
  EXPECT_EQ(link().LastOpenError(), "Host not found");
  EXPECT_FALSE(link().TcpConnectPending());
  EXPECT_EQ(f.tcp->DeferredCount(), 0u);
}

TEST_F(Tcp, SameConTypeWriteDoesNotStartASecondAttempt) {
  link().SetConType(CON_TCP);
  EXPECT_EQ(f.tcp->connects, 1);
}

}  // namespace
