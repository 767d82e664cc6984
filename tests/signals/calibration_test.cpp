// Calibration tables and the per-cycle input translation with the RAB and RN flags.
#include "signals/calibration.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "db/records.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "signals/calc_works.h"
#include "support/event_texts.h"
#include "support/test_db.h"
#include "support/test_plan.h"

namespace liron {
namespace {

TSignalSet Table(std::initializer_list<std::pair<double, double>> points) {
  TSignalSet t;
  for (auto [a, f] : points) {
    t.AVal[t.CalibCount] = a;
    t.FVal[t.CalibCount] = f;
    ++t.CalibCount;
  }
  return t;
}

TEST(CalibrateValue, IdentityLineExtendsBothWays) {
  const TSignalSet t = Table({{0, 0}, {100, 100}});
  EXPECT_DOUBLE_EQ(CalibrateValue(50, &t), 50);
  EXPECT_DOUBLE_EQ(CalibrateValue(150, &t), 150);
  EXPECT_DOUBLE_EQ(CalibrateValue(-10, &t), -10);
}

TEST(CalibrateValue, TwoPointsInEitherOrderGiveTheSameLine) {
  const TSignalSet up = Table({{4, 0}, {20, 16}});
  const TSignalSet down = Table({{20, 16}, {4, 0}});
  for (double raw : {-3.0, 4.0, 12.0, 20.0, 31.5}) {
    EXPECT_DOUBLE_EQ(CalibrateValue(raw, &up), raw - 4) << raw;
    EXPECT_DOUBLE_EQ(CalibrateValue(raw, &down), raw - 4) << raw;
  }
}

TEST(CalibrateValue, ThreePointsInterpolateAndExtendOuterSegments) {
  // Stored sorted, and in an order the loader would never produce: the results are the same.
  const TSignalSet sorted = Table({{0, 0}, {10, 100}, {20, 150}});
  const TSignalSet shuffled = Table({{20, 150}, {0, 0}, {10, 100}});
  for (const TSignalSet* t : {&sorted, &shuffled}) {
    EXPECT_DOUBLE_EQ(CalibrateValue(10, t), 100);
    EXPECT_DOUBLE_EQ(CalibrateValue(15, t), 125);
    EXPECT_DOUBLE_EQ(CalibrateValue(25, t), 175);
    EXPECT_DOUBLE_EQ(CalibrateValue(-5, t), -50);
    EXPECT_DOUBLE_EQ(CalibrateValue(0, t), 0);
    EXPECT_DOUBLE_EQ(CalibrateValue(20, t), 150);
    EXPECT_DOUBLE_EQ(CalibrateValue(5, t), 50);
  }
}

TEST(CalibrateValue, EqualHardwareValuesKeepTheEarlierPoint) {
  const TSignalSet two = Table({{7, 3}, {7, 9}});
  EXPECT_DOUBLE_EQ(CalibrateValue(-100, &two), 3);
  EXPECT_DOUBLE_EQ(CalibrateValue(7, &two), 3);
  EXPECT_DOUBLE_EQ(CalibrateValue(1e6, &two), 3);

  const TSignalSet low_pair = Table({{5, 1}, {5, 2}, {10, 3}});
  EXPECT_DOUBLE_EQ(CalibrateValue(5, &low_pair), 1);
  EXPECT_DOUBLE_EQ(CalibrateValue(7, &low_pair), 1.8);

  const TSignalSet high_pair = Table({{0, 0}, {10, 5}, {10, 7}});
  EXPECT_DOUBLE_EQ(CalibrateValue(12, &high_pair), 6);
  EXPECT_DOUBLE_EQ(CalibrateValue(10, &high_pair), 5);

  // Below the table the first segment is extended up to the earlier of the equal points.
  const TSignalSet low_start = Table({{10, 4}, {10, 8}, {0, 0}});
  EXPECT_DOUBLE_EQ(CalibrateValue(5, &low_start), 2);
  const TSignalSet all_equal = Table({{3, 1}, {3, 2}, {3, 3}});
  EXPECT_DOUBLE_EQ(CalibrateValue(2, &all_equal), 1);
  EXPECT_DOUBLE_EQ(CalibrateValue(4, &all_equal), 1);
}

TEST(CalibrateValue, PointCountsOutsideTheUsableRangeGiveZero) {
  const TSignalSet one = Table({{3, 42}});
  EXPECT_DOUBLE_EQ(CalibrateValue(-7, &one), 42);
  EXPECT_DOUBLE_EQ(CalibrateValue(3, &one), 42);
  EXPECT_DOUBLE_EQ(CalibrateValue(1e9, &one), 42);

  TSignalSet none = Table({{0, 5}, {100, 105}});
  none.CalibCount = 0;
  EXPECT_DOUBLE_EQ(CalibrateValue(50, &none), 0);
  TSignalSet negative = none;
  negative.CalibCount = -3;
  EXPECT_DOUBLE_EQ(CalibrateValue(50, &negative), 0);

  EXPECT_DOUBLE_EQ(CalibrateValue(50, nullptr), 0);

  TSignalSet full;
  for (int k = 0; k < kMaxCalibPoints; ++k) {
    full.AVal[k] = k;
    full.FVal[k] = 2.0 * k + 1;
  }
  full.CalibCount = kMaxCalibPoints;
  EXPECT_DOUBLE_EQ(CalibrateValue(10, &full), 0);
  EXPECT_DOUBLE_EQ(CalibrateValue(10.5, &full), 0);
  full.CalibCount = kMaxCalibPoints - 1;  // 511 points are the most that count
  EXPECT_DOUBLE_EQ(CalibrateValue(10.5, &full), 22);
  EXPECT_DOUBLE_EQ(CalibrateValue(510, &full), 1021);
  EXPECT_DOUBLE_EQ(CalibrateValue(512, &full), 1025);
}

// A plan of PLS, RAB, TNK1, RN and a second READ row with its own table.
class TranslateInTest : public ::testing::Test {
 protected:
  TranslateInTest() : img(clock), events(64, clock) {
    clock.SetNow(EncodeTestTime());
    test::SetPlan(img, {{"JUMO", "PLS", "READ"},
                        {"CALC", "RAB", ""},
                        {"JUMO", "TNK1", "READ"},
                        {"CALC", "RN", ""},
                        {"V120", "V1", "READ"},
                        {"JUMO", "_PLSZ", "WRITE"}});
    img.Signals[4].CalibCount = 2;  // V1: 4..20 mA to 0..160
    img.Signals[4].AVal[0] = 4;
    img.Signals[4].FVal[0] = 0;
    img.Signals[4].AVal[1] = 20;
    img.Signals[4].FVal[1] = 160;
    img.MinPls = 1.2;
    img.MinNagr = 30;
  }
  static TDateTime EncodeTestTime() { return 40089.5; }

  FakeClock clock;
  TProcessImage img;
  TEventFIFO events;
};

TEST_F(TranslateInTest, ReadRowsAreCalibratedOthersKeepTheirValues) {
  img.RawValues.Set(0, 1.31);
  img.RawValues.Set(2, 44);
  img.RawValues.Set(4, 12);
  img.RawValues.Set(5, 9);
  img.PhysValues.Set(5, 1.5);  // a setpoint that CalcWorks put there
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_DOUBLE_EQ(img.PhysValues.Get(0), 1.31);
  EXPECT_DOUBLE_EQ(img.PhysValues.Get(2), 44);
  EXPECT_DOUBLE_EQ(img.PhysValues.Get(4), 80);
  EXPECT_DOUBLE_EQ(img.PhysValues.Get(5), 1.5);
  EXPECT_DOUBLE_EQ(img.PhysValues.GetMoment(), clock.Now());
  EXPECT_EQ(events.Count(), 0);
}

TEST_F(TranslateInTest, DirectionIsComparedExactly) {
  img.Signals[4].Direction = "read";
  img.RawValues.Set(4, 12);
  img.PhysValues.Set(4, -1);
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_DOUBLE_EQ(img.PhysValues.Get(4), -1);
}

TEST_F(TranslateInTest, RabAtAndJustAboveTheDensityThreshold) {
  img.RawValues.Set(2, 50);
  img.RawValues.Set(0, 1.2);
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_EQ(img.RabValue, 0.0);
  EXPECT_EQ(img.PhysValues.Get(1), 0.0);
  EXPECT_EQ(img.RnValue, 0.0);  // load above its threshold, but the circuit is not working

  img.RawValues.Set(0, 1.2000001);
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_EQ(img.RabValue, 1.0);
  EXPECT_EQ(img.PhysValues.Get(1), 1.0);
  EXPECT_EQ(img.RnValue, 1.0);
  EXPECT_EQ(img.PhysValues.Get(3), 1.0);
}

TEST_F(TranslateInTest, RnAtAndJustAboveTheLoadThreshold) {
  img.RawValues.Set(0, 1.5);
  img.RawValues.Set(2, 30);
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_EQ(img.RabValue, 1.0);
  EXPECT_EQ(img.RnValue, 0.0);
  EXPECT_EQ(img.PhysValues.Get(3), 0.0);
  img.RawValues.Set(2, 30.000001);
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_EQ(img.RnValue, 1.0);
  EXPECT_EQ(img.PhysValues.Get(3), 1.0);
}

TEST_F(TranslateInTest, FlagsOfAPlanWithoutThemLandInTheSpareSlot) {
  test::SetPlan(img, {{"JUMO", "PLS", "READ"}});
  img.RawValues.Set(0, 2);
  ASSERT_TRUE(TranslateIn(img, events));
  EXPECT_DOUBLE_EQ(img.PhysValues.Get(0), 2);
  EXPECT_EQ(img.RabValue, 1.0);
  // RAB went to slot 99, TNK1 is read back from it (1 < MIN_NAGR 30), RN went there last.
  EXPECT_EQ(img.RnValue, 0.0);
  EXPECT_EQ(img.PhysValues.Get(kSpareSlot), 0.0);
}

// The totaliser through a whole cycle: the V-120 pass adds raw units, TranslateIn and CalcWorks
// turn them into the pending amount, the minute record books it on the server.
struct TotaliserCase {
  const char* what;
  TSignalSet table;
  double gain;
};
void PrintTo(const TotaliserCase& c, std::ostream* os) { *os << c.what; }

class TotaliserTest : public test::DbTest, public ::testing::WithParamInterface<TotaliserCase> {
 protected:
  TotaliserTest() : img(clock), events(64, clock), queues(events) {
    test::SetPlan(img, {{"JUMO", "PLS", "READ"}, {"V120", "G_1T1", "READ"}});
    const TSignalSet& t = GetParam().table;
    img.Signals[1].CalibCount = t.CalibCount;
    img.Signals[1].AVal = t.AVal;
    img.Signals[1].FVal = t.FVal;
  }

  FakeClock clock{EncodeDateTime(2009, 10, 3, 15, 50, 0)};
  TProcessImage img;
  TEventFIFO events;
  TSqlQueues queues;
  TRecordState state;
};

TEST_P(TotaliserTest, BooksGainTimesRawUnitsOverAHundredCycles) {
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));
  double raw_total = 0;
  for (int cycle = 0; cycle < 100; ++cycle) {
    const double increment = cycle % 5 == 0 ? 10 + cycle % 7 : 0;  // a reading every fifth pass
    img.RawValues.Add(1, increment);
    raw_total += increment;
    ASSERT_TRUE(TranslateIn(img, events));
    ASSERT_TRUE(CalcWorks(img, events));
    ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
    while (queues.WaitingStatements() > 0) queues.RunWriteQueue(conn);
    clock.Advance(1000);
  }
  const double booked = std::stod(db().Scalar("select sum(G_1T1) from pu_data"));
  EXPECT_NEAR(booked, GetParam().gain * raw_total, 1e-9 * raw_total);
  EXPECT_NEAR(img.RawValues.Get(1), 0, 1e-9);
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tables, TotaliserTest,
    ::testing::Values(TotaliserCase{"demo_ten_pulses_a_tonne", Table({{0, 0}, {1000, 100}}), 0.1},
                      TotaliserCase{"half", Table({{0, 0}, {100, 50}}), 0.5},
                      TotaliserCase{"three", Table({{0, 0}, {100, 300}}), 3},
                      TotaliserCase{"offset_line", Table({{0, 5}, {50, 15}, {100, 25}}), 0.2}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(TotaliserTables, TablesThatGiveNoUsableGainOrNoLineAreNamedAtLoad) {
  FakeClock clock;
  TProcessImage img(clock);
  TEventFIFO events(16, clock);
  test::SetPlan(img, {{"V120", "G_1T1", "READ"}, {"V120", "G_1T2", "READ"},
                      {"V120", "G_1T3", "READ"}, {"V120", "G_1T4", "READ"}});
  const TSignalSet tables[] = {Table({{0, 0}, {50, 20}, {100, 25}}),  // bent
                               Table({{0, 10}, {100, 0}}),            // falls
                               Table({{5, 1}}),                       // one point
                               Table({{0, 0}, {50, 5}, {100, 10}})};  // a line: fine
  for (int i = 0; i < 4; ++i) {
    img.Signals[i].CalibCount = tables[i].CalibCount;
    img.Signals[i].AVal = tables[i].AVal;
    img.Signals[i].FVal = tables[i].FVal;
  }
  ReportTotaliserTables(img, events);
  const std::vector<std::string> expected = {
      "### Калибровка счетчика не линейна: G_1T1 ###",
      "### Калибровка счетчика без положительного наклона: G_1T2 ###",
      "### Калибровка счетчика без положительного наклона: G_1T3 ###"};
  EXPECT_EQ(test::DrainTexts(events), expected);
}

}  // namespace
}  // namespace liron
