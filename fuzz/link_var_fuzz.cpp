// Fuzzes the device link's receive path (TComDriver on the fake transports) with
// arbitrary bytes in arbitrary pieces: the variable protocol's line parser, raw
// mode, and the network's cut at the first zero byte and its sender check.
// Invariants: in MODE_VAR at most 10 unterminated bytes stay buffered; while no
// line is longer than that tail, cutting the bytes into pieces changes nothing
// that is reported; in MODE_RAW every byte that arrives (the variable protocol's
// tail included) is read exactly once and in order; a datagram from anyone but the
// device changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "link/testing/fake_transports.h"

namespace {

constexpr size_t kTail = 10;  // unterminated MODE_VAR bytes the link keeps
const std::string kDevice = "192.168.0.10";
constexpr int32_t kDevicePort = 10500;

// A link on the fakes whose reports are written down with the values they carry.
struct TLinkUnderTest {
  explicit TLinkUnderTest(tConnectionType type) {
    TComDriver& d = *f.link;
    auto note = [this](const char* name, auto value) {
      return [this, name, value](TComDriver* link, int32_t) {
        reports.push_back(std::string(name) + std::to_string((link->*value)()) + "|" +
                          link->receivedString());
      };
    };
    d.OnADDRDBGchange = note("ADBG", &TComDriver::ADDRDBG);
    d.OnDATADBGchange = note("DDBG", &TComDriver::DATADBG);
    d.OnDEVchange = note("DEV", &TComDriver::DEV);
    d.OnUPDATERchange = note("UPD", &TComDriver::UPDATER);
    d.OnDOLLARSchange = note("DOLLARS", &TComDriver::DOLLARS);
    d.OnQUERYALLchange = note("ALL", &TComDriver::DOLLARS);
    d.SetPort("COM1");
    d.SetIpRemoteAddress(kDevice);
    d.SetIpRemotePort(kDevicePort);
    d.SetConType(type);
    if (type == CON_TCP) f.tcp->Accept();
  }
  // Delivers `bytes` as the transport does; returns what the link takes of them.
  std::string Deliver(const std::string& bytes, bool from_device = true) {
    switch (f.link->ConType()) {
      case CON_UDP:
        f.udp->Arrive(bytes, from_device ? kDevice : "192.168.0.11", kDevicePort);
        return from_device ? bytes.substr(0, bytes.find('\0')) : "";
      case CON_TCP:
        f.tcp->Arrive(bytes);
        return bytes.substr(0, bytes.find('\0'));  // pieces are kept under 8192
      default:
        f.serial->Feed(bytes);
        return bytes;
    }
  }
  TFakeLink f;
  std::vector<std::string> reports;
};

// The same bytes whole and in pieces: the same reports, while no line outgrows the
// tail (a longer line is cut, by design, only when it arrives in pieces).
void CheckPieces(const std::string& bytes, const std::vector<size_t>& cuts) {
  size_t line = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes.compare(i, 2, "\r\n") == 0) {
      line = 0, ++i;
    } else if (++line >= kTail) {
      return;
    }
  }
  TLinkUnderTest whole(CON_RS232), pieces(CON_RS232);
  whole.Deliver(bytes);
  size_t at = 0;
  for (size_t cut : cuts) {
    pieces.Deliver(bytes.substr(at, cut));
    at += std::min(cut, bytes.size() - at);
  }
  pieces.Deliver(bytes.substr(at));
  FUZZ_REQUIRE(whole.reports == pieces.reports, "pieces change nothing that is reported");
  FUZZ_REQUIRE(whole.f.link->ReceiveBuffer() == pieces.f.link->ReceiveBuffer(),
               "pieces leave the same tail");
}

// Pieces on one transport, with the mode switched and raw text read as the
// sequencer does.
void CheckStream(FuzzedDataProvider& in) {
  const tConnectionType types[] = {CON_RS232, CON_UDP, CON_TCP};
  TLinkUnderTest t(in.PickValueInArray(types));
  TComDriver& link = *t.f.link;
  std::string expected, read;  // raw mode: what must be read, and what was
  while (in.remaining_bytes() > 0) {
    const uint8_t action = in.ConsumeIntegral<uint8_t>();
    if (action < 16) {
      const bool raw = link.ConMode() == MODE_RAW;
      link.SetConMode(raw ? MODE_VAR : MODE_RAW);
      if (!raw) expected = read + link.ReceiveBuffer();
      continue;
    }
    if (action < 40 && link.ConMode() == MODE_RAW) {
      read += link.ReadRaw();
      continue;
    }
    const bool from_device = action >= 48;
    const std::string before = link.ReceiveBuffer();
    const size_t reports = t.reports.size();
    const std::string taken = t.Deliver(in.ConsumeRandomLengthString(512), from_device);
    if (!from_device && link.ConType() == CON_UDP) {
      FUZZ_REQUIRE(link.ReceiveBuffer() == before && t.reports.size() == reports,
                   "a stranger's datagram changes nothing");
    }
    if (link.ConMode() == MODE_VAR) {
      // (Text left from raw mode waits for the next text that arrives.)
      FUZZ_REQUIRE(taken.empty() || link.ReceiveBuffer().size() <= kTail,
                   "MODE_VAR keeps at most its tail");
    } else {
      expected += taken;
      FUZZ_REQUIRE(read + link.ReceiveBuffer() == expected, "raw bytes are read once, in order");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    std::vector<size_t> cuts;
    const int n = in.ConsumeIntegralInRange(0, 16);
    for (int i = 0; i < n; ++i) cuts.push_back(in.ConsumeIntegralInRange<size_t>(0, 40));
    CheckPieces(in.ConsumeRemainingBytesAsString(), cuts);
  } else {
    CheckStream(in);
  }
  return 0;
}
