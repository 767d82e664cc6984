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
  TabSetpoints* tab = form_->TabSheetControl;
  EXPECT_EQ(tab->LabelControlTime->text(), QStringLiteral("__.__.____ __:__:__"));
  tab->Edit_PLSZ->clear();
  QTest::keyClicks(tab->Edit_PLSZ, "1,55");  // as the operator's keyboard gives it
  tab->Edit_URNSZ->setText("42.5");
  QTest::mouseClick(tab->ButSetNewControl, Qt::LeftButton);
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
  TabSetpoints* tab = form_->TabSheetControl;
  tab->Edit_PLSZ->setText("1.55");
  tab->Edit_URNSZ->setText("4O");
  tab->ButSetNewControl->click();
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
  TabSetpoints* tab = form_->TabSheetControl;
  img.CycleCounter = 1;  // the view is refreshed on every tenth cycle
  Tick();
  EXPECT_NE(tab->LabelControlTime->text(), QStringLiteral("__.__.____ __:__:__"));
  EXPECT_EQ(tab->Edit_PLSZ->text(), QStringLiteral("0"));
  tab->Edit_PLSZ->setText("1.7");  // the operator types
  Tick();
  EXPECT_EQ(tab->Edit_PLSZ->text(), QStringLiteral("1.7"));
  img.PlszSetpoint = 1.456;
  img.UrnszSetpoint = 61.0;
  img.ControlMoment = img.ControlMoment.load() + 1.0 / 86400;
  img.CycleCounter = 2;
  Tick();
  EXPECT_EQ(tab->Edit_PLSZ->text(), QStringLiteral("1.7"));  // only at mod 10 == 1
  img.CycleCounter = 11;
  Tick();
  EXPECT_EQ(tab->Edit_PLSZ->text(), QStringLiteral("1.46"));
  EXPECT_EQ(tab->Edit_URNSZ->text(), QStringLiteral("61"));
  img.CycleCounter = 0;
}

TEST_F(FormTabsTest, TheEmulatorSwitchesAreJournalled) {
  Create();
  Boot();
  TabEmulator* tab = form_->TabSheetEmul;
  TProcessImage& img = service_->Image();
  EXPECT_TRUE(form_->PageControl->isTabVisible(form_->PageControl->indexOf(tab)));

  tab->CheckBoxEmulFlag->click();
  EXPECT_TRUE(img.JumoEmul && img.V120Emul);
  tab->CheckBoxV120_emul->click();  // on
  tab->CheckBoxV120_emul->click();  // and off: V-120 rows from the device again
  EXPECT_TRUE(img.JumoEmul);
  EXPECT_FALSE(img.V120Emul);
  EXPECT_TRUE(tab->CheckBoxEmulFlag->isChecked());  // the master box is not touched
  tab->CheckBoxEmulJumo->click();
  tab->CheckBoxEmulJumo->click();
  EXPECT_FALSE(img.JumoEmul);
  tab->CheckBoxEmulFlag->click();

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
  TabEmulator* tab = form_->TabSheetEmul;
  QTableWidget* grid = tab->StringGridEmulSet;
  TProcessImage& img = service_->Image();
  ASSERT_EQ(grid->rowCount(), img.SignalCount.load() + 2);
  EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("Сигнал"));
  EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral("Время:"));
  EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("00:00:00"));
  EXPECT_FALSE(grid->item(2, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(grid->item(2, 1)->flags() & Qt::ItemIsEditable);

  const int pls = img.SignalIndex("PLS");
  grid->item(pls + 2, 1)->setText("12,34567");
  tab->ButSetNewEmulVal->click();
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(pls), 12.34567);
  Tick();
  EXPECT_EQ(grid->item(pls + 2, 1)->text(), QStringLiteral("12.346"));
  EXPECT_NE(grid->item(1, 1)->text(), QStringLiteral("00:00:00"));

  // A cell that is not a number stops there, with the reason shown.
  grid->item(pls + 2, 1)->setText("abc");
  tab->ButSetNewEmulVal->click();
  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(op_.Messages()[0].caption, "Ошибка");
  EXPECT_DOUBLE_EQ(img.EmulValues.Get(pls), 12.34567);
}

TEST_F(FormTabsTest, ThePlantStateShowsInstantOrAveragedValues) {
  ASSERT_TRUE(db().LoadDemoPlan());
  Create();
  Boot();
  TProcessImage& img = service_->Image();
  TabPuState* tab = form_->TabSheetPuState;
  const int v1 = img.SignalIndex("V1");
  img.PhysValues.Set(v1, 55.5);
  img.AvgValues.Set(v1, 44.25);
  Tick();
  EXPECT_TRUE(tab->RadioButtonInstant->isChecked());
  EXPECT_EQ(tab->StringGridPuState->item(v1 + 2, 0)->text(), QStringLiteral("V1"));
  EXPECT_EQ(tab->StringGridPuState->item(v1 + 2, 1)->text(), QStringLiteral("55.5"));
  tab->RadioButtonAverage->click();
  Tick();
  EXPECT_EQ(tab->StringGridPuState->item(v1 + 2, 1)->text(), QStringLiteral("44.25"));
  EXPECT_FALSE(tab->StringGridPuState->item(v1 + 2, 1)->flags() & Qt::ItemIsEditable);
}

TEST_F(FormTabsTest, HardWriteSwitchIsPostedAndJournalled) {
  Create();
  Boot();
  form_->CheckBoxHardWriteOff->click();
  EXPECT_TRUE(service_->Image().HardWriteOff.load());
  form_->CheckBoxHardWriteOff->click();
  EXPECT_FALSE(service_->Image().HardWriteOff.load());
  FlushWrites();
  EXPECT_EQ(JournalCount("*** Запись в аппаратуру ЗАПРЕЩЕНА ***", "СЛУЖБА ПРИЕМА"), 1);
  EXPECT_EQ(JournalCount("*** Запись в аппаратуру разрешена.", "СЛУЖБА ПРИЕМА"), 1);
}

TEST_F(FormTabsTest, TheEmulatorTabShowsOnceTheSettingIsLoaded) {
  Create();  // the INI file asks for the tab
  const int index = form_->PageControl->indexOf(form_->TabSheetEmul);
  EXPECT_FALSE(form_->PageControl->isTabVisible(index));  // the default until the load
  Boot();
  EXPECT_TRUE(form_->PageControl->isTabVisible(index));
}

TEST_F(FormTabsTest, TheEmulatorTabStaysHiddenWithoutTheSetting) {
  Create(SystemClock(), false, [](TSettings& s) { s.ShowEmulTab = false; });
  Boot();
  EXPECT_FALSE(form_->PageControl->isTabVisible(form_->PageControl->indexOf(form_->TabSheetEmul)));
}

}  // namespace
}  // namespace liron::test
