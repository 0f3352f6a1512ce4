#include "engines/effect_language.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/intel_hex.h"

namespace {

std::string Parse(const std::string& line, TEffectStatement* out = nullptr) {
  TEffectStatement st;
  std::string result;
  ParseStatement(line, result, st);
  if (out) *out = st;
  return result;
}

struct TLineCase {
  const char* line;
  const char* result;  // "" for a line that produces nothing
};

// The reference lines of the language and the records they must give.
TEST(EffectParse, ReferenceLines) {
  const TLineCase cases[] = {
      {"ENDIR IDLE;", ":0100000601F8"},
      {"ENDDR DRPAUSE;", ":0100000706F2"},
      {"STATE RESET IDLE;", ":020000050001F8"},
      {"RUNTEST 1000 TCK;", ":05000004000003E8010B"},
      {"SIR 8 TDI (FE);", ":01000862FE97"},
      {"SIR 8 ;", ":0000086296"},
      {"SDR 64 TDI (FFFFFFFFFFFFFFFF);", ":010040E3FFDD"},
      {"SDR 16 TDI (1234) TDO (ABCD) MASK (FFFF);", ":010010730676"},
      {"// any text", ""},
      {"TRST OFF;", ""},
      {"STATE IDLE", ""},
      {"", "Error"},
      {"SIR 8;", "Error"},
      {"SDR 600 TDI (00);", "Error"},
      {"RUNTEST 1.0E-3 SEC;", "Error"},
      {"sir 8 TDI (FE);", "Error"},
      {"SIR 8 TDI (fe);", ":01000862FE97"},
  };
  for (const TLineCase& c : cases) {
    EXPECT_EQ(Parse(c.line), c.result) << "line: " << c.line;
  }
}

TEST(EffectParse, LongSdrFieldsCarryTheRawBlockAndItsSum) {
  TEffectStatement st;
  ASSERT_EQ(Parse("SDR 16 TDI (1234) TDO (ABCD) MASK (FFFF);", &st), ":010010730676");
  EXPECT_EQ(st.StatementType, 0x73);
  EXPECT_EQ(st.BitLength, 16);
  EXPECT_EQ(st.TdiHex, "341246");
  EXPECT_EQ(st.TdoHex, "CDAB");
  EXPECT_EQ(st.MaskHex, "FFFF");
  EXPECT_EQ(st.SmaskHex, "");
  EXPECT_TRUE(st.RawBlockPending);
}

TEST(EffectParse, ModeLettersSetTheModeBits) {
  struct {
    const char* line;
    uint8_t type;
    const char* record;
  } cases[] = {
      {"SIRS 8 TDI (FE);", 0x22, ":01000822FED7"},
      {"SIRE 8 TDI (FE);", 0x42, ":01000842FEB7"},
      {"SIRC 8 TDI (FE);", 0x02, ":01000802FEF7"},
      {"SIR 8 TDI (FE) TDO (FF);", 0x72, ":01000872FE87"},
      {"SIRS 8 TDI (FE) TDO (01);", 0x32, ":01000832FEC7"},
      {"SDRS 16 TDI (1234);", 0x23, ":0100102306C6"},
      {"SDRE 16 TDI (1234);", 0x43, ":0100104306A6"},
      {"SDRC 16 TDI (1234);", 0x03, ":0100100306E6"},
      {"SDRE 16 TDI (1234) TDO (FFFF);", 0x53, ":010010530696"},
      {"SDRS 16 TDI (AAAA);", 0xA3, ":010010A3AAA2"},
      {"SDRC 16 TDI (AAAA) TDO (0000);", 0x93, ":01001093AAB2"},
      {"SDR 16 TDI (AAAA);", 0xE3, ":010010E3AA62"},
      {"SDR\t16 TDI (1234);", 0x63, ":010010630686"},  // any other character: plain mode
  };
  for (const auto& c : cases) {
    TEffectStatement st;
    EXPECT_EQ(Parse(c.line, &st), c.record) << c.line;
    EXPECT_EQ(st.StatementType, c.type) << c.line;
  }
}

TEST(EffectParse, SmaskMasksTdiOnlyWhenOfTheSameLength) {
  TEffectStatement st;
  EXPECT_EQ(Parse("SIR 8 TDI (FF) SMASK (F0);", &st), ":01000862F0A5");
  EXPECT_EQ(st.SmaskHex, "F0");
  EXPECT_EQ(Parse("SIR 8 TDI (FF) SMASK (00F0);", &st), ":01000862FF96");
  EXPECT_EQ(st.TdiHex, "FF");
  // Masking can turn long data into fill form.
  EXPECT_EQ(Parse("SDR 8 TDI (3F) SMASK (33);", &st), ":010008E333E1");
  EXPECT_FALSE(st.RawBlockPending);
}

TEST(EffectParse, FieldWithoutClosingParenthesisIsEmpty) {
  TEffectStatement st;
  // The rest is examined again from the field's first digit on: "FE;" is no keyword.
  EXPECT_EQ(Parse("SIR 8 TDI (FE;", &st), "Error");
  // Here the rest is ";", so the statement ends with an empty TDI.
  EXPECT_EQ(Parse("SIR 8 TDI (;", &st), ":0000086296");
  EXPECT_EQ(st.TdiHex, "");
  // The next field's ")" closes the unterminated one, as the rule reads.
  EXPECT_EQ(Parse("SIR 8 TDO (FE TDI (01);", &st), "Error");
}

TEST(EffectParse, RepeatedFieldOverwritesTheEarlierOne) {
  TEffectStatement st;
  EXPECT_EQ(Parse("SIR 8 TDI (00) TDI (FE);", &st), ":01000862FE97");
  EXPECT_EQ(st.TdiHex, "FE");
}

TEST(EffectParse, FieldsAreResetByEveryParse) {
  TEffectStatement st;
  std::string result;
  ParseStatement("SDR 16 TDI (1234) TDO (ABCD) MASK (FFFF) SMASK (FFFF);", result, st);
  ASSERT_TRUE(st.RawBlockPending);
  result.clear();
  ParseStatement("// comment", result, st);
  EXPECT_EQ(result, "");
  EXPECT_EQ(st.StatementType, 0);
  EXPECT_EQ(st.BitLength, 0);
  EXPECT_EQ(st.TdiHex, "");
  EXPECT_EQ(st.TdoHex, "");
  EXPECT_EQ(st.MaskHex, "");
  EXPECT_EQ(st.SmaskHex, "");
  EXPECT_FALSE(st.RawBlockPending);
}

TEST(EffectParse, NothingLeavesTheResultUntouched) {
  TEffectStatement st;
  std::string result = "kept";
  ParseStatement("TRSTX whatever", result, st);
  EXPECT_EQ(result, "kept");
}

TEST(EffectParse, StateRuntestAndEndStates) {
  const TLineCase cases[] = {
      {"STATE;", ":00000005FB"},
      {"STATE\tIRPAUSE  DRPAUSE ;", ":020000050D06E6"},
      {"STATE IDLEX;", "Error"},
      {"STATE IDLE TCK;", "Error"},
      {"STATE IDLE   ", ""},
      {"ENDIR IRPAUSE ; trailing text", ":010000060DEC"},
      {"ENDIR;", "Error"},
      {"ENDIR IDLE", "Error"},
      {"ENDDR IDLE TCK;", "Error"},
      {"RUNTEST IDLE 16 TCK;", ":050000040000001001E6"},
      {"RUNTEST DRPAUSE 16 TCK;", ":050000040000001006E1"},
      {"RUNTEST $10 TCK;", ":050000040000001001E6"},
      {"RUNTEST x10 TCK;", ":050000040000001001E6"},
      {"RUNTEST X10 TCK;", ":050000040000001001E6"},
      {"RUNTEST 0x10 TCK;", ":050000040000001001E6"},
      {"RUNTEST +16 TCK;", ":050000040000001001E6"},
      {"RUNTEST 2147483647 TCK;", ":050000047FFFFFFF017A"},
      {"RUNTEST 2147483648 TCK;", "Error"},
      {"RUNTEST $80000000 TCK;", "Error"},
      {"RUNTEST 16 TCK", "Error"},
      {"RUNTEST 16 SEC;", "Error"},
      {"RUNTEST 16TCK;", "Error"},
      {"RUNTEST IDLE 3 TCK 2.00E-002 SEC;", "Error"},
      {"RUNTEST 16 TCK ENDSTATE IDLE;", "Error"},
      {"RUNTEST $ TCK;", "Error"},
      {"RUNTEST 0x1G TCK;", "Error"},
  };
  for (const TLineCase& c : cases) {
    EXPECT_EQ(Parse(c.line), c.result) << "line: " << c.line;
  }
}

TEST(EffectParse, LexicalRules) {
  const TLineCase cases[] = {
      {"  \t// indented comment", ""},
      {"\tSIR 8 TDI (FE);", ":01000862FE97"},
      {"SIR 8\tTDI (FE);", "Error"},  // a number ends at a space only
      {"SIR 8 TDI(FE);", ":01000862FE97"},
      {"SIR 8 TDI [FE);", ":01000862FE97"},  // the opening character is not read
      {"SIR 8 TDI (FE) ; anything after the end", ":01000862FE97"},
      {"SIR 8 TDI (FE) FOO (00);", "Error"},
      {"SIR 8 TDI (FE)", "Error"},  // no ";": an incomplete shift is not dropped silently
      {"! SVF comment", "Error"},
      {"   ", "Error"},
      {"HIR 0;", "Error"},
      {"TIR 0 ;", "Error"},
      {"HDR 0;", "Error"},
      {"TDR 0;", "Error"},
      {"FREQUENCY 1E6 HZ;", "Error"},
      {"PIO (HLUDXZ);", "Error"},
      {"PIOMAP (IN A);", "Error"},
      {"SIR 8 TDI (F E);", "Error"},  // only hex digits travel in a record
      {"SIR 8 TDI (FG);", "Error"},
      {"SIR 10 TDI (280);", "Error"},  // odd digit count: no whole bytes
  };
  for (const TLineCase& c : cases) {
    EXPECT_EQ(Parse(c.line), c.result) << "line: " << c.line;
  }
}

// Lines whose treatment the language leaves open are rejected, never worse.
TEST(EffectParse, MalformedOrOutOfRangeLinesGiveError) {
  const std::string digits252(252, '0');
  std::string long_ok = std::string(250, 'A') + "12";
  std::string long_bad = std::string(252, 'A') + "12";
  const TLineCase cases[] = {
      {"SIR", "Error"},
      {"SDR", "Error"},
      {"SIRS", "Error"},
      {"SDR 8 ;", "Error"},           // no TDI at all
      {"SDR 8 TDI ();", "Error"},     // no TDI digit
      {"SDR 8 TDI (F);", "Error"},    // one digit
      {"SDR 8 TDO (FF);", "Error"},   // TDO without TDI
      {"SIR -8 TDI (FE);", "Error"},  // negative length
      {"SDR -1 TDI (00);", "Error"},
      {"RUNTEST -5 TCK;", "Error"},  // negative run count
      {"RUNTEST -1 TCK;", "Error"},
      {"SDR 513 TDI (00);", "Error"},
  };
  for (const TLineCase& c : cases) {
    EXPECT_EQ(Parse(c.line), c.result) << "line: " << c.line;
  }
  // A raw block of 254 characters (252 digits and the sum) still fits its length byte;
  // 256 do not.
  TEffectStatement st;
  const std::string ok = Parse("SDR 512 TDI (" + long_ok + ");", &st);
  EXPECT_EQ(ok, BuildHexRecord(0x63, 512, "FE"));
  EXPECT_EQ(st.TdiHex.size(), 254u);
  EXPECT_EQ(Parse("SDR 512 TDI (" + long_bad + ");"), "Error");
  EXPECT_EQ(Parse("SIR 512 TDI (" + std::string(512, 'A') + ");"), "Error");
  EXPECT_EQ(Parse("SIR 0 TDI (" + digits252 + ");"), BuildHexRecord(0x62, 0, digits252));
  EXPECT_EQ(Parse("SDR 0 TDI (00);"), ":010000E3001C");
}

TEST(EffectParse, ZeroLengthShiftsAndLimits) {
  EXPECT_EQ(Parse("SIR 512 TDI (FE);"), ":01020062FE9D");
  EXPECT_EQ(Parse("SIR 0 ;"), ":000000629E");
  EXPECT_EQ(Parse("SIR x200 TDI (FE);"), ":01020062FE9D");
}

TEST(EffectHelpers, ParseTapStateKnowsEveryName) {
  const char* names[] = {"RESET",   "IDLE",    "DRSELECT", "DRCAPTURE", "DRSHIFT",   "DREXIT1",
                         "DRPAUSE", "DREXIT2", "DRUPDATE", "IRSELECT",  "IRCAPTURE", "IRSHIFT",
                         "IREXIT1", "IRPAUSE", "IREXIT2",  "IRUPDATE"};
  for (int i = 0; i < 16; ++i) {
    std::string text = std::string(" \t") + names[i] + "X;";
    std::string code;
    EXPECT_TRUE(ParseTapState(text, code)) << names[i];
    EXPECT_EQ(code, ByteToHex(i)) << names[i];
    EXPECT_EQ(text, "X;") << names[i];  // only the name goes
  }
  std::string text = "idle;";
  std::string code = "stale";
  EXPECT_FALSE(ParseTapState(text, code));
  EXPECT_EQ(code, "");
}

TEST(EffectHelpers, ReverseHexBytes) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},         {"1", "1"},           {"12", "12"},
      {"1234", "3412"}, {"123456", "563412"}, {"12345678", "78563412"},
      {"123", "123"},   {"12345", "45312"},   {"1234567", "6734512"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ReverseHexBytes(in), out) << in;
}

TEST(EffectHelpers, AndHexMask) {
  std::string hex = "FF7E";
  AndHexMask("0F3C", hex);
  EXPECT_EQ(hex, "0F3C");
  hex = "ABCD";
  AndHexMask("F0F0", hex);
  EXPECT_EQ(hex, "A0C0");
  hex = "ABCD";
  AndHexMask("FF", hex);  // other length: unchanged
  EXPECT_EQ(hex, "ABCD");
  hex = "ab";
  AndHexMask("FF", hex);  // lower case reads as 0
  EXPECT_EQ(hex, "00");
}

TEST(EffectHelpers, UniformHexDigitAndAppendHexSum) {
  char d = '?';
  EXPECT_TRUE(UniformHexDigit("AAAA", d));
  EXPECT_EQ(d, 'A');
  d = '?';
  EXPECT_FALSE(UniformHexDigit("AAAB", d));
  EXPECT_FALSE(UniformHexDigit("A", d));
  EXPECT_FALSE(UniformHexDigit("", d));
  EXPECT_EQ(d, '?');

  std::string hex = "3412";
  AppendHexSum(hex);
  EXPECT_EQ(hex, "341246");
  hex = "FFFF";
  AppendHexSum(hex);  // 0x1FE wraps to FE, no complement
  EXPECT_EQ(hex, "FFFFFE");
  hex = "1B9";
  AppendHexSum(hex);  // only complete pairs count
  EXPECT_EQ(hex, "1B91B");
  hex = "";
  AppendHexSum(hex);
  EXPECT_EQ(hex, "00");
}

}  // namespace

namespace {

// Every line that is not a statement says why, in the words the package checker and
// the JTAG engine's error show; statements and skipped lines have no reason.
TEST(EffectCheck, EveryRefusedLineSaysWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {"SIR 8 TDI (FE);", ""},
      {"// comment", ""},
      {"TRST OFF;", ""},
      {"STATE IDLE", ""},
      {"", "blank line"},
      {" \t", "blank line"},
      {"! vendor comment", "'!' comments are not part of the Effect language; write '//'"},
      {"FREQUENCY 1E6 HZ;", "FREQUENCY is not part of the Effect language"},
      {"HIR 0;", "HIR is not part of the Effect language"},
      {"TIR 0;", "TIR is not part of the Effect language"},
      {"HDR 0;", "HDR is not part of the Effect language"},
      {"TDR 0;", "TDR is not part of the Effect language"},
      {"PIO (HLX);", "PIO is not part of the Effect language"},
      {"PIOMAP (IN A);", "PIOMAP is not part of the Effect language"},
      {"sir 8 TDI (FE);", "keywords are upper case: 'sir'"},
      {"LOOP 3;", "'LOOP' is not an Effect statement"},
      {"(FE);", "'(' begins no statement"},
      {"ENDIR;", "ENDIR needs a TAP state name"},
      {"ENDDR PAUSE;", "'PAUSE' is not a TAP state"},
      {"ENDIR IDLE", "missing ';'"},
      {"STATE RESET IDL;", "'IDL' is not a TAP state"},
      {"RUNTEST 1.0E-3 SEC;",
       "RUNTEST with a time in seconds: only clock counts (n TCK) are accepted"},
      {"RUNTEST 100;", "RUNTEST needs a clock count: a whole number followed by a blank"},
      {"RUNTEST -5 TCK;", "negative RUNTEST clock count"},
      {"RUNTEST 10 SCK;", "RUNTEST counts system clocks (SCK): only TCK counts are accepted"},
      {"RUNTEST 10 ;", "missing TCK after the RUNTEST clock count"},
      {"RUNTEST 10 TCK", "missing ';'"},
      {"RUNTEST 10 TCK 1E-3 SEC;",
       "RUNTEST with a time, a maximum or an end state: only 'RUNTEST [state] count TCK;' is "
       "accepted"},
      {"SIR", "SIR needs a length"},
      {"SIR 8;", "SIR length must be a whole number followed by a blank"},
      {"SIR -8 TDI (FE);", "negative SIR length"},
      {"SDR 600 TDI (00);", "SDR longer than 512 bits"},
      {"SDR 8 TDI (FF)", "missing ';'"},
      {"SDR 8 TDI (FF) FOO;", "'FOO' is not a field of SDR"},
      {"SDR 8 TDI (FF;", "TDI field without ')'"},
      {"SDR 8 TDI (FG);", "TDI field holds 'G', which is not a hex digit"},
      {"SDR 8 TDI (F) TDO (0);", "TDI field has an odd number of digits (1)"},
      {"SDR 8 TDI (FF) MASK (123);", "MASK field has an odd number of digits (3)"},
      {"SDR 8 TDO (FF);", "SDR needs TDI data of at least one byte"},
  };
  for (const auto& [line, reason] : cases) EXPECT_EQ(CheckEffectLine(line), reason) << line;
}

TEST(EffectCheck, RawBlockAndRecordLimitsAreNamed) {
  std::string digits;
  for (int i = 0; i < 127; ++i) digits += ByteToHex(i);  // 254 digits, not uniform
  EXPECT_EQ(CheckEffectLine("SDR 512 TDI (" + digits + ");"),
            "SDR data too long: its 254 digits and their sum exceed the 255 characters of a raw "
            "block");
  EXPECT_EQ(CheckEffectLine("SDR 512 TDI (" + digits.substr(2) + ");"), "");
  EXPECT_EQ(CheckEffectLine("SIR 8 TDI (" + std::string(512, '0') + ");"),
            "SIR data too long for one record");
}

// The reason comes with the "Error" result, and only with it.
TEST(EffectCheck, TheReasonComesOnlyWithError) {
  TEffectStatement st;
  std::string result, reason = "untouched";
  ParseStatement("SIR 8 TDI (FE);", result, st, reason);
  EXPECT_EQ(result, ":01000862FE97");
  EXPECT_EQ(reason, "untouched");
  result.clear();
  ParseStatement("FREQUENCY 1E6 HZ;", result, st, reason);
  EXPECT_EQ(result, "Error");
  EXPECT_EQ(reason, "FREQUENCY is not part of the Effect language");
}

}  // namespace
