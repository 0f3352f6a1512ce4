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

}  // namespace
