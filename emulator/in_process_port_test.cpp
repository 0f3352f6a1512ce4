// The in-process front end: writes only queue, pumps deliver, pieces stay pieces.
#include "emulator/in_process_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(InProcessPort, NeverAnswersInsideWriteOnlyOnTheNextPump) {
  TEmulatedDevice device;
  TInProcessPort port(device);
  std::vector<std::string> got;
  port.OnOutput = [&](const std::string& piece) { got.push_back(piece); };
  port.Write("?");
  port.Write("1yU");
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(port.QueuedBytes(), 4u);
  port.Pump(10);
  EXPECT_EQ(got, (std::vector<std::string>{"DEV37\r\nUPD1\r\n"}));
  EXPECT_EQ(port.QueuedBytes(), 0u);
  port.Pump(20);
  EXPECT_EQ(got.size(), 1u);
}

TEST(InProcessPort, AHandlerThatWritesBackWaitsForTheNextPump) {
  TEmulatedDevice device;
  TInProcessPort port(device);
  std::string wire;
  port.OnOutput = [&](const std::string& piece) {
    wire += piece;
    if (piece == "UPD254\r\n") port.Write("%");
  };
  port.Write("254yU");
  port.Pump(10);
  EXPECT_EQ(wire, "UPD254\r\n");
  EXPECT_EQ(port.QueuedBytes(), 1u);
  port.Pump(20);
  EXPECT_EQ(wire, "UPD254\r\n.");
}

TEST(InProcessPort, SplitAndDelayedRepliesArriveAsTheDeviceReleasesThem) {
  TDeviceConfig config;
  TFaultRule split;
  split.Kind = TFaultKind::FK_SPLIT;
  split.Command = "?";
  split.PieceSize = 3;
  TFaultRule delay;
  delay.Kind = TFaultKind::FK_DELAY;
  delay.Command = "$";
  delay.DelayMs = 40;
  config.Faults.Rules = {split, delay};
  TEmulatedDevice device(config);
  TInProcessPort port(device);
  std::vector<std::string> got;
  port.OnOutput = [&](const std::string& piece) { got.push_back(piece); };
  port.Write("?$");
  port.Pump(100);
  EXPECT_EQ(got, (std::vector<std::string>{"DEV", "37\r", "\n"}));
  port.Pump(139);
  EXPECT_EQ(got.size(), 3u);
  port.Pump(140);
  EXPECT_EQ(got.back(), "$\r\n");
}

TEST(InProcessPort, AHostThatNeverPumpsCannotGrowTheQueueWithoutBound) {
  TEmulatedDevice device;
  TInProcessPort port(device);
  const std::string block(4096, 'z');
  for (int i = 0; i < 300; ++i) port.Write(block);
  EXPECT_EQ(port.QueuedBytes(), TInProcessPort::kMaxQueued);
  EXPECT_EQ(port.DroppedBytes(), 300u * 4096u - TInProcessPort::kMaxQueued);
  port.Pump(1);  // no handler: nothing to deliver to, and no crash
  EXPECT_EQ(port.QueuedBytes(), 0u);
}

}  // namespace
