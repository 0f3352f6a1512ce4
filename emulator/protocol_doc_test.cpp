// The worked examples of doc/protocol.md, replayed from the device's side: each
// block's host bytes go to a fresh emulated device, which must answer exactly the
// device bytes the document shows. (engines/protocol_doc_test.cpp replays the
// host's side of the same blocks.)
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "doc/wire_examples.h"
#include "emulator/emulated_device.h"

namespace {

constexpr uint32_t kNow = 1000;

// Brings a fresh device to where the block starts: its application, its boot
// loader, or (by default) its synchronised updater.
void Prepare(TEmulatedDevice& device, const TWireExample& example) {
  if (example.Has("application")) return;
  device.Receive("254yU", kNow);
  if (!example.Has("boot-loader")) {
    device.Receive("%", kNow);
    device.Receive(example.Has("type-27") ? "3727" : "37", kNow);
  }
  (void)device.TakeOutput(kNow);
}

// Feeds the host lines in order. What the device sends after a run of host lines
// must equal the device lines that follow that run.
void Replay(const TWireExample& example) {
  TDeviceConfig config;
  if (example.Has("type-27")) config.BootType = 27;
  TEmulatedDevice device(config);
  Prepare(device, example);
  std::string expected, actual;
  int expected_from = example.DocLine;
  bool device_last = false;  // the previous line was a device line
  for (const TWireLine& line : example.Lines) {
    if (line.Kind == TWireLine::TKind::WL_DEVICE) {
      if (!device_last) expected_from = line.DocLine;
      expected += line.Text;
      device_last = true;
    } else if (line.Kind == TWireLine::TKind::WL_HOST) {
      if (device_last || !expected.empty()) {
        EXPECT_EQ(actual, expected) << "device bytes at protocol.md:" << expected_from;
        expected.clear();
        actual.clear();
      }
      device_last = false;
      device.Receive(line.Text, kNow);
      actual += device.TakeOutput(kNow);
    }
  }
  EXPECT_EQ(actual, expected) << "device bytes at protocol.md:" << expected_from;
}

TEST(ProtocolDoc, TheDeviceAnswersAsTheDocumentShows) {
  TProtocolDoc doc;
  std::string error;
  ASSERT_TRUE(ReadProtocolDoc(ProtocolDocPath(), doc, error)) << error;
  std::set<std::string> replayed_sections;
  for (const TWireExample& example : doc.Examples) {
    if (example.Has("host-only")) continue;
    SCOPED_TRACE("protocol.md:" + std::to_string(example.DocLine) + " (" + example.Section + ")");
    Replay(example);
    replayed_sections.insert(example.Section);
  }
  // Every section that describes an exchange has at least one example the device
  // plays.
  for (const char* section : {"Variable protocol", "Boot loader", "Card supervisor", "Bank flash",
                              "JTAG", "Captured data"}) {
    EXPECT_TRUE(replayed_sections.count(section)) << section;
  }
}

}  // namespace
