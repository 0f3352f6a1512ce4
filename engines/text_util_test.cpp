#include "engines/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextUtil, TrimRemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(Trim("  \t RS \r\n"), "RS");
  EXPECT_EQ(Trim("V1  01 02"), "V1  01 02");
  EXPECT_EQ(Trim(std::string("\0\x1F x \x7F", 6)), "x \x7F");  // DEL is not a blank
  EXPECT_EQ(Trim(" \t\r\n"), "");
  const std::string line = " \tP0 file.hex \r";
  EXPECT_EQ(TrimView(line), "P0 file.hex");
  EXPECT_EQ(TrimView(line).data(), line.data() + 2);  // a view into the line, no copy
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("\xE9t\xE9"), "\xE9t\xE9");  // 8-bit characters are kept
  EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
}

TEST(TextUtil, EscapeForMessageShowsEveryByteReadably) {
  EXPECT_EQ(EscapeForMessage("ZX.09 ~"), "ZX.09 ~");
  EXPECT_EQ(EscapeForMessage("\\\"\r\n\t\x1b"), "\\\\\\\"\\r\\n\\t\\e");
  EXPECT_EQ(EscapeForMessage(std::string("\0\x01\x7f\x80\xff", 5)), "\\x00\\x01\\x7F\\x80\\xFF");
  EXPECT_EQ(EscapeForMessage(""), "");
}

}  // namespace
