// The number text of file names and of the counter must match what "%0.3d"
// and "%d" give, and never run past the buffer it is given.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <string>

#include "delivery/number_text.h"

namespace {

std::string Format(int number, int minDigits, int capacity = 32) {
  char text[32];
  if (FormatNumberText(number, minDigits, text, capacity) < 0) return "<does not fit>";
  return text;
}

TEST(NumberTextTest, MatchesThePaddedDecimalFormat) {
  EXPECT_EQ(Format(0, 3), "000");
  EXPECT_EQ(Format(2, 3), "002");
  EXPECT_EQ(Format(42, 3), "042");
  EXPECT_EQ(Format(999, 3), "999");
  EXPECT_EQ(Format(1000, 3), "1000");
  EXPECT_EQ(Format(-4, 3), "-004");
  EXPECT_EQ(Format(INT_MAX, 3), "2147483647");
  EXPECT_EQ(Format(INT_MIN, 3), "-2147483648");
  EXPECT_EQ(Format(14, 1), "14");
  EXPECT_EQ(Format(-5, 1), "-5");
}

TEST(NumberTextTest, RefusesBuffersTooSmallAndWritesNothingPastThem) {
  char text[8];
  memset(text, 'x', sizeof text);
  EXPECT_EQ(FormatNumberText(1234, 3, text, 4), -1);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[4], 'x');
  EXPECT_EQ(FormatNumberText(123, 3, text, 4), 3);
  EXPECT_STREQ(text, "123");
  EXPECT_EQ(FormatNumberText(-12, 3, text, 4), -1);
  EXPECT_EQ(FormatNumberText(7, 3, text, 0), -1);
  EXPECT_EQ(text[4], 'x');
}

}  // namespace
