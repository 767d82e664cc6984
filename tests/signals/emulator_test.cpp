// The emulator's switches, the apply command and the value grids.
#include "signals/emulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/journal.h"
#include "db/sql_queues.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "support/test_plan.h"
#include "support/event_texts.h"

namespace liron {
namespace {

class EmulatorTest : public ::testing::Test {
 protected:
  EmulatorTest() : img(clock), events(64, clock), queues(events), journal(queues, events, clock) {
    test::SetPlan(img, {{"JUMO", "PLS", "READ"}, {"V120", "G_1T1", "READ"}, {"CALC", "RAB", ""}});
  }

  // The journal statements queued so far that carry text.
  int JournalRecordsWith(const std::string& text) {
    int n = 0;
    for (const std::string& s : queues.WaitingSnapshot())
      if (s.find("control_log") != std::string::npos && s.find(text) != std::string::npos &&
          s.find("СЛУЖБА ПРИЕМА") != std::string::npos)
        ++n;
    return n;
  }

  FakeClock clock{EncodeDateTime(2009, 10, 3, 15, 50, 16)};
  TProcessImage img;
  TEventFIFO events;
  TSqlQueues queues;
  TJournal journal;
};

TEST_F(EmulatorTest, SwitchesSetTheirLinksPostAndJournal) {
  SetEmulFlag(img, true, events, journal);
  EXPECT_TRUE(img.JumoEmul);
  EXPECT_TRUE(img.V120Emul);
  SetV120Emul(img, false, events, journal);
  EXPECT_TRUE(img.JumoEmul);  // JUMO rows stay emulated
  EXPECT_FALSE(img.V120Emul);
  SetJumoEmul(img, false, events, journal);
  EXPECT_FALSE(img.JumoEmul);
  SetV120Emul(img, true, events, journal);
  SetJumoEmul(img, true, events, journal);
  SetEmulFlag(img, false, events, journal);
  EXPECT_FALSE(img.JumoEmul);
  EXPECT_FALSE(img.V120Emul);

  const std::vector<std::string> expected = {
      "*** Включен эмулятор ***",      "--- Эмулятор V120 выключен ---",
      "--- Эмулятор JUMO выключен ---", "*** Включен эмулятор V120 ***",
      "*** Включен эмулятор JUMO ***",  "--- Эмулятор выключен ---"};
  EXPECT_EQ(test::DrainTexts(events), expected);
  for (const std::string& text : expected) EXPECT_EQ(JournalRecordsWith(text), 1) << text;
}

TEST_F(EmulatorTest, ApplyTakesEveryRowAndStampsTheMoment) {
  ASSERT_TRUE(SetNewEmulValues(img, {"12.34567", "-0,5", " 7 "}));
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(0), 12.34567);
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(1), -0.5);  // a decimal comma as typed on the plant
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(2), 7);
  EXPECT_DOUBLE_EQ(img.EmulValues.GetMoment(), clock.Now());
}

TEST_F(EmulatorTest, ABadCellStopsAtItsRowAndKeepsTheMoment) {
  ASSERT_TRUE(SetNewEmulValues(img, {"1", "2", "3"}));
  const TDateTime applied = img.EmulValues.GetMoment();
  clock.Advance(5000);
  std::string error;
  EXPECT_FALSE(SetNewEmulValues(img, {"10", "2;5", "30"}, &error));
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(0), 10);  // above the bad cell: new
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(1), 2);   // the bad cell and below: old
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(2), 3);
  EXPECT_DOUBLE_EQ(img.EmulValues.GetMoment(), applied);
  EXPECT_NE(error.find("2;5"), std::string::npos);

  // A grid with fewer cells than rows is refused at the first missing one.
  EXPECT_FALSE(SetNewEmulValues(img, {"11", "22"}));
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(1), 22);
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(2), 3);
}

TEST_F(EmulatorTest, EmptyPlanApplyChangesOnlyTheMoment) {
  test::SetPlan(img, {});
  img.EmulValues.Set(0, 4);
  ASSERT_TRUE(SetNewEmulValues(img, {}));
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(0), 4);
  EXPECT_DOUBLE_EQ(img.EmulValues.GetMoment(), clock.Now());
  EXPECT_TRUE(ShowValueFrame(img, img.EmulValues).Rows.empty());
}

TEST_F(EmulatorTest, GridShowsHeadingsTimeOfDayAndRoundedValues) {
  TValueGrid before = ShowValueFrame(img, img.EmulValues);
  ASSERT_EQ(before.Rows.size(), 5u);
  EXPECT_EQ(before.Rows[1][1], "00:00:00");  // nothing applied yet

  ASSERT_TRUE(SetNewEmulValues(img, {"12.34567", "1250", "-0.0004"}));
  const TValueGrid grid = ShowValueFrame(img, img.EmulValues);
  const std::vector<std::array<std::string, 2>> expected = {{"Сигнал", "Значение"},
                                                            {"Время:", "15:50:16"},
                                                            {"PLS", "12.346"},
                                                            {"G_1T1", "1250"},
                                                            {"RAB", "0"}};
  EXPECT_EQ(grid.Rows, expected);
  EXPECT_EQ(TValueGrid::kFixedRows, 2);
  EXPECT_EQ(TValueGrid::kFixedCols, 1);
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(0), 12.34567);  // the frame keeps every digit

  // The shown text applies again to the rounded value.
  std::vector<std::string> cells;
  for (size_t r = TValueGrid::kFixedRows; r < grid.Rows.size(); ++r) cells.push_back(grid.Rows[r][1]);
  ASSERT_TRUE(SetNewEmulValues(img, cells));
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(0), 12.346);
}

}  // namespace
}  // namespace liron
