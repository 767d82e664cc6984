#include "db/sql_value.h"

#include <gtest/gtest.h>

#include "platform/datetime.h"

namespace liron {
namespace {

TEST(TSqlValue, ConversionsOfWhatTheServerSends) {
  int64_t n = -1;
  double d = -1;
  TDateTime t = -1;
  EXPECT_TRUE(TSqlValue::Of("101").AsInt(&n));
  EXPECT_EQ(n, 101);
  EXPECT_TRUE(TSqlValue::Of("-7").AsInt(&n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(TSqlValue::Of("1.2").AsDouble(&d));
  EXPECT_EQ(d, 1.2);
  EXPECT_TRUE(TSqlValue::Of("1E20").AsDouble(&d));
  EXPECT_EQ(d, 1e20);
  EXPECT_TRUE(TSqlValue::Of("42").AsDouble(&d));
  EXPECT_EQ(d, 42);
  EXPECT_TRUE(TSqlValue::Of("2009-10-03 15:50:16").AsDateTime(&t));
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t), "2009-10-03 15:50:16");
}

TEST(TSqlValue, NullAndGarbageLeaveTheTargetAlone) {
  int64_t n = 5;
  double d = 5;
  TDateTime t = 5;
  const TSqlValue null;
  EXPECT_TRUE(null.Null);
  EXPECT_FALSE(null.AsInt(&n));
  EXPECT_FALSE(null.AsDouble(&d));
  EXPECT_FALSE(null.AsDateTime(&t));
  EXPECT_FALSE(TSqlValue::Of("").AsDouble(&d));
  EXPECT_FALSE(TSqlValue::Of("abc").AsInt(&n));
  EXPECT_FALSE(TSqlValue::Of("1,5").AsDouble(&d));
  EXPECT_FALSE(TSqlValue::Of("12x").AsDouble(&d));
  EXPECT_EQ(n, 5);
  EXPECT_EQ(d, 5);
  EXPECT_EQ(t, 5);
}

}  // namespace
}  // namespace liron
