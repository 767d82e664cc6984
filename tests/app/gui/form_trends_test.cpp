// The "Тренды" tab: the last hour from the ring that the control cycles fill, the longer
// periods from the rows of pu_data, failed cycles and missing minutes as gaps.
#include <QLineSeries>
#include <QRegularExpression>
#include <QTest>
#include <cmath>

#include "app/tab_trends.h"
#include "db/sql_text.h"
#include "engine/control_loop.h"
#include "engine/test_plant.h"
#include "form_fixture.h"
#include "platform/datetime.h"

namespace liron::test {
namespace {

class FormTrendsTest : public FormTest {
 protected:
  // Shows the tab; the demo plan opens it with PLS, _PLSZ and RAB chosen, PLS first.
  TabTrends* ShowTrends() {
    form_->show();
    Part<QTabWidget>("PageControl")->setCurrentWidget(Part<TabTrends>("TabSheetTrends"));
    QApplication::processEvents();
    return Part<TabTrends>("TabSheetTrends");
  }
  // The points of each run of curve k.
  std::vector<std::vector<QPointF>> Runs(int k) {
    std::vector<std::vector<QPointF>> out;
    for (QLineSeries* s : Part<TrendChart>("ChartTrends")->CurveSeries(k)) {
      const QList<QPointF> points = s->points();
      out.emplace_back(points.begin(), points.end());
    }
    return out;
  }
};

TEST_F(FormTrendsTest, TheLastHourIsTheCyclesOfTheRingWithAFailedCycleAsAGap) {
  ASSERT_TRUE(db().LoadDemoPlan());
  fake_clock_.SetNow(EncodeDateTime(2026, 3, 10, 12, 0, 0));
  Create(fake_clock_);
  Boot();
  TProcessImage& img = service_->Image();
  const int pls = img.SignalIndex("PLS");
  ASSERT_LT(pls, kSpareSlot);

  // Control cycles one after the other on this thread, the steps played by the test plant:
  // cycle k reads PLS k (averaged -k); one cycle near the end fails.
  TestPlant plant(img);
  plant.connected = true;
  const int cycles = TTrendRing::kSamples + 5, failed = cycles - 100;
  std::vector<TDateTime> moment(cycles);
  for (int k = 0; k < cycles; ++k) {
    for (int m = 0; m < kModuleCount; ++m) img.StampModuleRead(m);
    img.PhysValues.Set(pls, k);
    img.AvgValues.Set(pls, -k);
    plant.fail_step = k == failed ? 0 : -1;
    moment[k] = fake_clock_.Now();
    ControlCycle(img, plant, service_->Events(), op_);
  }
  EXPECT_EQ(img.Trends.Recorded(), static_cast<uint64_t>(cycles));  // one sample a cycle

  TabTrends* tab = ShowTrends();
  ASSERT_TRUE(tab->SignalBox("PLS")->isChecked());
  // Each point is a cycle's moment and value: the oldest five cycles are gone, the failed one
  // is a gap between two runs.
  auto check = [&](int sign) {
    const auto runs = Runs(0);
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& run : runs)
      for (const QPointF& p : run) {
        const int k = static_cast<int>(std::lround(p.y() * sign));
        ASSERT_TRUE(k >= 5 && k < cycles && k != failed) << p.y();
        // Within the fake clock's rounding: its moments add up milliseconds in days.
        EXPECT_NEAR(p.x(), moment[k] * 86400.0, 5e-3);
      }
    EXPECT_EQ(runs[0].front().y(), 5 * sign);
    EXPECT_EQ(runs[0].back().y(), (failed - 1) * sign);
    EXPECT_EQ(runs[1].front().y(), (failed + 1) * sign);
    EXPECT_EQ(runs[1].back().y(), (cycles - 1) * sign);
  };
  check(1);
  Part<QRadioButton>("RadioButtonTrendAverage")->click();
  check(-1);

  // The cursor reads the curves where the mouse stands.
  TrendChart* chart = Part<TrendChart>("ChartTrends");
  QLabel* cursor = Part<QLabel>("LabelCursor");
  QChartView* view = chart;
  const QPointF at = view->chart()->mapToPosition(QPointF(moment[3000] * 86400.0, -3000),
                                                  chart->CurveSeries(0).front());
  QTest::mouseMove(view->viewport(), view->mapFromScene(view->chart()->mapToScene(at)));
  const QRegularExpressionMatch shown =
      QRegularExpression(QStringLiteral(" PLS (-?\\d+) ")).match(cursor->text());
  ASSERT_TRUE(shown.hasMatch()) << cursor->text().toStdString();
  EXPECT_NEAR(shown.captured(1).toInt(), -3000, 10);  // within a pixel of it
}

TEST_F(FormTrendsTest, LongerPeriodsShowTheRowsOfPuDataAndTheirNewRowsAMinuteLater) {
  ASSERT_TRUE(db().LoadDemoPlan());
  // Ten hours of minute rows up to 12:00, PLS 1 + minute / 1000, without the row of 10:00.
  const TDateTime noon = EncodeDateTime(2026, 3, 10, 12, 0, 0);
  std::string sql = "insert into pu_data (RecMoment, PLS) values ";
  for (int m = 600; m >= 0; --m) {
    if (m == 120) continue;
    sql += "(" + SqlText(FormatDateTime("yyyy-mm-dd hh:nn:ss", noon - m / 1440.0)) + ", " +
           std::to_string(1 + (600 - m) / 1000.0) + ")" + (m > 0 ? ", " : "");
  }
  ASSERT_TRUE(db().Exec(sql));
  fake_clock_.SetNow(noon + 30 / 86400.0);
  Create(fake_clock_);
  Boot();
  TabTrends* tab = ShowTrends();

  Part<QRadioButton>("RadioButton8Hours")->click();
  TrendChart* chart_trends = Part<TrendChart>("ChartTrends");
  ASSERT_TRUE(WaitFor([&] { return !chart_trends->CurveSeries(0).isEmpty(); }, 10000))
      << Part<QLabel>("LabelTrendsState")->text().toStdString();
  // pu_data holds averages.
  EXPECT_FALSE(Part<QRadioButton>("RadioButtonTrendInstant")->isEnabled());
  // From 04:01 (8 hours back from 12:00:30) to 12:00, each row a point, the gap at 10:00.
  auto runs = Runs(0);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].size() + runs[1].size(), 479u);
  auto minute = [&](const QPointF& p) { return std::lround((noon - p.x() / 86400.0) * 1440); };
  EXPECT_EQ(minute(runs[0].front()), 479);
  EXPECT_EQ(minute(runs[0].back()), 121);
  EXPECT_EQ(minute(runs[1].front()), 119);
  EXPECT_NEAR(runs[1].back().y(), 1.6, 1e-9);

  // A minute later the new row is read, and the row of 12:00 again (it was still changing),
  // also when the server dropped the tab's connection meanwhile.
  for (const auto& row : db().Query("select id from information_schema.processlist where "
                                    "id<>connection_id() and db='liron36'").Rows)
    db().Exec("kill " + row[0].Text);
  ASSERT_TRUE(db().Exec("update pu_data set PLS=2.5 where RecMoment='2026-03-10 12:00:00'"));
  ASSERT_TRUE(
      db().Exec("insert into pu_data (RecMoment, PLS) values ('2026-03-10 12:01:00', 2.75)"));
  fake_clock_.Advance(60000);
  tab->RefreshTrends();
  ASSERT_TRUE(WaitFor([&] { return Runs(0).back().back().y() == 2.75; }, 10000));
  runs = Runs(0);
  EXPECT_EQ(runs[1].rbegin()[1].y(), 2.5);
  EXPECT_EQ(runs[0].size() + runs[1].size(), 479u);  // 04:01 left the period

  // Four curves at most: then the other boxes wait.
  tab->SignalBox("TNK1")->click();
  EXPECT_FALSE(tab->SignalBox("TNK2")->isEnabled());
  EXPECT_TRUE(tab->SignalBox("TNK1")->isEnabled());
}

}  // namespace
}  // namespace liron::test
