// What the operator sees when the database is not there or refuses: the window stays usable,
// the editors say why they are empty, and a refused change is shown and undone in the grid.
#include "app/tab_calibration.h"
#include "app/tab_signal_plan.h"
#include "app/tab_state.h"
#include "form_fixture.h"

namespace liron::test {
namespace {

class FormRefusalsTest : public FormTest {};

TEST_F(FormRefusalsTest, WithoutTheDatabaseTheWindowStaysUsable) {
  // The sixteen attempts of the load sleep on the fake clock, so they take no time here.
  Create(fake_clock_, false, [this](TSettings& s) {
    s.Comp = home_.File("no-server.sock");
    s.AutoStart = true;
    s.Login = "station";
    s.ModBUS_PortSpeed = 9600;
    s.AutoCleanFlag = true;
  });
  Boot();
  EXPECT_FALSE(service_->UserConnection().IsOpen());
  // Kept as the operator set it: the attempts go on, and a server that answers later gets
  // the plan loaded and the control thread started.
  EXPECT_TRUE(service_->Image().Settings().AutoStart);
  EXPECT_EQ(Part<QLabel>("LabelThreadState")->text(), QStringLiteral("Остановлен"));
  EXPECT_TRUE(Part<QPushButton>("ButStart")->isEnabled());
  EXPECT_EQ(Part<TabSignalPlan>("TabSheetSignals")->TestModel()->rowCount(), 0);
  EXPECT_EQ(Part<QLabel>("LabelSigEditState")->text(),
            QStringLiteral("Нет подключения к базе данных."));
  TabCalibration* calibr = Part<TabCalibration>("TabSheetCalibr");
  calibr->TabSheetCalibrShow();
  EXPECT_EQ(Part<QComboBox>("ComboBoxSignalName")->count(), 0);
  Part<QPushButton>("ButAddRecord")->click();  // no signal chosen: nothing to add a point to
  EXPECT_EQ(calibr->TestModel()->rowCount(), 0);
  // "Скрыть" (the default button) takes the INI's values back, never the design values.
  Part<QPushButton>("ButHide")->click();
  const TSettings s = service_->Image().Settings();
  EXPECT_EQ(s.Login, "station");
  EXPECT_EQ(s.ModBUS_PortSpeed, 9600);
  EXPECT_TRUE(s.AutoCleanFlag);
}

class FormReadOnlyUserTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ASSERT_TRUE(db().LoadDemoPlan());
    ASSERT_TRUE(db().Exec("CREATE USER IF NOT EXISTS 'viewer'@'localhost' IDENTIFIED BY 'look'"));
    ASSERT_TRUE(db().Exec("GRANT SELECT ON liron36.* TO 'viewer'@'localhost'"));
    ASSERT_TRUE(db().Exec("GRANT INSERT ON liron36.control_log TO 'viewer'@'localhost'"));
    Create(SystemClock(), false, [](TSettings& s) {
      s.Login = "viewer";
      s.Password = "look";
    });
    Boot();
    ASSERT_TRUE(service_->UserConnection().IsOpen());
  }
};

TEST_F(FormReadOnlyUserTest, ARefusedPlanChangeIsShownAndUndone) {
  SignalPlanModel* m = Part<TabSignalPlan>("TabSheetSignals")->TestModel();
  ASSERT_GT(m->rowCount(), 0);
  const QModelIndex dev = m->index(0, SignalPlanModel::kDevNum);
  const QString stored = dev.data().toString();
  EXPECT_FALSE(m->setData(dev, "9", Qt::EditRole));
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_NE(op_.Messages()[0].text.find("denied"), std::string::npos) << op_.Messages()[0].text;
  EXPECT_EQ(op_.Messages()[0].icon, MsgIcon::Error);
  EXPECT_EQ(m->index(0, SignalPlanModel::kDevNum).data().toString(), stored);
  EXPECT_EQ(m->rowCount(), db().Count("`signal`"));
}

TEST_F(FormReadOnlyUserTest, ARefusedCalibrationChangeIsShownAndUndone) {
  TabCalibration* tab = Part<TabCalibration>("TabSheetCalibr");
  tab->TabSheetCalibrShow();
  Part<QComboBox>("ComboBoxSignalName")->setCurrentText("V1");
  CalibrationModel* m = tab->TestModel();
  ASSERT_EQ(m->rowCount(), 2);
  EXPECT_FALSE(m->setData(m->index(1, CalibrationModel::kFVal), "99", Qt::EditRole));
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(m->index(1, CalibrationModel::kFVal).data().toString(), QStringLiteral("100"));

  // A new point that the server refuses stays in the grid, pending, so nothing typed is lost.
  Part<QPushButton>("ButAddRecord")->click();
  EXPECT_TRUE(m->setData(m->index(2, CalibrationModel::kAVal), "2000", Qt::EditRole));
  EXPECT_FALSE(m->setData(m->index(2, CalibrationModel::kFVal), "50", Qt::EditRole));
  EXPECT_EQ(op_.Messages().size(), 2u);
  EXPECT_TRUE(m->HasPending());
  ASSERT_EQ(m->rowCount(), 3);
  EXPECT_EQ(m->index(2, CalibrationModel::kAVal).data().toString(), QStringLiteral("2000"));
  EXPECT_EQ(m->index(2, CalibrationModel::kFVal).data().toString(), QStringLiteral("50"));
  EXPECT_EQ(db().Count("kalibr where SignalName='V1'"), 2);

  // "Удалить" refused: the point stays.
  Part<QTableView>("DBGridCalibr")->setCurrentIndex(m->index(0, 0));
  Part<QPushButton>("ButDelRecord")->click();
  EXPECT_EQ(op_.Messages().size(), 3u);
  EXPECT_EQ(db().Count("kalibr where SignalName='V1'"), 2);
}

TEST_F(FormReadOnlyUserTest, ApplyWithARefusedPointRestartsNothing) {
  TabCalibration* tab = Part<TabCalibration>("TabSheetCalibr");
  tab->TabSheetCalibrShow();
  Part<QComboBox>("ComboBoxSignalName")->setCurrentText("V1");
  Part<QPushButton>("ButAddRecord")->click();
  EXPECT_TRUE(tab->TestModel()->setData(tab->TestModel()->index(2, 0), "3000", Qt::EditRole));
  op_.SetAnswer(true);
  Part<QPushButton>("ButSave")->click();
  EXPECT_EQ(op_.Questions().size(), 1u);
  EXPECT_EQ(op_.Messages().size(), 1u);  // the refusal
  EXPECT_FALSE(service_->Image().ControlRunning.load());
  EXPECT_TRUE(tab->TestModel()->HasPending());
}

}  // namespace
}  // namespace liron::test
