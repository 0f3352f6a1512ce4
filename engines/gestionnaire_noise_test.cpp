// The base's handling of input no awaited reply can use: noise dropped in one
// erase, counted and sampled per operation, the limit of noise in a row, the cap
// on BufIn, and the alignment of data replies ended by ".", fed in pieces of
// every size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/gestionnaire.h"
#include "engines/testing/test_owner.h"
#include "testing/pieces.h"

namespace {

class TProbe : public TGestionnaire {
 public:
  using TGestionnaire::AlignDataReply;
  using TGestionnaire::AwaitReply;
  using TGestionnaire::BeginUpload;
  using TGestionnaire::ConsumeInput;
  using TGestionnaire::CountNoise;
  using TGestionnaire::DropNoise;
  using TGestionnaire::DropNoiseBefore;
  using TGestionnaire::IsHexDigitChar;
  using TGestionnaire::IsTextChar;
  using TGestionnaire::PullInput;
  using TGestionnaire::SendFileLine;
  using TGestionnaire::SendLine;
  using TGestionnaire::SetBusy;
};

class GestionnaireNoiseTest : public ::testing::Test {
 protected:
  GestionnaireNoiseTest() {
    owner.Attach(engine);
    engine.OnChangeBufIn = [this](TGestionnaire* s) {
      owner.RxBuffer = s->BufIn;
      ++changes;
    };
  }
  TProbe engine;
  TTestOwner owner;
  int changes = 0;  // OnChangeBufIn events
};

TEST_F(GestionnaireNoiseTest, NoiseIsDroppedInOneEraseCountedAndSampled) {
  owner.Reply(std::string("ZZ\x01\"\\\x1b\r\n.X", 10));
  engine.PullInput();
  EXPECT_TRUE(engine.DropNoiseBefore(".I"));
  EXPECT_EQ(engine.BufIn, ".X");
  EXPECT_EQ(owner.RxBuffer, ".X");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(engine.NoiseCount(), 8u);
  EXPECT_EQ(engine.NoiseSample(), "ZZ\\x01\\\"\\\\\\e\\r\\n");
  EXPECT_TRUE(engine.DropNoiseBefore(".I"));  // nothing to drop: no event
  EXPECT_TRUE(engine.DropNoise(0));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(engine.NoiseCount(), 8u);
  EXPECT_TRUE(owner.Events.empty());
}

TEST_F(GestionnaireNoiseTest, TheSampleShowsTheStartOfTheLatestRunAndTheCountGrows) {
  owner.Reply(std::string(12, 'A'));
  EXPECT_EQ(engine.AwaitReply("."), 0);
  owner.Reply(std::string(8, 'B') + ".");
  EXPECT_EQ(engine.AwaitReply("."), '.');  // the same run: no reply was taken between
  EXPECT_EQ(engine.NoiseSample(), std::string(12, 'A') + "BBBB");
  engine.ConsumeInput(1);
  EXPECT_EQ(engine.NoiseSample(), std::string(12, 'A') + "BBBB");  // kept until new noise
  owner.Reply("Q.");
  engine.AwaitReply(".");
  EXPECT_EQ(engine.NoiseSample(), "Q");
  EXPECT_EQ(engine.NoiseCount(), 21u);
  engine.CountNoise("xy");
  EXPECT_EQ(engine.NoiseCount(), 23u);
  EXPECT_EQ(engine.NoiseSample(), "Qxy");
}

TEST_F(GestionnaireNoiseTest, AnOperationStartsWithoutNoise) {
  owner.Reply("??");
  engine.AwaitReply(".");
  ASSERT_EQ(engine.NoiseCount(), 2u);
  engine.SetBusy();
  EXPECT_EQ(engine.NoiseCount(), 0u);
  EXPECT_EQ(engine.NoiseSample(), "");
  owner.Reply("??");
  engine.AwaitReply(".");
  engine.ResetEngine();
  EXPECT_EQ(engine.NoiseCount(), 0u);
  EXPECT_EQ(engine.NoiseSample(), "");
}

// The limit counts noise in a row: a reply taken starts the count again, so a long
// upload on a noisy line never adds up to it.
TEST_F(GestionnaireNoiseTest, MoreNoiseInARowThanTheLimitFailsTheOperation) {
  const size_t limit = TGestionnaire::kNoiseLimit;
  engine.SendLine("P3");
  for (int round = 0; round < 3; ++round) {
    owner.Reply(std::string(limit - 1, 'Z'));
    EXPECT_EQ(engine.AwaitReply(".I"), 0);
    owner.Reply("Z.");
    EXPECT_EQ(engine.AwaitReply(".I"), '.');
    engine.ConsumeInput(1);
  }
  EXPECT_TRUE(owner.Events.empty());
  EXPECT_EQ(engine.NoiseCount(), 3 * limit);
  owner.Reply(std::string(limit, 'Z'));
  EXPECT_EQ(engine.AwaitReply(".I"), 0);
  EXPECT_TRUE(owner.Events.empty());
  owner.Reply("\x01.");
  EXPECT_EQ(engine.AwaitReply(".I"), 0);  // the "." is not taken: the operation failed
  EXPECT_EQ(owner.Events, (std::vector<std::string>{
                              "error:The device sent 4097 unexpected bytes while waiting for "
                              "the answer to \"P3\": \"ZZZZZZZZZZZZZZZZ...\""}));
}

TEST_F(GestionnaireNoiseTest, TheLimitMessageNamesTheFileLineOrTheTextSentLast) {
  struct {
    std::string awaited;
    std::string noise;
  } const cases[] = {
      {"the answer to line 2 of dir/f.hex", "?"},
      {"the answer to \":0200000C800072\\r\\n\"", "\x01\x02"},
      {"the answer to \":10000000" + std::string(15, 'F') + "...\"", "\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.awaited);
    engine.ResetEngine();
    owner.ClearLogs();
    if (c.noise == "?") {
      engine.BeginUpload("dir/f.hex");
      engine.SendFileLine({":00", ":01"}, 1);
    } else {
      engine.SendLine(c.noise == "\"" ? ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\r\n"
                                      : ":0200000C800072\r\n");
    }
    EXPECT_EQ(engine.AwaitedReply(), c.awaited);
    owner.Reply(c.noise + std::string(TGestionnaire::kNoiseLimit, '!'));
    engine.AwaitReply(".");
    ASSERT_EQ(owner.Events.size(), 1u);
    EXPECT_NE(owner.Events[0].find("while waiting for " + c.awaited + ": \""), std::string::npos)
        << owner.Events[0];
  }
}

TEST_F(GestionnaireNoiseTest, InputBeyondTheCapIsDroppedAndCountedButTheFrontIsKept) {
  const size_t cap = TGestionnaire::kInputCap;
  owner.Reply("." + std::string(cap + 99, 'Z'));
  engine.PullInput();
  EXPECT_EQ(engine.BufIn.size(), cap);
  EXPECT_EQ(owner.RxBuffer.size(), cap);
  EXPECT_EQ(engine.BufIn.front(), '.');
  EXPECT_EQ(engine.NoiseCount(), 100u);
  EXPECT_TRUE(owner.Events.empty());  // the cut alone fails nothing
  owner.Reply(std::string(cap - 1, 'Z'));
  engine.PullInput();
  EXPECT_EQ(engine.BufIn.size(), cap);
}

struct TAlignCase {
  size_t shortest, longest;
  bool (*can_begin)(char);
  std::string stream;
  std::string left;  // BufIn once everything has arrived
  bool complete;
};

// AlignDataReply after every piece: the outcome may not depend on the pieces.
TEST_F(GestionnaireNoiseTest, DataRepliesAreAlignedTheSameWhateverThePieces) {
  const auto hex = TProbe::IsHexDigitChar;
  const auto text = TProbe::IsTextChar;
  const TAlignCase cases[] = {
      {8, 8, hex, "6A5C01A7.", "6A5C01A7.", true},
      {8, 8, hex, std::string(4000, '.') + "6A5C01A7.X", "6A5C01A7.X", true},
      {8, 8, hex, "?\r\n6A5C01A7.", "6A5C01A7.", true},
      {8, 8, hex, "6A5C.", "", false},
      {8, 8, hex, "6A5C01A7B.6A5C01A7.", "6A5C01A7.", true},
      {8, 8, hex, "0123456789ABCDEF0123456789.", "", false},
      {8, 8, hex, "0123456789ABCDEF0123456789.6A5C01A7.", "6A5C01A7.", true},
      {8, 8, hex, "6A5C01", "6A5C01", false},
      {4, 4, text, "01.0102.", "0102.", true},
      {4, 4, text, "\x01\x02 1 2.", " 1 2.", true},
      {2, 2, text, "4.4A.", "4A.", true},
      {1, 256, hex, ".?1A5C80FF.", "1A5C80FF.", true},
      {1, 256, hex, std::string(300, 'F') + ".12.", "12.", true},
  };
  for (const TAlignCase& c : cases) {
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, c.stream.size()}) {
      SCOPED_TRACE(c.stream.substr(0, 40) + " in pieces of " + std::to_string(piece));
      engine.ResetEngine();
      owner.RxBuffer.clear();
      bool complete = false;
      for (const std::string& part : CutInPieces(c.stream, piece)) {
        owner.Reply(part);
        engine.PullInput();
        complete = engine.AlignDataReply(c.shortest, c.longest, c.can_begin);
      }
      EXPECT_EQ(complete, c.complete);
      EXPECT_EQ(engine.BufIn, c.left);
      EXPECT_EQ(engine.NoiseCount(), c.stream.size() - c.left.size());
    }
  }
}

}  // namespace
