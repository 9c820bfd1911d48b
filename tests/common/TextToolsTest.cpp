#include "common/TextTools.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(TextToolsTest, ReplaceAllDoesNotSearchWhatItWrote) {
  struct TCase {
    const char* Text;
    const char* From;
    const char* To;
    const char* Expected;
  };
  const TCase cases[] = {
      {"a|b|c", "|", "-", "a-b-c"},           {"ab", "a", "aa", "aab"}, {"aaa", "aa", "a", "aa"},
      {"x\r\ny", "\n", "~#10~", "x\r~#10~y"}, {"abc", "", "-", "abc"},  {"", "a", "b", ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(replaceAll(c.Text, c.From, c.To), c.Expected) << c.Text << " " << c.From;
  }
}

TEST(TextToolsTest, EqualsIgnoreCaseFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(equalsIgnoreCase("Content-Length", "content-LENGTH"));
  EXPECT_TRUE(equalsIgnoreCase("", ""));
  EXPECT_FALSE(equalsIgnoreCase("abc", "abcd"));
  EXPECT_FALSE(equalsIgnoreCase("\xC4", "\xE4")); // not an ASCII letter
  EXPECT_FALSE(equalsIgnoreCase("[", "{"));
}

TEST(TextToolsTest, TryParseIntegerTakesTheWholeTextOnly) {
  struct TCase {
    const char* Text;
    bool Ok;
    std::int64_t Value;
  };
  const TCase cases[] = {
      {"0", true, 0},   {"-17", true, -17}, {"9223372036854775807", true, INT64_MAX},
      {"", false, 0},   {" 1", false, 0},   {"1 ", false, 0},
      {"+1", false, 0}, {"1x", false, 0},   {"9223372036854775808", false, 0},
      {"--1", false, 0}};
  for (const TCase& c : cases) {
    std::int64_t value = 0;
    EXPECT_EQ(tryParseInteger(c.Text, value), c.Ok) << "\"" << c.Text << "\"";
    if (c.Ok) {
      EXPECT_EQ(value, c.Value) << c.Text;
    }
  }
  int small = 0;
  EXPECT_FALSE(tryParseInteger("4294967296", small)); // out of the type's range
}

} // namespace
