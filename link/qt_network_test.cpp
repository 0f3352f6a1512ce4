// The link over real loopback sockets (127.0.0.1 only): UDP sender filtering, zero
// bytes, rebinding on every local-port write, the send error box; TCP retries with
// no listener (few, and then given up), the 8192-byte limit, sends while connecting,
// and the device hanging up.
#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include "link/testing/qt_test_support.h"

namespace {

class QtUdp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.bind(QHostAddress::LocalHost, 0));
    localPort = FreeUdpPort();
    link().SetIpRemoteAddress("127.0.0.1");
    link().SetIpRemotePort(device.localPort());
    link().SetIpLocalPort(localPort);
    link().SetConMode(MODE_RAW);
    link().SetConType(CON_UDP);
    ASSERT_TRUE(link().LastOpenOk()) << link().LastOpenError();
  }
  void Send(QUdpSocket& from, const QByteArray& data) {
    ASSERT_EQ(from.writeDatagram(data, QHostAddress::LocalHost, localPort), data.size());
  }
  TComDriver& link() { return *q.link; }
  TQtLink q;
  QUdpSocket device;
  int32_t localPort = 0;
};

TEST_F(QtUdp, TakesDatagramsOnlyFromTheDevicesPort) {
  QUdpSocket stranger;
  ASSERT_TRUE(stranger.bind(QHostAddress::LocalHost, 0));
  Send(stranger, "x");
  Send(device, "y");
  ASSERT_TRUE(WaitFor([&] { return q.udpCount->datagrams == 2; }));
  EXPECT_EQ(q.got, "y");
}

TEST_F(QtUdp, ComparesTheSendersAddressAsText) {
  link().SetIpRemoteAddress("127.000.000.001");  // the same host, written differently
  Send(device, "x");
  ASSERT_TRUE(WaitFor([&] { return q.udpCount->datagrams == 1; }));
  EXPECT_EQ(q.got, "");
}

TEST_F(QtUdp, CutsADatagramAtItsFirstZeroByte) {
  Send(device, QByteArray("ab\0cd", 5));
  ASSERT_TRUE(WaitFor([&] { return !q.got.empty(); }));
  EXPECT_EQ(q.got, "ab");
}

TEST_F(QtUdp, SendsFromTheLocalPortToTheDevice) {
  link().SendRaw("SYN\r");
  ASSERT_TRUE(WaitFor([&] { return device.hasPendingDatagrams(); }));
  QNetworkDatagram d = device.receiveDatagram();
  EXPECT_EQ(d.data(), QByteArray("SYN\r"));
  EXPECT_EQ(d.senderPort(), localPort);
}

TEST_F(QtUdp, EveryLocalPortWriteRebinds) {
  Send(device, "queued");  // waits in the old socket: lost when it is rebound
  link().SetIpLocalPort(localPort);
  Send(device, "fresh");
  ASSERT_TRUE(WaitFor([&] { return !q.got.empty(); }));
  Drain();
  EXPECT_EQ(q.got, "fresh");
}

TEST_F(QtUdp, PortInUseLeavesTheEndpointClosed) {
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0));
  link().SetIpLocalPort(holder.localPort());
  QUdpSocket probe;
  EXPECT_TRUE(probe.bind(QHostAddress::AnyIPv4, localPort)) << "the old port was released";
  link().SetConType(CON_NONE);
  link().SetConType(CON_UDP);
  EXPECT_FALSE(link().LastOpenOk());
  EXPECT_EQ(link().LastOpenError(), "The bound address is already in use");
}

TEST_F(QtUdp, SendErrorClosesTheEndpointAndShowsItsText) {
  std::vector<std::string> boxes;
  link().OnShowMessage = [&](const std::string& text) { boxes.push_back(text); };
  link().SendRaw(std::string(70000, 'x'));  // larger than any UDP datagram
  EXPECT_EQ(boxes, std::vector<std::string>{"Datagram was too large to send"});
  Send(device, "after");
  Drain();
  EXPECT_EQ(q.udpCount->datagrams, 0);
  EXPECT_EQ(q.got, "");
}

class QtTcp : public ::testing::Test {
 protected:
  void SetUp() override {
    link().SetIpRemoteAddress("127.0.0.1");
    link().SetConMode(MODE_RAW);
  }
  // Starts listening and points the link at the listener.
  void Listen() {
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    link().SetIpRemotePort(server.serverPort());
  }
  QTcpSocket* Accept() {
    if (!WaitFor([&] { return server.hasPendingConnections(); })) return nullptr;
    return server.nextPendingConnection();
  }
  TComDriver& link() { return *q.link; }
  TQtLink q;
  QTcpServer server;
};

TEST_F(QtTcp, WithoutListenerAttemptsBackOffUntilConTypeChanges) {
  link().SetIpRemotePort(FreeTcpPort());
  link().SetConType(CON_TCP);
  // About one second of the real event loop. Without a pause between attempts this
  // was tens of thousands; with the back-off (100, 200, 400 ms...) it is four.
  QTest::qWait(1000);
  EXPECT_GE(q.tcpCount->connects, 2);
  EXPECT_LE(q.tcpCount->connects, 5);
  EXPECT_EQ(q.tcpCount->nestedConnects, 0);
  link().SetConType(CON_NONE);
  int attempts = q.tcpCount->connects;
  QTest::qWait(300);
  EXPECT_EQ(q.tcpCount->connects, attempts);
  EXPECT_FALSE(link().TcpConnectPending());
}

TEST_F(QtTcp, DestroyingTheLinkWithARetryUnderWayIsSafe) {
  const int32_t port = FreeTcpPort();
  link().SetIpRemotePort(port);
  link().SetConType(CON_TCP);
  ASSERT_TRUE(WaitFor([&] { return q.tcpCount->errors >= 1; }));
  q.link.reset();  // queued reports and retries must die with it
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, static_cast<quint16>(port)));
  Drain();
  EXPECT_FALSE(server.hasPendingConnections()) << "an attempt outlived the link";
}

TEST_F(QtTcp, TextSentWhileConnectingIsDroppedAndLaterTextGoesOut) {
  Listen();
  link().SetConType(CON_TCP);
  link().SendRaw("early");
  QTcpSocket* peer = Accept();
  ASSERT_NE(peer, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link().TcpConnectPending(); }));
  link().SendRaw("late");
  ASSERT_TRUE(WaitFor([&] { return peer->bytesAvailable() >= 4; }));
  Drain();
  EXPECT_EQ(peer->readAll(), QByteArray("late"));
}

TEST_F(QtTcp, SendsUpTo8192BytesAndRefusesMore) {
  Listen();
  link().SetConType(CON_TCP);
  QTcpSocket* peer = Accept();
  ASSERT_NE(peer, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link().TcpConnectPending(); }));
  EXPECT_TRUE(link().SendRaw(std::string(8192, 'a')));
  EXPECT_FALSE(link().SendRaw(std::string(8193, 'b')));
  QByteArray seen;
  ASSERT_TRUE(WaitFor([&] {
    seen += peer->readAll();
    return seen.size() >= 8192;
  }));
  Drain();
  seen += peer->readAll();
  EXPECT_EQ(seen, QByteArray(8192, 'a'));
}

TEST_F(QtTcp, DeviceTextArrivesCutAtZeroByte) {
  Listen();
  link().SetConType(CON_TCP);
  QTcpSocket* peer = Accept();
  ASSERT_NE(peer, nullptr);
  peer->write(QByteArray("ok\0lost", 7));
  ASSERT_TRUE(WaitFor([&] { return !q.got.empty(); }));
  EXPECT_EQ(q.got, "ok");
}

TEST_F(QtTcp, DeviceClosingTheConnectionLeadsToANewAttempt) {
  Listen();
  link().SetConType(CON_TCP);
  QTcpSocket* first = Accept();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link().TcpConnectPending(); }));
  first->close();
  QTcpSocket* second = Accept();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(q.tcpCount->connects, 2);
  ASSERT_TRUE(WaitFor([&] { return !link().TcpConnectPending(); }));
  link().SendRaw("again");
  ASSERT_TRUE(WaitFor([&] { return second->bytesAvailable() >= 5; }));
  EXPECT_EQ(second->readAll(), QByteArray("again"));
}

TEST_F(QtTcp, RemotePortWriteReconnectsToTheNewPort) {
  Listen();
  link().SetConType(CON_TCP);
  ASSERT_NE(Accept(), nullptr);
  QTcpServer other;
  ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
  link().SetIpRemotePort(other.serverPort());
  EXPECT_TRUE(WaitFor([&] { return other.hasPendingConnections(); }));
}

}  // namespace
