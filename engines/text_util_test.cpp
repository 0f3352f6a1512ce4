#include "engines/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextUtil, TrimRemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(Trim("  \t RS \r\n"), "RS");
  EXPECT_EQ(Trim("V1  01 02"), "V1  01 02");
  EXPECT_EQ(Trim(std::string("\0\x1F x \x7F", 6)), "x \x7F");  // DEL is not a blank
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("\xE9t\xE9"), "\xE9t\xE9");  // 8-bit characters are kept
  EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
}

TEST(TextUtil, DecimalParsingAcceptsOnlyUnsignedDigitsThatFit) {
  uint32_t v = 7;
  EXPECT_TRUE(ParseDecimalU32("0", v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(ParseDecimalU32("000250", v));
  EXPECT_EQ(v, 250u);
  EXPECT_TRUE(ParseDecimalU32("4294967295", v));
  EXPECT_EQ(v, 4294967295u);
  for (const char* bad :
       {"", "-1", "+1", " 1", "1 ", "1.5", "4294967296", "99999999999999999999", "0x10", "1e3"}) {
    v = 7;
    EXPECT_FALSE(ParseDecimalU32(bad, v)) << bad;
    EXPECT_EQ(v, 7u) << bad;  // untouched on failure
  }
}

}  // namespace
