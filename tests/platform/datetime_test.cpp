#include "platform/datetime.h"

#include <gtest/gtest.h>

namespace liron {
namespace {

TEST(DateTime, EpochAndKnownDays) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  // 3 October 2009 is day 40089 of the Windows date scale.
  EXPECT_DOUBLE_EQ(EncodeDateTime(2009, 10, 3), 40089.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2009, 10, 3, 12), 40089.5);
}

TEST(DateTime, FormatsOfTheService) {
  TDateTime t = EncodeDateTime(2009, 10, 3, 15, 50, 16, 250);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t), "2009-10-03 15:50:16");
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy", t), "03.10.2009");
  EXPECT_EQ(FormatDateTime("hh:nn:ss", t), "15:50:16");
  EXPECT_EQ(FormatDateTime("yyyy_mm_dd", t), "2009_10_03");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", t) + ":00", "2009-10-03 15:50:00");
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", t), "15:50:16.250");
}

TEST(DateTime, DecodeRoundsToTheMillisecondAcrossMidnight) {
  // A moment a hair before midnight rounds into the next day, never to 24:00:00.
  TDateTime t = EncodeDateTime(2024, 2, 28, 23, 59, 59, 999) + 0.9 / kMsPerDay;
  DateTimeParts p = DecodeDateTime(t);
  EXPECT_EQ(p.month, 2);
  EXPECT_EQ(p.day, 29);  // leap year
  EXPECT_EQ(p.hour, 0);
  EXPECT_EQ(p.msec, 0);
}

TEST(DateTime, ParsesServerDateTimes) {
  TDateTime t = 0;
  ASSERT_TRUE(ParseSqlDateTime("2007-01-01 01:01:01", &t));
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t), "2007-01-01 01:01:01");
  EXPECT_FALSE(ParseSqlDateTime("yesterday", &t));
  EXPECT_FALSE(ParseSqlDateTime("2007-13-01 00:00:00", &t));
}

}  // namespace
}  // namespace liron
