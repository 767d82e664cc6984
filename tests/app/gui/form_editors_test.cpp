// The signal plan editor and the calibration editor: every change reaches its table at once, a
// refused change is shown and the row returns to its stored values, and "Применить" restarts
// the control thread with the plan and calibrations read again.
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>

#include "app/signal_plan_delegates.h"
#include "app/tab_calibration.h"
#include "app/tab_emulator.h"
#include "app/tab_signal_plan.h"
#include "app/tab_state.h"
#include "form_fixture.h"
#include "support/event_texts.h"

namespace liron::test {
namespace {

class FormEditorsTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ASSERT_TRUE(db().LoadDemoPlan());
  }
  int PlanRow(const std::string& name) {
    SignalPlanModel* m = Part<TabSignalPlan>("TabSheetSignals")->TestModel();
    for (int r = 0; r < m->rowCount(); ++r)
      if (m->index(r, SignalPlanModel::kSignalName).data().toString().toStdString() == name)
        return r;
    return -1;
  }
};

TEST_F(FormEditorsTest, ThePlanEditorShowsTheWholeTable) {
  Create();
  Boot();
  SignalPlanModel* m = Part<TabSignalPlan>("TabSheetSignals")->TestModel();
  EXPECT_EQ(m->rowCount(), db().Count("`signal`"));
  QStringList headings;
  for (int c = 0; c < m->columnCount(); ++c)
    headings << m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(headings, QStringList({"Источник", "Название сигнала", "№ устройства", "Адрес",
                                   "Тип значения", "Обратный порядок\nбайт",
                                   "Обратный порядок\nСлов", "Направление"}));
  const int g = PlanRow("G_1T1");
  ASSERT_GE(g, 0);
  EXPECT_EQ(m->index(g, SignalPlanModel::kKind).data().toString(), QStringLiteral("LONG"));
  EXPECT_EQ(m->index(g, SignalPlanModel::kInverseBytes).data(Qt::CheckStateRole).toInt(),
            int(Qt::Unchecked));
  EXPECT_EQ(m->index(g, SignalPlanModel::kAddr).data(Qt::TextAlignmentRole).toInt(),
            int(Qt::AlignCenter));
  EXPECT_FALSE(m->flags(m->index(g, SignalPlanModel::kSignalName)) & Qt::ItemIsEditable);
  EXPECT_FALSE(m->flags(m->index(g, SignalPlanModel::kDirection)) & Qt::ItemIsEditable);
  EXPECT_TRUE(m->flags(m->index(g, SignalPlanModel::kDevNum)) & Qt::ItemIsEditable);
  EXPECT_FALSE(m->setData(m->index(g, SignalPlanModel::kSignalName), "X", Qt::EditRole));
}

TEST_F(FormEditorsTest, EachPlanChangeIsWrittenAtOnce) {
  Create();
  Boot();
  SignalPlanModel* m = Part<TabSignalPlan>("TabSheetSignals")->TestModel();
  const int r = PlanRow("PLS2");
  ASSERT_GE(r, 0);
  EXPECT_TRUE(m->setData(m->index(r, SignalPlanModel::kDevNum), "3", Qt::EditRole));
  EXPECT_EQ(db().Scalar("select DevNum from `signal` where SignalName='PLS2'"), "3");
  EXPECT_TRUE(m->setData(m->index(r, SignalPlanModel::kAddr), "77", Qt::EditRole));
  EXPECT_EQ(db().Scalar("select Addr from `signal` where SignalName='PLS2'"), "77");
  EXPECT_TRUE(m->setData(m->index(r, SignalPlanModel::kKind), "0", Qt::EditRole));
  EXPECT_EQ(db().Scalar("select Kind from `signal` where SignalName='PLS2'"), "0");
  EXPECT_EQ(m->index(r, SignalPlanModel::kKind).data().toString(), QStringLiteral("INT"));
  EXPECT_TRUE(m->setData(m->index(r, SignalPlanModel::kInverseWords), int(Qt::Unchecked),
                         Qt::CheckStateRole));
  EXPECT_EQ(db().Scalar("select InverseWords from `signal` where SignalName='PLS2'"), "0");
  EXPECT_TRUE(m->setData(m->index(r, SignalPlanModel::kBusName), "V120", Qt::EditRole));
  EXPECT_EQ(db().Scalar("select BusName from `signal` where SignalName='PLS2'"), "V120");
  EXPECT_TRUE(op_.Messages().empty());
  // The acquisition's plan is not touched until it is loaded again.
  EXPECT_EQ(service_->Image().Signals[service_->Image().SignalIndex("PLS2")].DevNum, 2);
}

TEST_F(FormEditorsTest, ARefusedPlanChangeIsShownAndTheRowGoesBack) {
  Create();
  Boot();
  SignalPlanModel* m = Part<TabSignalPlan>("TabSheetSignals")->TestModel();
  const int r = PlanRow("TNK1");
  ASSERT_GE(r, 0);
  // BusName holds ten characters; the server refuses more.
  EXPECT_FALSE(m->setData(m->index(r, SignalPlanModel::kBusName), "JUMO-AND-MORE", Qt::EditRole));
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(op_.Messages()[0].caption, "Ошибка");
  EXPECT_EQ(m->index(r, SignalPlanModel::kBusName).data().toString(), QStringLiteral("JUMO"));
  EXPECT_EQ(db().Scalar("select BusName from `signal` where SignalName='TNK1'"), "JUMO");
  // A device number that is not a number never reaches the server.
  EXPECT_FALSE(m->setData(m->index(r, SignalPlanModel::kDevNum), "1a", Qt::EditRole));
  ASSERT_EQ(op_.Messages().size(), 2u);
  EXPECT_EQ(op_.Messages()[1].text, "Правильно вводите числа.");
  EXPECT_EQ(db().Scalar("select DevNum from `signal` where SignalName='TNK1'"), "1");
}

TEST_F(FormEditorsTest, TheSourceListOffersJumoSoAStrayChoiceCanBeUndone) {
  Create();
  Boot();
  QTableView* view = Part<QTableView>("DBGridSigEdit");
  const int r = PlanRow("PLS");
  ASSERT_GE(r, 0);
  BusNameDelegate bus;
  QWidget parent;
  const QModelIndex index = view->model()->index(r, SignalPlanModel::kBusName);
  auto* box = qobject_cast<QComboBox*>(bus.createEditor(&parent, {}, index));
  ASSERT_NE(box, nullptr);
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  EXPECT_EQ(items, QStringList({"CALC", "ICP", "JUMO", "V120"}));
  bus.setEditorData(box, index);
  EXPECT_EQ(box->currentText(), QStringLiteral("JUMO"));
  box->setCurrentText("ICP");
  bus.setModelData(box, view->model(), index);
  EXPECT_EQ(db().Scalar("select BusName from `signal` where SignalName='PLS'"), "ICP");
  auto* again = qobject_cast<QComboBox*>(bus.createEditor(&parent, {}, index));
  ASSERT_NE(again, nullptr);
  again->setCurrentText("JUMO");
  EXPECT_EQ(again->currentText(), QStringLiteral("JUMO"));
  bus.setModelData(again, view->model(), index);
  EXPECT_EQ(db().Scalar("select BusName from `signal` where SignalName='PLS'"), "JUMO");

  KindDelegate kind;
  const QModelIndex kind_index = view->model()->index(r, SignalPlanModel::kKind);
  auto* kinds = qobject_cast<QComboBox*>(kind.createEditor(&parent, {}, kind_index));
  ASSERT_NE(kinds, nullptr);
  items.clear();
  for (int i = 0; i < kinds->count(); ++i) items << kinds->itemText(i);
  EXPECT_EQ(items, QStringList({"INT", "FLOAT", "LONG", "BIT"}));
  kind.setEditorData(kinds, kind_index);
  EXPECT_EQ(kinds->currentText(), QStringLiteral("FLOAT"));
  kinds->setCurrentIndex(3);
  kind.setModelData(kinds, view->model(), kind_index);
  EXPECT_EQ(db().Scalar("select Kind from `signal` where SignalName='PLS'"), "3");
}

TEST_F(FormEditorsTest, CalibrationPointsAreWrittenAtOnce) {
  Create();
  Boot();
  TabCalibration* tab = Part<TabCalibration>("TabSheetCalibr");
  tab->TabSheetCalibrShow();
  QComboBox* combo_box_signal_name = Part<QComboBox>("ComboBoxSignalName");
  ASSERT_GT(combo_box_signal_name->count(), 0);
  EXPECT_EQ(combo_box_signal_name->currentIndex(), 0);
  EXPECT_FALSE(combo_box_signal_name->isEditable());
  combo_box_signal_name->setCurrentText("TNK1");
  CalibrationModel* m = tab->TestModel();
  ASSERT_EQ(m->rowCount(), 3);  // ordered by AVal
  EXPECT_EQ(m->index(1, CalibrationModel::kAVal).data().toString(), QStringLiteral("50"));
  EXPECT_EQ(m->index(1, CalibrationModel::kFVal).data().toString(), QStringLiteral("48"));
  EXPECT_EQ(m->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("Значение\nАппаратное"));

  // Changed.
  EXPECT_TRUE(m->setData(m->index(1, CalibrationModel::kFVal), "47,5", Qt::EditRole));
  EXPECT_EQ(db().Scalar("select FVal from kalibr where SignalName='TNK1' and AVal=50"), "47.5");
  // Added: the new point belongs to the signal chosen in the list.
  Part<QPushButton>("ButAddRecord")->click();
  ASSERT_EQ(m->rowCount(), 4);
  EXPECT_TRUE(m->setData(m->index(3, CalibrationModel::kAVal), "75", Qt::EditRole));
  EXPECT_EQ(db().Count("kalibr where SignalName='TNK1'"), 3);  // not yet: FVal is missing
  EXPECT_TRUE(m->setData(m->index(3, CalibrationModel::kFVal), "74", Qt::EditRole));
  EXPECT_EQ(db().Count("kalibr where SignalName='TNK1'"), 4);
  EXPECT_EQ(db().Scalar("select FVal from kalibr where SignalName='TNK1' and AVal=75"), "74");
  EXPECT_EQ(m->index(2, CalibrationModel::kAVal).data().toString(), QStringLiteral("75"));
  // Deleted.
  Part<QTableView>("DBGridCalibr")->setCurrentIndex(m->index(0, 0));
  Part<QPushButton>("ButDelRecord")->click();
  EXPECT_EQ(db().Count("kalibr where SignalName='TNK1'"), 3);
  EXPECT_EQ(db().Count("kalibr where SignalName='TNK1' and AVal=0"), 0);
  EXPECT_EQ(m->rowCount(), 3);
  // Not a number, or no number at all: refused before the server.
  EXPECT_FALSE(m->setData(m->index(0, CalibrationModel::kAVal), "x", Qt::EditRole));
  EXPECT_FALSE(m->setData(m->index(0, CalibrationModel::kFVal), "", Qt::EditRole));
  EXPECT_EQ(op_.Messages().size(), 2u);
  EXPECT_EQ(db().Count("kalibr where AVal is null or FVal is null"), 0);
  EXPECT_EQ(db().Count("kalibr where SignalName='TNK2'"), 3);  // other signals untouched
}

TEST_F(FormEditorsTest, ApplyAnsweredNoChangesNothing) {
  Create();
  Boot();
  TabCalibration* tab = Part<TabCalibration>("TabSheetCalibr");
  tab->TabSheetCalibrShow();
  Part<QComboBox>("ComboBoxSignalName")->setCurrentText("PLS");
  Part<QPushButton>("ButAddRecord")->click();
  EXPECT_TRUE(tab->TestModel()->setData(tab->TestModel()->index(2, 0), "50", Qt::EditRole));
  op_.SetAnswer(false);
  Part<QPushButton>("ButSave")->click();
  ASSERT_EQ(op_.Questions().size(), 1u);
  EXPECT_EQ(op_.Questions()[0].text,
            "Для применения настроек понадобиться перезапуск\r\nпотока контроля аппаратуры.\r\n"
            "   Применить изменение настроек?");
  EXPECT_EQ(op_.Questions()[0].caption, "Калибровки");
  EXPECT_EQ(op_.Questions()[0].icon, MsgIcon::Warning);
  EXPECT_FALSE(service_->Image().ControlRunning.load());
  EXPECT_EQ(db().Count("kalibr where SignalName='PLS'"), 2);  // the pending point stays pending
  EXPECT_TRUE(tab->TestModel()->HasPending());
  FlushWrites();
  EXPECT_EQ(JournalCount("!!! Изменены калибровки !!!", "СЛУЖБА ПРИЕМА"), 0);
}

TEST_F(FormEditorsTest, ApplyRestartsTheControlThreadWithTheNewTables) {
  Create(SystemClock(), /*start_timers=*/true);
  ASSERT_TRUE(WaitFor([&] { return service_->Image().SignalCount.load() > 0; }, 8000));
  TProcessImage& img = service_->Image();
  const int pls = img.SignalIndex("PLS");
  EXPECT_EQ(img.Signals[pls].CalibCount, 2);
  ASSERT_FALSE(img.ControlRunning.load());

  TabCalibration* tab = Part<TabCalibration>("TabSheetCalibr");
  tab->TabSheetCalibrShow();
  Part<QComboBox>("ComboBoxSignalName")->setCurrentText("PLS");
  Part<QPushButton>("ButAddRecord")->click();
  CalibrationModel* m = tab->TestModel();
  EXPECT_TRUE(m->setData(m->index(2, CalibrationModel::kAVal), "50", Qt::EditRole));
  // Half a point is no point: "Применить" says so and restarts nothing.
  op_.SetAnswer(true);
  Part<QPushButton>("ButSave")->click();
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(op_.Messages()[0].text, "Введите оба значения точки калибровки.");
  EXPECT_FALSE(img.ControlRunning.load());
  EXPECT_EQ(db().Count("kalibr where SignalName='PLS'"), 2);
  EXPECT_TRUE(m->setData(m->index(2, CalibrationModel::kFVal), "1,5", Qt::EditRole));
  SignalPlanModel* plan = Part<TabSignalPlan>("TabSheetSignals")->TestModel();
  int row = -1;
  for (int r = 0; r < plan->rowCount(); ++r)
    if (plan->index(r, SignalPlanModel::kSignalName).data().toString() == "V1") row = r;
  ASSERT_GE(row, 0);
  EXPECT_TRUE(plan->setData(plan->index(row, SignalPlanModel::kAddr), "112", Qt::EditRole));

  // The event loop goes on answering while the control thread stops and the plan reloads.
  QElapsedTimer since_last;
  qint64 longest_gap = 0;
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&] {
    longest_gap = std::max(longest_gap, since_last.restart());
  });
  beat.start(10);
  since_last.start();
  form_->findChild<QTimer*>("TimerGetLog")->stop();  // the events stay in the ring for the test
  Part<QPushButton>("ButSave")->click();
  ASSERT_TRUE(WaitFor([&] { return !service_->TestApplying(); }, 20000));
  beat.stop();
  EXPECT_LT(longest_gap, 1000);
  EXPECT_EQ(db().Count("kalibr where SignalName='PLS'"), 3);
  EXPECT_EQ(db().Count("kalibr where SignalName='PLS' and AVal=50 and FVal=1.5"), 1);
  EXPECT_EQ(img.Signals[img.SignalIndex("PLS")].CalibCount, 3);
  EXPECT_EQ(img.Signals[img.SignalIndex("V1")].Addr, 112);
  const std::vector<std::string> events = DrainTexts(service_->Events());
  for (const char* text : {"=== В калибровочные таблицы внесены изменения. ===",
                           "Поток контроля останавливается для применения настроек",
                           "Загружаем новые калибровки...", "Запускаем поток приема..."})
    EXPECT_TRUE(Contains(events, text)) << text;
  ASSERT_TRUE(WaitFor([&] { return JournalCount("!!! Изменены калибровки !!!", "СЛУЖБА ПРИЕМА") == 1; },
                      5000));
  // Started, though it was stopped before (it may have ended again on the missing lines).
  EXPECT_TRUE(WaitFor([&] {
    return JournalCount(">>> Запуск потока управления. <<<", "СЛУЖБА ПРИЕМА") == 1;
  }, 5000));
  // Стоп is enabled by the update tick after the thread has started.
  QPushButton* stop = Part<QPushButton>("ButStop");
  ASSERT_TRUE(WaitFor([&] { return stop->isEnabled() || !img.ControlRunning.load(); }, 2000));
  stop->click();
  EXPECT_TRUE(WaitFor([&] { return !img.ControlRunning.load(); }, 10000));
}

TEST_F(FormEditorsTest, TheEmulatorGridFollowsAReorderedPlan) {
  Create();
  Boot();
  TProcessImage& img = service_->Image();
  QTableWidget* grid = Part<QTableWidget>("StringGridEmulSet");
  for (int r = 2; r < grid->rowCount(); ++r) grid->item(r, 1)->setText(QString::number(r * 10));
  Part<QPushButton>("ButSetNewEmulVal")->click();
  std::map<std::string, double> typed;
  for (int i = 0; i < img.SignalCount.load(); ++i) typed[img.SignalNames[i]] = img.EmulValues.Get(i);
  const int v1 = img.SignalIndex("V1");

  // Two signals move to the front of the plan, which "Применить" loads again.
  ASSERT_TRUE(db().Exec("update `signal` set BusName='AUX' where SignalName in ('V1', 'BKK3')"));
  op_.SetAnswer(true);
  Part<QPushButton>("ButSave")->click();
  ASSERT_TRUE(ApplyDone());
  ASSERT_NE(img.SignalIndex("V1"), v1);
  // Every row of the grid shows its own signal's value, and taking the grid again keeps them.
  ASSERT_EQ(grid->rowCount(), img.SignalCount.load() + 2);
  for (int r = 2; r < grid->rowCount(); ++r)
    EXPECT_EQ(grid->item(r, 1)->text().toDouble(), typed[grid->item(r, 0)->text().toStdString()]) << r;
  Part<QPushButton>("ButSetNewEmulVal")->click();
  for (const auto& [name, value] : typed) EXPECT_EQ(img.EmulValues.Get(img.SignalIndex(name)), value) << name;
}

}  // namespace
}  // namespace liron::test
