// The SVF converter: generated SVF with every statement kind, each refusal with its
// text, and the vendor files of engines/testdata (plus the GPL one beside the tree).
#include "tools/svf_convert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/effect_language.h"
#include "engines/file_access.h"
#include "tools/svf_bits.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

fs::path SourceDir() {
  if (const char* src = std::getenv("QELT_SOURCE_DIR")) return src;
  return fs::path(QELT_SOURCE_DIR_FALLBACK);
}

Lines Texts(const std::vector<TSvfMessage>& messages) {
  Lines out;
  for (const TSvfMessage& m : messages) out.push_back(std::to_string(m.Line) + ": " + m.Text);
  return out;
}

TSvfConversion Convert(const std::string& svf, uint64_t tck_hz = 0, bool comments = false) {
  return ConvertSvf(svf, TSvfOptions{tck_hz, comments});
}

TEST(SvfBits, HexFieldsReadAndWriteMostSignificantFirst) {
  TSvfBits bits;
  std::string reason;
  ASSERT_TRUE(SvfHexToBits("1b9", 10, bits, reason));
  EXPECT_EQ(bits, (TSvfBits{1, 0, 0, 1, 1, 1, 0, 1, 1, 0}));
  EXPECT_EQ(SvfBitsToHex(bits), "01B9");
  ASSERT_TRUE(SvfHexToBits("00000000000001", 50, bits, reason));  // more digits than needed
  EXPECT_EQ(SvfBitsToHex(bits), "00000000000001");
  ASSERT_TRUE(SvfHexToBits("1", 12, bits, reason));  // fewer digits: zeros above
  EXPECT_EQ(SvfBitsToHex(bits), "0001");
  EXPECT_FALSE(SvfHexToBits("400", 10, bits, reason));
  EXPECT_EQ(reason, "bits are set beyond the 10-bit length");
  EXPECT_FALSE(SvfHexToBits("12G4", 16, bits, reason));
  EXPECT_EQ(reason, "'G' is not a hex digit");
  EXPECT_EQ(SvfBitsToHex(SvfConcat(TSvfBits{1, 1}, TSvfBits{0, 1})), "0B");
}

// Every statement kind the converter keeps, changes or drops.
TEST(SvfConvert, EveryStatementKind) {
  const std::string svf =
      "! A vendor header\r\n"
      "// Created by hand\r\n"
      "\r\n"
      "FREQUENCY 1E6 HZ;\r\n"
      "trst off;\r\n"
      "ENDIR IDLE;\r\nENDDR DRPAUSE;\r\n"
      "STATE  IREXIT2 IRUPDATE\r\n    DRSELECT DRCAPTURE DREXIT1 DRPAUSE;\r\n"
      "HIR 0 ;\r\nTIR 0;\r\nHDR 0;\r\nTDR 0;\r\n"
      "SIR 8 TDI (fe) TDO (01) MASK (03);\r\n"
      "SDR 32 TDI (0000ffff)\r\n\tTDO (1234\r\n5678)\r\n\tMASK (FFFF0000);\r\n"
      "SDR 32 TDO (00000000);\r\n"  // TDI and MASK repeat; TDO does not
      "SDR 32;\r\n"                 // TDI repeats, no compare
      "SDR 12 TDI (ABC) SMASK (0F0);\r\n"
      "SDR 12 TDI (FFF);\r\n"  // SMASK repeats while the length stays
      "SDR 10 TDI (3FF) TDO (155);\r\n"
      "RUNTEST 100 TCK;\r\n"
      "RUNTEST DRPAUSE 20 TCK;\r\n"
      "RUNTEST 30 TCK;\r\n"  // the run state repeats
      "RUNTEST IDLE 5 TCK 1.00E-003 SEC MAXIMUM 2E-3 SEC ENDSTATE RESET;\r\n"
      "RUNTEST 2E-6 SEC;\r\n";  // the end state repeats
  const TSvfConversion c = Convert(svf, 1000000);
  EXPECT_EQ(c.Lines, (Lines{
                         "TRST OFF;",
                         "ENDIR IDLE;",
                         "ENDDR DRPAUSE;",
                         "STATE IREXIT2 IRUPDATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;",
                         "SIR 8 TDI (FE) TDO (01) MASK (03);",
                         "SDR 32 TDI (0000FFFF) TDO (12345678) MASK (FFFF0000);",
                         "SDR 32 TDI (0000FFFF) TDO (00000000) MASK (FFFF0000);",
                         "SDR 32 TDI (0000FFFF);",
                         "SDR 12 TDI (00B0);",
                         "SDR 12 TDI (00F0);",
                         "SDR 10 TDI (03FF) TDO (0155) MASK (03FF);",
                         "RUNTEST IDLE 100 TCK;",
                         "RUNTEST DRPAUSE 20 TCK;",
                         "RUNTEST DRPAUSE 30 TCK;",
                         "RUNTEST IDLE 1000 TCK;",
                         "STATE RESET;",
                         "RUNTEST IDLE 2 TCK;",
                         "STATE RESET;",
                     }));
  EXPECT_EQ(Texts(c.Notes),
            (Lines{"4: FREQUENCY dropped: the device clocks the chain at its own rate",
                   "10: HIR 0 dropped: no bits to add", "11: TIR 0 dropped: no bits to add",
                   "12: HDR 0 dropped: no bits to add", "13: TDR 0 dropped: no bits to add",
                   "27: RUNTEST maximum time dropped: the device runs the clocks and no longer",
                   "27: RUNTEST time 1.00E-003 SEC is 1000 clocks at 1000000 Hz",
                   "28: RUNTEST time 2E-6 SEC is 2 clocks at 1000000 Hz"}));
  EXPECT_TRUE(c.Ok()) << Texts(c.Refusals).front();
  for (const std::string& line : c.Lines) EXPECT_EQ(CheckEffectLine(line), "") << line;
}

// A header is shifted first, a trailer last, with the shift they belong to: one
// statement. Their TDO is compared only when they have one.
TEST(SvfConvert, HeadersAndTrailersFoldIntoTheirShifts) {
  const TSvfConversion c = Convert(
      "HIR 6 TDI (3F);\nTIR 2 TDI (3);\nHDR 1 TDI (0);\nTDR 3 TDI (0) TDO (5) MASK (7);\n"
      "SIR 8 TDI (01) TDO (01) MASK (03);\n"
      "SDR 32 TDI (12345678);\n"
      "SDR 32 TDI (00000000) TDO (ABCDEF01);\n"
      "HIR 0;\nTIR 0;\nSIR 8 TDI (02);\n");
  EXPECT_EQ(c.Lines, (Lines{
                         "SIR 16 TDI (C07F) TDO (0040) MASK (00C0);",
                         // TDR's TDO makes every SDR compare its three trailer bits.
                         "SDR 36 TDI (002468ACF0) TDO (0A00000000) MASK (0E00000000);",
                         "SDR 36 TDI (0000000000) TDO (0B579BDE02) MASK (0FFFFFFFFE);",
                         "SIR 8 TDI (02);",
                     }));
  EXPECT_EQ(Texts(c.Notes),
            (Lines{"1: HIR 6 folded into every SIR that follows",
                   "2: TIR 2 folded into every SIR that follows",
                   "3: HDR 1 folded into every SDR that follows",
                   "4: TDR 3 folded into every SDR that follows",
                   "8: HIR 0 dropped: no bits to add", "9: TIR 0 dropped: no bits to add"}));
}

TEST(SvfConvert, CommentsAreKeptWhenAsked) {
  const TSvfConversion c = Convert("! first\n// second\nSIR 8 TDI (01); ! third\n", 0, true);
  EXPECT_EQ(c.Lines, (Lines{"// first", "// second", "SIR 8 TDI (01);", "// third"}));
}

// What the Effect language cannot express is refused, statement by statement, at
// the line where the statement begins; nothing else stops the conversion.
TEST(SvfConvert, RefusesWhatTheLanguageCannotExpress) {
  const std::string svf =
      "PIO (HLX);\n"
      "PIOMAP (IN A);\n"
      "RUNTEST 10 SCK;\n"
      "RUNTEST 1E-3 SEC;\n"
      "SDR 600 TDI (0);\n"
      "HDR 500 TDI (0);\nSDR 13 TDI (0);\nHDR 0;\n"
      "SIR 0;\n"
      "SDR 8 TDI (100);\n"
      "SDR 16;\n"
      "SDR 8 TDI (GG);\n"
      "SDR 8 TDI 12;\n"
      "SDR 8 TDI (12) BOGUS (1);\n"
      "ENDDR NOWHERE;\n"
      "STATE IDLE SOMEWHERE;\n"
      "TRST MAYBE;\n"
      "RUNTEST;\n"
      "LOOP 3;\n"
      "SIR 8 TDI (01)";
  const TSvfConversion c = Convert(svf);
  EXPECT_EQ(Texts(c.Refusals),
            (Lines{
                "1: PIO cannot be expressed: the device has no parallel pins to drive",
                "2: PIOMAP cannot be expressed: the device has no parallel pins to drive",
                "3: RUNTEST counts of the system clock (SCK) cannot be expressed",
                "4: RUNTEST with a time in seconds needs the chain's clock: give --tck-hz",
                "5: SDR of 600 bits (with header and trailer) is longer than the 512 bits a "
                "statement may shift",
                "7: SDR of 513 bits (with header and trailer) is longer than the 512 bits a "
                "statement may shift",
                "9: SIR of 0 bits cannot be expressed",
                "10: TDI: bits are set beyond the 8-bit length",
                "11: SDR 16 has no TDI and no earlier one of that length to repeat",
                "12: TDI: 'G' is not a hex digit",
                "13: TDI needs a value in parentheses",
                "14: 'BOGUS' is not a field of SDR",
                "15: ENDDR takes one TAP state",
                "16: 'SOMEWHERE' is not a TAP state",
                "17: TRST takes ON, OFF, Z or ABSENT",
                "18: RUNTEST must read [state] [count TCK] [time SEC [MAXIMUM time SEC]] "
                "[ENDSTATE state]",
                "19: 'LOOP' is not an SVF statement",
                "20: statement without ';'",
            }));
  EXPECT_FALSE(c.Ok());
  EXPECT_EQ(FormatSvfRefusal("x.svf", c.Refusals[0]),
            "x.svf:1: PIO cannot be expressed: the device has no parallel pins to drive");
  EXPECT_EQ(FormatSvfNote("x.svf", {8, "HDR 0 dropped: no bits to add"}),
            "x.svf:8: note: HDR 0 dropped: no bits to add");
}

struct TVendorCase {
  const char* path;  // below the source tree
  uint64_t tck_hz;
  size_t lines;  // Effect lines written
  size_t notes;
};

// The vendor files that fit the language convert, and their output passes the
// check a playback makes of every line.
TEST(SvfConvert, VendorFilesThatFitTheLanguageConvert) {
  const TVendorCase cases[] = {
      {"engines/testdata/VHDL-CPLDIntro1LEDon.svf", 0, 5110, 33},
      {"engines/testdata/bbv3-jtagkey.svf", 0, 533, 29},
      {"engines/testdata/snes_dejitter.svf", 1000000, 3235, 438},
  };
  for (const TVendorCase& v : cases) {
    SCOPED_TRACE(v.path);
    std::vector<std::string> lines;
    ASSERT_TRUE(LoadTextLines((SourceDir() / v.path).string(), lines));
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const TSvfConversion c = Convert(text, v.tck_hz);
    ASSERT_TRUE(c.Ok()) << Texts(c.Refusals).front();
    EXPECT_EQ(c.Lines.size(), v.lines);
    EXPECT_EQ(c.Notes.size(), v.notes);
    for (const std::string& line : c.Lines) ASSERT_EQ(CheckEffectLine(line), "") << line;
  }
}

// Without the chain's clock the times of snes_dejitter cannot be converted: each
// refused statement is named.
TEST(SvfConvert, VendorFilesThatDoNotFitSayWhyLineByLine) {
  std::vector<std::string> lines;
  ASSERT_TRUE(LoadTextLines((SourceDir() / "engines/testdata/snes_dejitter.svf").string(), lines));
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const TSvfConversion snes = Convert(text);
  EXPECT_EQ(snes.Refusals.size(), 434u);
  EXPECT_EQ(Texts(snes.Refusals).front(),
            "11: RUNTEST with a time in seconds needs the chain's clock: give --tck-hz");
}

// The GPL file beside the tree (not carried in it) shifts 1592 bits at a time.
TEST(SvfConvert, TheGplFileBesideTheTreeShiftsTooManyBits) {
  const fs::path gpl = SourceDir() / ".." / "shared" / "testdata" / "svf" / "R3DUX.SVF";
  std::error_code ec;
  if (!fs::exists(gpl, ec)) GTEST_SKIP() << "no shared vector files beside the tree";
  std::vector<std::string> lines;
  ASSERT_TRUE(LoadTextLines(gpl.string(), lines));
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const TSvfConversion r3dux = Convert(text, 1000000);
  EXPECT_EQ(r3dux.Refusals.size(), 190u);
  for (const TSvfMessage& refusal : r3dux.Refusals) {
    EXPECT_EQ(refusal.Text,
              "SDR of 1592 bits (with header and trailer) is longer than the 512 bits a "
              "statement may shift");
  }
}

}  // namespace
