// Numbers typed and shown on the operator's tabs: a point or a comma typed, "." shown, whatever
// the locale.
#include "signals/number_text.h"

#include <gtest/gtest.h>

namespace liron {
namespace {

TEST(ParseNumber, AcceptsPlainDecimalNumbers) {
  double v = -1;
  EXPECT_TRUE(ParseNumber("1.5", &v));
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_TRUE(ParseNumber("  -0.25 ", &v));
  EXPECT_DOUBLE_EQ(v, -0.25);
  EXPECT_TRUE(ParseNumber("+3", &v));
  EXPECT_DOUBLE_EQ(v, 3);
  EXPECT_TRUE(ParseNumber(".5", &v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  EXPECT_TRUE(ParseNumber("2E3", &v));
  EXPECT_DOUBLE_EQ(v, 2000);
  EXPECT_TRUE(ParseNumber("1,55", &v));
  EXPECT_DOUBLE_EQ(v, 1.55);
  EXPECT_TRUE(ParseNumber(" -,5", &v));
  EXPECT_DOUBLE_EQ(v, -0.5);
}

TEST(ParseNumber, RefusesEverythingElseAndKeepsTheOldValue) {
  double v = 7;
  for (const char* bad : {"", "   ", "1,5.5", "1.5,", "1,,5", "1 000,5", "1.5x", "abc", "--1", "+-1", "inf", "nan", "1e999",
                          "1 5", "-", "."}) {
    EXPECT_FALSE(ParseNumber(bad, &v)) << bad;
    EXPECT_EQ(v, 7) << bad;
  }
}

TEST(FormatDecimals, RoundsDropsTrailingZerosAndKeepsOneIntegerDigit) {
  EXPECT_EQ(FormatDecimals(12.34567, 3), "12.346");
  EXPECT_EQ(FormatDecimals(0.5, 3), "0.5");
  EXPECT_EQ(FormatDecimals(1250, 3), "1250");
  EXPECT_EQ(FormatDecimals(123456789012.0, 3), "123456789012");
  EXPECT_EQ(FormatDecimals(-3.14159, 2), "-3.14");
  EXPECT_EQ(FormatDecimals(1.555, 2), "1.55");  // 1.555 is stored just below the half
  EXPECT_EQ(FormatDecimals(0, 2), "0");
  EXPECT_EQ(FormatDecimals(-0.001, 2), "0");
  EXPECT_EQ(FormatDecimals(2.999, 2), "3");
}

}  // namespace
}  // namespace liron
