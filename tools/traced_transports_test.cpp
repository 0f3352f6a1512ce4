// The tracing decorators pass every call and callback through unchanged and report
// exactly the bytes that leave and arrive, on all three transports and through a
// whole device link.
#include "tools/traced_transports.h"

#include <gtest/gtest.h>

#include "link/testing/fake_transports.h"

namespace {

struct TTraffic {
  std::vector<std::string> seen;  // "> bytes" / "< bytes"
  TTrafficObserver Observer() {
    return [this](TTraceDir dir, const std::string& bytes) {
      seen.push_back((dir == TTraceDir::TRACE_SENT ? "> " : "< ") + bytes);
    };
  }
};

}  // namespace

TEST(TracedTransports, SerialReportsWhatLeavesAndArrives) {
  TCallLog log;
  TTraffic traffic;
  auto fake = std::make_unique<TFakeSerial>(&log);
  TFakeSerial* serial = fake.get();
  TTracedSerial traced(std::move(fake), traffic.Observer());
  std::string received;
  traced.OnReceive = [&](const std::string& bytes) { received += bytes; };
  uint32_t status_mask = 0;
  traced.OnStatus = [&](uint32_t mask, uint32_t) { status_mask = mask; };
  std::string lost;
  traced.OnLost = [&](const std::string& reason) { lost = reason; };

  traced.Write("dropped");  // closed: nothing leaves
  TLinkError error;
  serial->lowLatency = TLowLatency::LL_REFUSED;
  ASSERT_TRUE(traced.Open("/dev/pts/4", TSerialSettings{57600}, error));
  EXPECT_EQ(traced.LowLatency(), TLowLatency::LL_REFUSED);
  EXPECT_TRUE(traced.IsOpen());
  traced.Write("PB");
  serial->Feed(".");
  serial->OnStatus(kEvCts, kStCtsOn);
  EXPECT_TRUE(serial->wire.ends_with("PB")) << serial->wire;
  EXPECT_EQ(serial->device, "/dev/pts/4");
  EXPECT_EQ(received, ".");
  EXPECT_EQ(status_mask, kEvCts);
  EXPECT_EQ(traffic.seen, (std::vector<std::string>{"> PB", "< ."}));
  serial->Vanish("Input/output error");
  EXPECT_EQ(lost, "Input/output error");
}

TEST(TracedTransports, UdpReportsSentAndReceivedDatagrams) {
  TCallLog log;
  TTraffic traffic;
  auto fake = std::make_unique<TFakeUdp>(&log);
  TFakeUdp* udp = fake.get();
  TTracedUdp traced(std::move(fake), traffic.Observer());
  std::string from;
  traced.OnDatagram = [&](const std::string& data, const std::string& address, int32_t port) {
    from = data + "@" + address + ":" + std::to_string(port);
  };
  std::string error;
  ASSERT_TRUE(traced.Bind(10500, error));
  EXPECT_EQ(traced.BoundPort(), 10500);
  EXPECT_TRUE(traced.SendTo("127.0.0.1", 4000, "?", error));
  udp->sendError = "Network unreachable";
  EXPECT_FALSE(traced.SendTo("127.0.0.1", 4000, "lost", error));
  EXPECT_EQ(error, "Network unreachable");
  udp->Arrive("DEV37\r\n", "127.0.0.1", 4000);
  EXPECT_EQ(from, "DEV37\r\n@127.0.0.1:4000");
  EXPECT_EQ(traffic.seen, (std::vector<std::string>{"> ?", "< DEV37\r\n"}));
}

TEST(TracedTransports, TcpPassesConnectionEventsThrough) {
  TCallLog log;
  TTraffic traffic;
  auto fake = std::make_unique<TFakeTcp>(&log);
  TFakeTcp* tcp = fake.get();
  TTracedTcp traced(std::move(fake), traffic.Observer());
  int connected = 0;
  std::string failure, received;
  traced.OnConnected = [&] { ++connected; };
  TLinkFault fault = TLinkFault::LF_OTHER;
  traced.OnError = [&](const TLinkError& e) {
    failure = e.Text;
    fault = e.Fault;
  };
  traced.OnReceive = [&](const std::string& bytes) { received += bytes; };
  std::string error;
  ASSERT_TRUE(traced.Connect("127.0.0.1", 10500, error));
  traced.Write("early");  // not connected yet: dropped
  tcp->Accept();
  traced.Write("SYN?");
  tcp->Arrive("ok");
  int deferred = 0;
  traced.Defer(250, [&] { ++deferred; });
  EXPECT_EQ(tcp->RunDeferred(), 1);
  EXPECT_EQ(tcp->delays, std::vector<uint32_t>{250});
  tcp->Fail("The remote host closed the connection", TLinkFault::LF_CLOSED);
  EXPECT_EQ(fault, TLinkFault::LF_CLOSED);
  EXPECT_EQ(connected, 1);
  EXPECT_EQ(deferred, 1);
  EXPECT_EQ(received, "ok");
  EXPECT_EQ(failure, "The remote host closed the connection");
  EXPECT_TRUE(tcp->wire.ends_with("SYN?")) << tcp->wire;
  EXPECT_EQ(traffic.seen, (std::vector<std::string>{"> SYN?", "< ok"}));
}

TEST(TracedTransports, WholeLinkInRawMode) {
  TCallLog log;
  TTraffic traffic;
  auto serial = std::make_unique<TFakeSerial>(&log);
  TFakeSerial* fake_serial = serial.get();
  std::unique_ptr<TComDriver> link =
      CreateTracedComDriver(std::move(serial), std::make_unique<TFakeUdp>(&log),
                            std::make_unique<TFakeTcp>(&log), traffic.Observer());
  std::string text;
  link->OnRecString = [&](TComDriver* sender, int32_t) { text += sender->ReadRaw(); };
  link->SetConMode(MODE_RAW);
  link->SetPort("/dev/pts/9");
  link->SetConType(CON_RS232);
  ASSERT_TRUE(link->LastOpenOk()) << link->LastOpenError();
  EXPECT_TRUE(link->SendRaw(":00000001FF\r\n"));
  fake_serial->Feed(".");
  EXPECT_EQ(text, ".");
  EXPECT_EQ(traffic.seen, (std::vector<std::string>{"> :00000001FF\r\n", "< ."}));
}
