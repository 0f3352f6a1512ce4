// Fault rules: their RULE syntax, and each fault's exact effect on the device's
// replies, reproducible from the seed.
#include "emulator/fault_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"

namespace {

const std::string kEsc = "\x1B";

TEST(FaultRule, ParsesEveryKindAndKey) {
  TFaultRule r;
  std::string error;
  ASSERT_TRUE(ParseFaultRule("resend,rate=10,count=3,skip=2,mem=card1.bank3", r, error)) << error;
  EXPECT_EQ(r.Kind, TFaultKind::FK_RESEND);
  EXPECT_EQ(r.RatePercent, 10u);
  EXPECT_EQ(r.Count, 3u);
  EXPECT_EQ(r.Skip, 2u);
  EXPECT_EQ(r.Memory.Kind, TMemKind::MK_BANK);
  EXPECT_EQ(r.Memory.Card, 1);
  EXPECT_EQ(r.Memory.Index, 3);
  ASSERT_TRUE(ParseFaultRule("delay,cmd=M2,ms=3000", r, error)) << error;
  EXPECT_EQ(r.Kind, TFaultKind::FK_DELAY);
  EXPECT_EQ(r.Command, "M2");
  EXPECT_EQ(r.DelayMs, 3000u);
  ASSERT_TRUE(ParseFaultRule("split,size=1", r, error)) << error;
  EXPECT_EQ(r.PieceSize, 1u);
  ASSERT_TRUE(ParseFaultRule("garbage,bytes=5,cmd=%", r, error)) << error;
  EXPECT_EQ(r.Bytes, 5u);
  EXPECT_EQ(r.Command, "%");
  for (const char* text : {"erase-fail", "write-fail", "verify-fail", "read-fail", "unknown",
                           "capture-checksum", "hang", "split", "garbage"}) {
    EXPECT_TRUE(ParseFaultRule(text, r, error)) << text << ": " << error;
  }
}

TEST(FaultRule, RejectsWithAnExactReason) {
  struct TCase {
    const char* text;
    const char* error;
  };
  const TCase table[] = {
      {"crash", "unknown fault \"crash\""},
      {"", "unknown fault \"\""},
      {"resend,rate", "\"rate\" is not key=value"},
      {"resend,rate=101", "fault \"resend\": rate must be 0 to 100"},
      {"resend,rate=ten", "fault \"resend\": bad number \"ten\" for key \"rate\""},
      {"resend,cmd=P3", "fault \"resend\": key \"cmd\" does not apply to this fault"},
      {"unknown,mem=boot", "fault \"unknown\": key \"mem\" does not apply to this fault"},
      {"resend,mem=bank8", "fault \"resend\": bad memory \"bank8\""},
      {"resend,mem=card6.e", "fault \"resend\": bad memory \"card6.e\""},
      {"split,size=0",
       "fault \"split\": key \"size\" does not apply to this fault, or its value is out of range"},
      {"resend,ms=5",
       "fault \"resend\": key \"ms\" does not apply to this fault, or its value is out of range"},
      {"delay", "fault \"delay\" needs ms=N (N > 0)"},
      {"delay,ms=-1", "fault \"delay\": bad number \"-1\" for key \"ms\""},
  };
  for (const TCase& c : table) {
    TFaultRule r;
    std::string error;
    EXPECT_FALSE(ParseFaultRule(c.text, r, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(FaultRule, MemorySelectors) {
  struct TCase {
    const char* text;
    TMemKind kind;
    int card;
    int index;
  };
  const TCase table[] = {
      {"boot", TMemKind::MK_BOOT, -1, -1},       {"bank", TMemKind::MK_BANK, -1, -1},
      {"bank7", TMemKind::MK_BANK, -1, 7},       {"main.bank0", TMemKind::MK_BANK, 6, 0},
      {"card5.e", TMemKind::MK_EMEM, 5, -1},     {"jtagA", TMemKind::MK_JTAG, -1, 10},
      {"card0.jtagC", TMemKind::MK_JTAG, 0, 11}, {"versionE", TMemKind::MK_VERSION, -1, 12},
  };
  for (const TCase& c : table) {
    TMemSelector s;
    ASSERT_TRUE(ParseMemSelector(c.text, s)) << c.text;
    EXPECT_EQ(s.Kind, c.kind) << c.text;
    EXPECT_EQ(s.Card, c.card) << c.text;
    EXPECT_EQ(s.Index, c.index) << c.text;
  }
  TMemSelector s;
  for (const char* bad : {"jtag7", "versionB", "main.boot", "card9.bank1", "bank12", "flash"}) {
    EXPECT_FALSE(ParseMemSelector(bad, s)) << bad;
  }
}

TEST(FaultPlanRules, SkipCountAndRateDecideWhenARuleFires) {
  TFaultConfig config;
  TFaultRule rule;
  ParseMemSelector("bank", rule.Memory);
  rule.Skip = 2;
  rule.Count = 3;
  config.Rules.push_back(rule);
  TFaultPlan plan(config);
  const TMemRef bank{TMemKind::MK_BANK, 6, 1};
  const TMemRef boot{TMemKind::MK_BOOT, 6, 0};
  std::string fired;
  for (int i = 0; i < 8; ++i) fired += plan.FireOnMemory(TFaultKind::FK_RESEND, bank) ? '1' : '0';
  EXPECT_EQ(fired, "00111000");
  EXPECT_FALSE(plan.FireOnMemory(TFaultKind::FK_RESEND, boot));
  EXPECT_FALSE(plan.FireOnMemory(TFaultKind::FK_WRITE_FAIL, bank));
}

// Runs host bytes through a device built with the given fault rules.
class FaultedDeviceTest : public ::testing::Test {
 protected:
  void Make(const std::vector<std::string>& rules, uint64_t seed = 1) {
    TDeviceConfig config;
    config.Faults.Seed = seed;
    for (const std::string& text : rules) {
      TFaultRule rule;
      std::string error;
      ASSERT_TRUE(ParseFaultRule(text, rule, error)) << error;
      config.Faults.Rules.push_back(rule);
    }
    device_ = std::make_unique<TEmulatedDevice>(config);
  }
  std::string Send(std::string_view bytes) {
    device_->Receive(bytes, now_);
    return device_->TakeOutput(now_);
  }
  std::unique_ptr<TEmulatedDevice> device_;
  uint32_t now_ = 1000;
};

struct TExchange {
  std::string send;
  std::string reply;
};

struct TFaultCase {
  std::vector<std::string> rules;
  std::vector<TExchange> exchanges;
};

TEST_F(FaultedDeviceTest, EachFaultChangesExactlyTheRepliesItNames) {
  const std::string line = ":048000000102030472\r\n";
  const std::string sir = ":010008720184\r\n";  // SIR 8 TDI (01) with TDO
  const TFaultCase cases[] = {
      {{"resend,mem=bank3"}, {{"P3", ".."}, {line, "R"}, {line, "R"}, {"P4", ".."}, {line, "."}}},
      {{"resend,mem=bank,count=1"}, {{"P3", ".."}, {line, "R"}, {line, "."}}},
      {{"erase-fail,mem=boot"}, {{"PB", ".X"}, {line, "X"}, {"P1", ".."}}},
      {{"write-fail,mem=bank2,skip=1"}, {{"P2", ".."}, {line, "."}, {line, "X"}}},
      {{"verify-fail,mem=main.bank5"}, {{"P5", ".."}, {":0200000C800072\r\n", "X"}}},
      {{"verify-fail,mem=card1.bank5"}, {{"P5", ".."}, {":0200000C800072\r\n", "."}}},
      {{"read-fail,mem=version8"}, {{"T8", ".X"}, {"T9", ".0100."}}},
      {{"write-fail,mem=version8"}, {{"V8", "."}, {"0200", "X"}, {"T8", ".0100."}}},
      {{"unknown,cmd=T8"}, {{"T8", "I"}, {"T9", ".0100."}}},
      {{"unknown,cmd=M,count=1"}, {{"M0", "I"}, {"M0", "."}}},
      {{"unknown,cmd=PB"}, {{"PB", "I"}, {line, "X"}}},
      {{"capture-checksum,count=1"},
       {{"P8", "."}, {sir, "0102" + kEsc + "."}, {"R", "0101" + kEsc + "."}, {".", "."}}},
      {{"verify-fail,mem=jtag8"}, {{"P8", "."}, {sir, "FEFE" + kEsc + "."}, {".", "."}}},
      {{"write-fail,mem=jtag9"}, {{"P9", "."}, {":0100000601F8\r\n", "X"}}},
      {{"resend,mem=jtag9"}, {{"P9", "."}, {":0100000601F8\r\n", "R"}}},
      {{"hang,cmd=P8"}, {{"M1", "."}, {"P8", ""}, {"?", ""}, {"T8", ""}}},
  };
  for (const TFaultCase& c : cases) {
    Make(c.rules);
    ASSERT_EQ(Send("254yU%37"), "UPD254\r\n..6A5C01A7.");
    for (const TExchange& e : c.exchanges) {
      EXPECT_EQ(Send(e.send), e.reply) << c.rules[0] << ", sent " << e.send;
    }
  }
}

TEST_F(FaultedDeviceTest, AHungDeviceStillDeliversWhatItSentBefore) {
  Make({"hang,cmd=T"});
  device_->Receive("254yU%37T8M0", now_);
  EXPECT_TRUE(device_->Hung());
  EXPECT_EQ(device_->TakeOutput(now_ + 100000), "UPD254\r\n..6A5C01A7.");
  EXPECT_EQ(device_->NextReleaseTime(), std::nullopt);
}

TEST_F(FaultedDeviceTest, GarbageComesBeforeTheReplyAndIsNeverAReplyCharacter) {
  Make({"garbage,cmd=%,bytes=6", "garbage,cmd=?"});
  const std::string out = Send("%");  // the boot loader is not running yet
  EXPECT_EQ(out, "");
  const std::string dev = Send("?");
  ASSERT_GE(dev.size(), 8u);
  EXPECT_LE(dev.size(), 15u);
  EXPECT_EQ(dev.substr(dev.size() - 7), "DEV37\r\n");
  Send("254yU");
  const std::string sync = Send("%");
  ASSERT_EQ(sync.size(), 7u);
  EXPECT_EQ(sync.back(), '.');
  for (char c : sync.substr(0, 6) + dev.substr(0, dev.size() - 7)) {
    EXPECT_EQ(std::string(".XRI\r\n\0", 7).find(c), std::string::npos) << int(c);
    EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(c))) << int(c);
  }
}

TEST_F(FaultedDeviceTest, SplitRepliesComeInPieces) {
  Make({"split,size=2,cmd=yU", "split,cmd=37"});
  device_->Receive("254yU", now_);
  EXPECT_EQ(device_->TakeOutputPieces(now_), (std::vector<std::string>{"UP", "D2", "54", "\r\n"}));
  device_->Receive("%37", now_);
  const std::vector<std::string> pieces = device_->TakeOutputPieces(now_);
  ASSERT_GE(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], ".");  // the "%" reply is not split and stays whole
  std::string joined;
  for (size_t i = 1; i < pieces.size(); ++i) joined += pieces[i];
  EXPECT_EQ(joined, ".6A5C01A7.");
}

TEST_F(FaultedDeviceTest, ADelayedReplyHoldsBackWhatFollowsIt) {
  Make({"delay,cmd=M1,ms=500"});
  ASSERT_EQ(Send("254yU%37"), "UPD254\r\n..6A5C01A7.");
  EXPECT_EQ(Send("M1M2"), "");
  EXPECT_EQ(device_->NextReleaseTime(), std::optional<uint32_t>(1500));
  EXPECT_EQ(device_->TakeOutput(1499), "");
  EXPECT_EQ(device_->TakeOutput(1500), "..");
}

// Delays past 2^31 ms once wrapped and released the reply at once; the longest
// (2^32 - 1 ms) ends exactly on time although the caller's tick count wraps.
TEST_F(FaultedDeviceTest, LongDelaysNeitherWrapNorEndEarly) {
  for (const uint32_t delay : {2147483648u, 3000000000u, 4294967295u}) {
    SCOPED_TRACE(delay);
    Make({"delay,cmd=M1,ms=" + std::to_string(delay)});
    ASSERT_EQ(Send("254yU%37"), "UPD254\r\n..6A5C01A7.");
    EXPECT_EQ(Send("M1"), "");
    EXPECT_EQ(device_->NextReleaseTime(), std::optional<uint32_t>(now_ + delay));
    const uint32_t half = delay / 2;
    EXPECT_EQ(device_->TakeOutput(now_ + half), "");
    EXPECT_EQ(device_->TakeOutput(now_ + delay - 1), "");
    EXPECT_EQ(device_->TakeOutput(now_ + delay), ".");
  }
}

TEST_F(FaultedDeviceTest, TheSameSeedGivesTheSameFaults) {
  auto pattern = [this](uint64_t seed) {
    Make({"resend,rate=50"}, seed);
    Send("254yU%37P3");
    std::string replies;
    for (int i = 0; i < 40; ++i) replies += Send(":048000000102030472\r\n");
    return replies;
  };
  const std::string first = pattern(7);
  EXPECT_EQ(first, pattern(7));
  EXPECT_NE(first, pattern(8));
  EXPECT_NE(first.find('R'), std::string::npos);
  EXPECT_NE(first.find('.'), std::string::npos);
  const std::string again = pattern(7);
  EXPECT_EQ(device_->Stats().ResendRequests,
            static_cast<uint32_t>(std::count(again.begin(), again.end(), 'R')));
}

}  // namespace
