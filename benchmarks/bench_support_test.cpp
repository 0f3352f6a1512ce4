// The benchmarks' support code: the /proc status reader, the Intel HEX image
// builder and the Effect vector generator, whose files must parse without error and
// keep their register round trips consistent (every TDO expects the TDI loaded just
// before), or a playback benchmark would measure a failing run.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "benchmarks/bench_inputs.h"
#include "benchmarks/memory_figures.h"
#include "engines/effect_language.h"
#include "engines/intel_hex.h"
#include "testing/temp_dir.h"

namespace {

TEST(MemFigures, ReadsTheTwoFiguresOfAStatusText) {
  struct TCase {
    const char* name;
    std::string text;
    bool found;
    long rss, hwm;
  };
  const TCase cases[] = {
      {"both", "Name:\tx\nVmHWM:\t   13648 kB\nVmRSS:\t    9000 kB\n", true, 9000, 13648},
      {"first line", "VmRSS:\t12 kB\n", true, 12, -1},
      {"no figures", "Name:\tx\nState:\tR\n", false, -1, -1},
      {"key inside a line", "XVmRSS:\t12 kB\nVmHWM:\t5 kB\n", true, -1, 5},
      {"no digits", "VmRSS:\t kB\nVmHWM:\tabc kB\n", false, -1, -1},
      {"no unit", "VmRSS:\t12\nVmHWM:\t13 MB\n", false, -1, -1},
      {"absurd size", "VmRSS:\t99999999999999999999 kB\n", false, -1, -1},
      {"empty", "", false, -1, -1},
  };
  for (const TCase& c : cases) {
    TMemFigures f;
    EXPECT_EQ(ParseMemFigures(c.text, f), c.found) << c.name;
    EXPECT_EQ(f.RssKiB, c.rss) << c.name;
    EXPECT_EQ(f.HwmKiB, c.hwm) << c.name;
  }
}

#ifdef __linux__
TEST(MemFigures, PeakFollowsTouchedMemoryAndRestartsOnReset) {
  const TMemFigures before = ReadMemFigures();
  ASSERT_GT(before.RssKiB, 0);
  ASSERT_GE(before.HwmKiB, before.RssKiB);
  {
    std::vector<char> block(64 << 20);
    for (size_t i = 0; i < block.size(); i += 4096) block[i] = 1;
    const TMemFigures touched = ReadMemFigures();
    EXPECT_GE(touched.HwmKiB, before.RssKiB + 60 * 1024);
  }
  ASSERT_TRUE(ResetPeakMemory());
  const TMemFigures after = ReadMemFigures();
  EXPECT_GE(after.HwmKiB, after.RssKiB);
  EXPECT_LT(after.HwmKiB - after.RssKiB, 8 * 1024);
}
#endif

TEST(HexImageLines, RecordsOfSixteenBytesThenTheEndRecord) {
  EXPECT_EQ(HexImageLines(0x8000, {0x01, 0x02}),
            (std::vector<std::string>{":0280000001027B", ":00000001FF"}));
  std::vector<uint8_t> data(17, 0x00);
  data[16] = 0xAB;
  EXPECT_EQ(HexImageLines(0x0000, data),
            (std::vector<std::string>{":1000000000000000000000000000000000000000F0",
                                      ":01001000AB44", ":00000001FF"}));
}

TEST(HexImageLines, AFullBankSumsToItsBytes) {
  const std::vector<uint8_t> data = SeededBytes(3, 0x8000);
  const std::vector<std::string> lines = HexImageLines(0x8000, data);
  ASSERT_EQ(lines.size(), 2049u);
  uint16_t expected = 0;
  for (uint8_t b : data) expected = static_cast<uint16_t>(expected + b);
  EXPECT_EQ(HexImageSum(lines, 0x8000, 0xFFFF), expected);
  EXPECT_EQ(HexImageSum(lines, 0x0000, 0x7FFF), static_cast<uint16_t>(0x8000 * 0xFF));
  for (const std::string& line : lines) {  // the builder and the engines agree
    const THexRecord r = ParseHexRecord(line);
    std::string hex;
    for (char b : r.Data) hex += ByteToHex(static_cast<uint8_t>(b));
    EXPECT_EQ(BuildHexRecord(r.RecordType, r.Address, hex), line);
  }
}

// Parses every line and checks the vectors' own promises.
void ExpectConsistentVectors(const std::vector<std::string>& lines, const TEffectFileShape& shape) {
  size_t records = 0, raw_blocks = 0, checked = 0;
  std::string loaded;  // the user register's expected content, reversed as TdoHex is
  for (size_t i = 0; i < lines.size(); ++i) {
    TEffectStatement st;
    std::string result;
    ParseStatement(lines[i], result, st);
    ASSERT_NE(result, kEffectErrorResult) << "line " << i + 1 << ": " << lines[i];
    if (result.empty()) continue;
    ++records;
    if (st.RawBlockPending) ++raw_blocks;
    if ((st.StatementType & kEffectTdoBit) == 0) {
      if ((st.StatementType & 0x0F) == kEffectSdr && st.BitLength == 32) {
        loaded = st.TdiHex.substr(0, 8);
      }
      continue;
    }
    ++checked;
    if ((st.StatementType & 0x0F) != kEffectSdr) continue;
    EXPECT_EQ(st.TdoHex, loaded) << "line " << i + 1;
    loaded = (st.StatementType & kEffectFillBit) != 0 ? "00000000" : st.TdiHex.substr(0, 8);
  }
  EXPECT_EQ(records, shape.Statements);
  EXPECT_EQ(raw_blocks, shape.LongSdrs);
  EXPECT_EQ(checked, shape.Checked);
  EXPECT_EQ(loaded, "00000000");  // the file leaves the register cleared
  EXPECT_EQ(lines.size(), shape.Lines);
}

TEST(EffectVectors, EveryLineParsesAndEveryCheckExpectsWhatWasLoaded) {
  TEffectFileShape shape;
  const std::vector<std::string> lines = EffectVectorLines(200, 1, shape);
  EXPECT_GE(lines.size(), 200u);
  EXPECT_GT(shape.LongSdrs, 0u);
  EXPECT_GT(shape.Checked, 0u);
  ExpectConsistentVectors(lines, shape);
}

TEST(EffectVectors, TheFileIsTheSameVectorsWithCrLfAndItsSizeIsReported) {
  TTempDir dir;
  const std::string path = dir.Dir() + "v.svf";
  TEffectFileShape shape;
  ASSERT_TRUE(WriteEffectVectorFile(path, 20000, 2, shape));
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str().size(), shape.Bytes);
  EXPECT_GE(shape.Bytes, 20000u);
  EXPECT_LT(shape.Bytes, 20000u + 1000u);  // stops after the block that reaches the size

  TEffectFileShape memory_shape;
  const std::vector<std::string> lines = EffectVectorLines(shape.Lines, 2, memory_shape);
  std::string joined;
  for (size_t i = 0; i < shape.Lines; ++i) joined += lines[i] + "\r\n";
  EXPECT_EQ(text.str(), joined);
  ExpectConsistentVectors(
      std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(shape.Lines)),
      shape);
}

TEST(EffectVectors, AFileThatCannotBeWrittenIsReported) {
  TTempDir dir;
  TEffectFileShape shape;
  EXPECT_FALSE(WriteEffectVectorFile(dir.Dir() + "missing/v.svf", 100, 1, shape));
}

TEST(EffectVectors, LongSdrLinesAreValidRawBlockStatements) {
  for (const std::string& line : LongSdrLines(20, 3)) {
    TEffectStatement st;
    std::string result;
    ParseStatement(line, result, st);
    ASSERT_NE(result, kEffectErrorResult) << line;
    EXPECT_TRUE(st.RawBlockPending) << line;
    EXPECT_EQ(st.BitLength, 512);
    EXPECT_EQ(st.TdiHex.size(), 130u);  // 64 bytes and their sum
  }
}

}  // namespace
