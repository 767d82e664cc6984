// The Задания, Эмулятор and Состояние ПУ tabs and the hidden switch "Отключить HardWrite()".
#include <QTest>

#include "app/tab_emulator.h"
#include "app/tab_pu_state.h"
#include "app/tab_setpoints.h"
#include "app/value_grid_view.h"
#include "form_fixture.h"
#include "support/event_texts.h"

namespace liron::test {
namespace {

class FormTabsTest : public FormTest {};

TEST_F(FormTabsTest, ASetpointGoesIntoControlVectorAndTheJournal) {
  Create();
  Boot();
  EXPECT_EQ(Part<QLabel>("LabelControlTime")->text(), QStringLiteral("__.__.____ __:__:__"));
  Part<QLineEdit>("Edit_PLSZ")->clear();
  QTest::keyClicks(Part<QLineEdit>("Edit_PLSZ"), "1,55");  // as the operator's keyboard gives it
  Part<QLineEdit>("Edit_URNSZ")->setText("42.5");
  QTest::mouseClick(Part<QPushButton>("ButSetNewControl"), Qt::LeftButton);
  EXPECT_TRUE(op_.Messages().empty());

  EXPECT_EQ(db().Count("control_vector"), 1);
  const TSqlRows rows = db().Query("select UserName, _PLSZ, _URNSZ from control_vector");
  ASSERT_EQ(rows.Rows.size(), 1u);
  EXPECT_EQ(rows.Rows[0][1].Text, "1.55");
  EXPECT_EQ(rows.Rows[0][2].Text, "42.5");
  EXPECT_EQ(rows.Rows[0][0].Text.rfind(db().User() + "@", 0), 0u) << rows.Rows[0][0].Text;
  // In force only when the control cycle takes the row.
  EXPECT_EQ(service_->Image().PlszSetpoint.load(), 0);
  FlushWrites();
  EXPECT_EQ(JournalCount("Новое задание: Плотность=1.55, Уровень НС=42.5", "СЛУЖБА ПРИЕМА"), 1);
}

TEST_F(FormTabsTest, ASetpointThatIsNotANumberIsRefused) {
  Create();
  Boot();
  Part<QLineEdit>("Edit_PLSZ")->setText("1.55");
  Part<QLineEdit>("Edit_URNSZ")->setText("4O");
  Part<QPushButton>("ButSetNewControl")->click();
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(op_.Messages()[0].text, "Правильно вводите числа.");
  EXPECT_EQ(db().Count("control_vector"), 0);
  EXPECT_EQ(service_->Image().PlszSetpoint.load(), 0);  // the good field is not taken either
  FlushWrites();
  EXPECT_EQ(db().Count("control_log where MessageText like 'Новое задание%'"), 0);
}

TEST_F(FormTabsTest, TheSetpointViewShowsOnlyANewerSetpoint) {
  Create();
  Boot();
  TProcessImage& img = service_->Image();
  img.CycleCounter = 1;  // the view is refreshed on every tenth cycle
  Tick();
  EXPECT_NE(Part<QLabel>("LabelControlTime")->text(), QStringLiteral("__.__.____ __:__:__"));
  QLineEdit* edit_plsz = Part<QLineEdit>("Edit_PLSZ");
  EXPECT_EQ(edit_plsz->text(), QStringLiteral("0"));
  edit_plsz->setText("1.7");  // the operator types
  Tick();
  EXPECT_EQ(edit_plsz->text(), QStringLiteral("1.7"));
  img.PlszSetpoint = 1.456;
  img.UrnszSetpoint = 61.0;
  img.ControlMoment = img.ControlMoment.load() + 1.0 / 86400;
  img.CycleCounter = 2;
  Tick();
  EXPECT_EQ(edit_plsz->text(), QStringLiteral("1.7"));  // only at mod 10 == 1
  img.CycleCounter = 11;
  Tick();
  EXPECT_EQ(edit_plsz->text(), QStringLiteral("1.46"));
  EXPECT_EQ(Part<QLineEdit>("Edit_URNSZ")->text(), QStringLiteral("61"));
  img.CycleCounter = 0;
}

TEST_F(FormTabsTest, TheEmulatorSwitchesAreJournalled) {
  Create();
  Boot();
  TabEmulator* tab = Part<TabEmulator>("TabSheetEmul");
  TProcessImage& img = service_->Image();
  QTabWidget* page_control = Part<QTabWidget>("PageControl");
  EXPECT_TRUE(page_control->isTabVisible(page_control->indexOf(tab)));

  QCheckBox* check_box_emul_flag = Part<QCheckBox>("CheckBoxEmulFlag");
  check_box_emul_flag->click();
  EXPECT_TRUE(img.JumoEmul && img.V120Emul);
  Part<QCheckBox>("CheckBoxV120_emul")->click();  // on
  Part<QCheckBox>("CheckBoxV120_emul")->click();  // and off: V-120 rows from the device again
  EXPECT_TRUE(img.JumoEmul);
  EXPECT_FALSE(img.V120Emul);
  EXPECT_TRUE(check_box_emul_flag->isChecked());  // the master box is not touched
  Part<QCheckBox>("CheckBoxEmulJumo")->click();
  Part<QCheckBox>("CheckBoxEmulJumo")->click();
  EXPECT_FALSE(img.JumoEmul);
  check_box_emul_flag->click();

  const std::vector<std::string> events = DrainTexts(service_->Events());
  for (const char* text : {"*** Включен эмулятор ***", "*** Включен эмулятор V120 ***",
                           "--- Эмулятор V120 выключен ---", "*** Включен эмулятор JUMO ***",
                           "--- Эмулятор JUMO выключен ---", "--- Эмулятор выключен ---"}) {
    EXPECT_TRUE(Contains(events, text)) << text;
  }
  FlushWrites();
  for (const char* text : {"*** Включен эмулятор ***", "*** Включен эмулятор V120 ***",
                           "--- Эмулятор V120 выключен ---", "*** Включен эмулятор JUMO ***",
                           "--- Эмулятор JUMO выключен ---", "--- Эмулятор выключен ---"}) {
    EXPECT_EQ(JournalCount(text, "СЛУЖБА ПРИЕМА"), 1) << text;
  }
}

TEST_F(FormTabsTest, EmulatedValuesAreTakenAndShownBackRounded) {
  ASSERT_TRUE(db().LoadDemoPlan());
  Create();
  Boot();
  QTableWidget* grid = Part<QTableWidget>("StringGridEmulSet");
  TProcessImage& img = service_->Image();
  ASSERT_EQ(grid->rowCount(), img.SignalCount.load() + 2);
  EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("Сигнал"));
  EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral("Время:"));
  EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("00:00:00"));
  EXPECT_FALSE(grid->item(2, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(grid->item(2, 1)->flags() & Qt::ItemIsEditable);

  const int pls = img.SignalIndex("PLS");
  grid->item(pls + 2, 1)->setText("12,34567");
  Part<QPushButton>("ButSetNewEmulVal")->click();
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(pls), 12.34567);
  Tick();
  EXPECT_EQ(grid->item(pls + 2, 1)->text(), QStringLiteral("12.346"));
  EXPECT_NE(grid->item(1, 1)->text(), QStringLiteral("00:00:00"));

  // A cell that is not a number stops there, with the reason shown.
  grid->item(pls + 2, 1)->setText("abc");
  Part<QPushButton>("ButSetNewEmulVal")->click();
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(op_.Messages()[0].caption, "Ошибка");
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(pls), 12.34567);
}

TEST_F(FormTabsTest, ThePlantStateShowsInstantOrAveragedValues) {
  ASSERT_TRUE(db().LoadDemoPlan());
  Create();
  Boot();
  TProcessImage& img = service_->Image();
  const int v1 = img.SignalIndex("V1");
  img.PhysValues.Set(v1, 55.5);
  img.AvgValues.Set(v1, 44.25);
  Tick();
  EXPECT_TRUE(Part<QRadioButton>("RadioButtonInstant")->isChecked());
  QTableWidget* string_grid_pu_state = Part<QTableWidget>("StringGridPuState");
  EXPECT_EQ(string_grid_pu_state->item(v1 + 2, 0)->text(), QStringLiteral("V1"));
  EXPECT_EQ(string_grid_pu_state->item(v1 + 2, 1)->text(), QStringLiteral("55.5"));
  Part<QRadioButton>("RadioButtonAverage")->click();
  Tick();
  EXPECT_EQ(string_grid_pu_state->item(v1 + 2, 1)->text(), QStringLiteral("44.25"));
  EXPECT_FALSE(string_grid_pu_state->item(v1 + 2, 1)->flags() & Qt::ItemIsEditable);
}

TEST_F(FormTabsTest, HardWriteSwitchIsPostedAndJournalled) {
  Create();
  Boot();
  Part<QCheckBox>("CheckBoxHardWriteOff")->click();
  EXPECT_TRUE(service_->Image().HardWriteOff.load());
  Part<QCheckBox>("CheckBoxHardWriteOff")->click();
  EXPECT_FALSE(service_->Image().HardWriteOff.load());
  FlushWrites();
  EXPECT_EQ(JournalCount("*** Запись в аппаратуру ЗАПРЕЩЕНА ***", "СЛУЖБА ПРИЕМА"), 1);
  EXPECT_EQ(JournalCount("*** Запись в аппаратуру разрешена.", "СЛУЖБА ПРИЕМА"), 1);
}

TEST_F(FormTabsTest, TheEmulatorTabShowsOnceTheSettingIsLoaded) {
  Create();  // the INI file asks for the tab
  QTabWidget* page_control = Part<QTabWidget>("PageControl");
  const int index = page_control->indexOf(Part<TabEmulator>("TabSheetEmul"));
  EXPECT_FALSE(page_control->isTabVisible(index));  // the default until the load
  Boot();
  EXPECT_TRUE(page_control->isTabVisible(index));
}

TEST_F(FormTabsTest, TheEmulatorTabStaysHiddenWithoutTheSetting) {
  Create(SystemClock(), false, [](TSettings& s) { s.ShowEmulTab = false; });
  Boot();
  QTabWidget* page_control = Part<QTabWidget>("PageControl");
  const int index = page_control->indexOf(Part<TabEmulator>("TabSheetEmul"));
  EXPECT_FALSE(page_control->isTabVisible(index));
}

}  // namespace
}  // namespace liron::test
