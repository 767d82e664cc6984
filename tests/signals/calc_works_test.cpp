// Moving averages, the averaged flags and the setpoint rows of one control cycle.
#include "signals/calc_works.h"

#include <gtest/gtest.h>

#include "platform/fake_clock.h"
#include "support/test_plan.h"

namespace liron {
namespace {

class CalcWorksTest : public ::testing::Test {
 protected:
  CalcWorksTest() : img(clock), events(64, clock) {
    TSettings s = img.Settings();
    s.AverageLen = 3;
    img.SetSettings(s);
    test::SetPlan(img, {{"JUMO", "PLS", "READ"},
                        {"JUMO", "TNK1", "READ"},
                        {"CALC", "RAB", ""},
                        {"CALC", "RN", ""},
                        {"V120", "G_1T1", "READ"},
                        {"V120", "G_1T2", "READ"},
                        {"JUMO", "_PLSZ", "WRITE"},
                        {"JUMO", "_URNSZ", "WRITE"}});
    img.MinPls = 1.2;
    img.MinNagr = 30;
  }

  // One cycle with the given physical values of PLS, TNK1, G_1T1 and G_1T2.
  void Cycle(double pls, double tnk, double g1, double g2) {
    img.PhysValues.Set(0, pls);
    img.PhysValues.Set(1, tnk);
    img.PhysValues.Set(4, g1);
    img.PhysValues.Set(5, g2);
    ASSERT_TRUE(CalcWorks(img, events));
  }

  FakeClock clock{40089.25};
  TProcessImage img;
  TEventFIFO events;
};

TEST_F(CalcWorksTest, ReadRowsAreAveragedExceptG1T1) {
  Cycle(1, 10, 5, 1);
  Cycle(2, 20, 7, 2);
  Cycle(3, 30, 0.5, 3);
  Cycle(4, 40, 0.25, 4);  // ring of 3: the first sample has left
  EXPECT_DOUBLE_EQ(img.AvgValues.Get(0), 3);
  EXPECT_DOUBLE_EQ(img.AvgValues.Get(1), 30);
  EXPECT_DOUBLE_EQ(img.AvgValues.Get(4), 0.25);  // G_1T1: the instant value
  EXPECT_DOUBLE_EQ(img.AvgValues.Get(5), 3);     // G_1T2 is averaged like any READ row
  EXPECT_EQ(img.Averages[4]->ValCount(), 0);
  EXPECT_EQ(img.Averages[5]->ValCount(), 3);
  EXPECT_DOUBLE_EQ(img.AvgValues.GetMoment(), clock.Now());
  EXPECT_EQ(events.Count(), 0);
}

TEST_F(CalcWorksTest, FlagsFollowTheAveragesNotTheInstantValues) {
  Cycle(1.5, 50, 0, 0);
  EXPECT_EQ(img.RabValue, 1.0);
  EXPECT_EQ(img.RnValue, 1.0);
  // Instant density drops below MIN_PLS, but the average of 1.5 and 1.0 stays above it.
  Cycle(1.0, 50, 0, 0);
  EXPECT_EQ(img.RabValue, 1.0);
  EXPECT_EQ(img.AvgValues.Get(2), 1.0);
  // Average of 1.5, 1.0, 0.5 is 1.0: not above 1.2.
  Cycle(0.5, 50, 0, 0);
  EXPECT_EQ(img.RabValue, 0.0);
  EXPECT_EQ(img.AvgValues.Get(2), 0.0);
  EXPECT_EQ(img.RnValue, 0.0);
  EXPECT_EQ(img.AvgValues.Get(3), 0.0);
  // PhysValues of RAB and RN are TranslateIn's; CalcWorks leaves them alone.
  img.PhysValues.Set(2, 1.0);
  Cycle(0.7, 50, 0, 0);
  EXPECT_EQ(img.PhysValues.Get(2), 1.0);
}

TEST_F(CalcWorksTest, SetpointsGoIntoThreeFrames) {
  img.PlszSetpoint = 1.55;
  img.UrnszSetpoint = 2.5;
  Cycle(1, 1, 0, 0);
  for (const TSignalValues* f : {&img.AvgValues, &img.PhysValues, &img.OutValues}) {
    EXPECT_DOUBLE_EQ(f->Get(6), 1.55);
    EXPECT_DOUBLE_EQ(f->Get(7), 2.5);
    EXPECT_DOUBLE_EQ(f->Get(kSpareSlot), 0);
  }
}

TEST_F(CalcWorksTest, MissingSetpointRowsLandInTheSpareSlot) {
  test::SetPlan(img, {{"JUMO", "PLS", "READ"}, {"JUMO", "_PLSZ", "WRITE"}});
  img.PlszSetpoint = 1.55;
  img.UrnszSetpoint = 2.5;
  ASSERT_TRUE(CalcWorks(img, events));
  EXPECT_DOUBLE_EQ(img.OutValues.Get(1), 1.55);
  EXPECT_DOUBLE_EQ(img.OutValues.Get(kSpareSlot), 2.5);

  test::SetPlan(img, {{"JUMO", "PLS", "READ"}});
  img.OutValues.Clear();
  ASSERT_TRUE(CalcWorks(img, events));
  // Both went to slot 99; the level came last.
  for (const TSignalValues* f : {&img.AvgValues, &img.PhysValues, &img.OutValues})
    EXPECT_DOUBLE_EQ(f->Get(kSpareSlot), 2.5);
}

TEST_F(CalcWorksTest, ReadRowWithoutAverageFailsWithItsEvent) {
  img.Averages[1].reset();
  img.PhysValues.Set(0, 4);
  EXPECT_FALSE(CalcWorks(img, events));
  EXPECT_DOUBLE_EQ(img.AvgValues.Get(0), 4);  // rows before the broken one are done
  std::string text;
  TDateTime moment;
  uint32_t secs;
  ASSERT_TRUE(events.Pop(text, moment, secs));
  EXPECT_EQ(text, "!!! Ошибка в функции CalcWorks() !!!");
}

}  // namespace
}  // namespace liron
