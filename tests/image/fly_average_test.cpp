#include "image/fly_average.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/recording_operator.h"

namespace liron {
namespace {

double Offer(TFlyAverage& a, double v) {
  a.SetNewData(v);
  a.SetAccepted(true);
  return a.Average();
}

TEST(FlyAverage, RingOfThree) {
  TFlyAverage a;
  a.SetSize(3);
  EXPECT_DOUBLE_EQ(Offer(a, 1), 1);
  EXPECT_DOUBLE_EQ(Offer(a, 2), 1.5);
  EXPECT_DOUBLE_EQ(Offer(a, 3), 2);
  EXPECT_DOUBLE_EQ(Offer(a, 4), 3);
  EXPECT_DOUBLE_EQ(a.TotalSum(), 9);
  EXPECT_EQ(a.WriteIndex(), 1);
  EXPECT_EQ(a.ValCount(), 3);
}

TEST(FlyAverage, SizeOneFollowsTheLastSample) {
  TFlyAverage a;
  a.SetSize(1);
  for (double v : {5.0, -2.0, 7.5}) EXPECT_DOUBLE_EQ(Offer(a, v), v);
  EXPECT_EQ(a.WriteIndex(), 0);
}

TEST(FlyAverage, AcceptedTwiceAddsOnce) {
  TFlyAverage a;
  a.SetSize(4);
  a.SetNewData(10);
  a.SetAccepted(true);
  a.SetAccepted(true);
  a.SetAccepted(false);
  a.SetAccepted(true);
  EXPECT_EQ(a.ValCount(), 1);
}

TEST(FlyAverage, SameSizeKeepsTheRingResetEmptiesIt) {
  TFlyAverage a;
  a.SetSize(4);
  Offer(a, 1);
  Offer(a, 2);
  a.SetSize(4);
  EXPECT_EQ(a.ValCount(), 2);
  a.Reset();
  EXPECT_EQ(a.ValCount(), 0);
  EXPECT_DOUBLE_EQ(a.Average(), 0);
  EXPECT_FALSE(a.Accepted());
}

TEST(FlyAverage, BrokenAndHugeSamplesLeaveNoTraceOnceTheyHaveLeft) {
  const double nan = std::nan("");
  const double inf = INFINITY;
  const struct {
    std::vector<double> samples;
    double average;
  } cases[] = {
      {{nan, 1, 2, 3}, 2},           // a broken reading is not taken at all
      {{1, 2, inf, -inf, 3}, 2},
      {{1e37, 0.1, 0.2, 0.3}, 0.2},  // the huge sample has left the ring of three
      {{2, -1e300, 5, 7, 9}, 7},
  };
  for (const auto& c : cases) {
    TFlyAverage a;
    a.SetSize(3);
    for (double v : c.samples) Offer(a, v);
    EXPECT_DOUBLE_EQ(a.Average(), c.average) << c.samples.front();
    EXPECT_EQ(a.ValCount(), 3);
  }
}

TEST(FlyAverage, SizeBelowOneOrAboveAnHourShowsTheErrorBoxAndKeepsTheRing) {
  RecordingOperator op;
  TFlyAverage a(&op);
  a.SetSize(3);
  Offer(a, 6);
  a.SetSize(0);
  a.SetSize(-5);
  a.SetSize(3601);
  EXPECT_EQ(a.Size(), 3);
  EXPECT_EQ(a.ValCount(), 1);
  ASSERT_EQ(op.Messages().size(), 3u);
  EXPECT_EQ(op.Messages()[0].caption, "Ошибка");
  EXPECT_EQ(op.Messages()[0].icon, MsgIcon::Error);
}

TEST(FlyAverage, NoRingBeforeTheFirstReset) {
  TFlyAverage a;
  EXPECT_DOUBLE_EQ(a.Add(5), 0.0);
  EXPECT_EQ(a.ValCount(), 0);
}

TEST(FlyAverage, StandardDeviationNeedsSixSamples) {
  TFlyAverage a;
  a.SetSize(10);  // the size it already has: no ring until Reset
  a.Reset();
  for (double v : {1.0, 2.0, 3.0, 4.0, 5.0}) Offer(a, v);
  EXPECT_DOUBLE_EQ(a.CalcSKO(), 0.0);
  Offer(a, 6);
  EXPECT_DOUBLE_EQ(a.CalcSKO(), std::sqrt(3.5));
  a.SetSigma(3);
  EXPECT_DOUBLE_EQ(a.Sigma(), 0.0);
  a.SetSigma(-1);
  EXPECT_DOUBLE_EQ(a.Sigma(), std::sqrt(3.5));
  a.Reset();
  EXPECT_DOUBLE_EQ(a.Sigma(), std::sqrt(3.5));  // Reset leaves Sigma alone
}

}  // namespace
}  // namespace liron
