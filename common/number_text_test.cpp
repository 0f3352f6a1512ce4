#include "common/number_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

TEST(NumberText, DecimalParsingAcceptsUnsignedDigitsThatFit) {
  const struct {
    const char* text;
    uint32_t value;
  } cases[] = {{"0", 0u}, {"000250", 250u}, {"10500", 10500u}, {"4294967295", 4294967295u}};
  for (const auto& c : cases) {
    uint32_t v = 7;
    EXPECT_TRUE(ParseDecimalU32(c.text, v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(NumberText, DecimalParsingRejectsEverythingElseAndLeavesTheValue) {
  for (const std::string& bad : std::initializer_list<std::string>{
           "", "-1", "+1", " 1", "1 ", "1.5", "4294967296", "99999999999999999999", "0x10", "1e3",
           "12a", std::string("1\0", 2), "\xB9"}) {
    uint32_t v = 7;
    EXPECT_FALSE(ParseDecimalU32(bad, v)) << bad;
    EXPECT_EQ(v, 7u) << bad;
  }
}

}  // namespace
