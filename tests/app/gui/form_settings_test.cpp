// The "Настройки" tab and the button bar: "Принять изменения" refuses numbers it cannot read
// and keeps every setting, raises a short keeping period to 60 days; the speed lists; Скрыть
// without a tray; the close box; "Закрыть".
#include <QSignalSpy>
#include <QTest>

#include "app/tab_settings.h"
#include "app/tab_state.h"
#include "db/config_file.h"
#include "form_fixture.h"

namespace liron::test {
namespace {

class FormSettingsTest : public FormTest {};

bool SameSettings(const TSettings& a, const TSettings& b) {
  return a.MaxWriteCount == b.MaxWriteCount && a.ModBUS_PortName == b.ModBUS_PortName &&
         a.ModBUS_PortSpeed == b.ModBUS_PortSpeed && a.V120_PortName == b.V120_PortName &&
         a.V120_PortSpeed == b.V120_PortSpeed && a.AverageLen == b.AverageLen &&
         a.AutoStart == b.AutoStart && a.AutoHide == b.AutoHide &&
         a.ShowEmulTab == b.ShowEmulTab && a.SaveLogFlag == b.SaveLogFlag &&
         a.AutoCleanFlag == b.AutoCleanFlag && a.DatabaseSize == b.DatabaseSize &&
         a.Version == b.Version && a.Comp == b.Comp && a.Login == b.Login &&
         a.Password == b.Password;
}

TEST_F(FormSettingsTest, TheTabShowsTheLoadedSettings) {
  Create(SystemClock(), false, [](TSettings& s) {
    s.ModBUS_PortSpeed = 9600;
    s.V120_PortSpeed = 57600;
    s.AverageLen = 30;
    s.DatabaseSize = 365;
    s.AutoCleanFlag = true;
  });
  Boot();
  EXPECT_EQ(Part<QLineEdit>("EditMySQL_server_name")->text().toStdString(), db().Comp());
  EXPECT_EQ(Part<QLineEdit>("EditMySQL_login")->text().toStdString(), db().User());
  EXPECT_TRUE(Part<QLineEdit>("EditMySQL_password")->text().isEmpty());  // never shown
  EXPECT_EQ(Part<QComboBox>("ComboBoxModBUS_Speed")->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(Part<QComboBox>("ComboBoxV120_Speed")->currentText(), QStringLiteral("57600"));
  EXPECT_EQ(Part<QLineEdit>("EditAvLen")->text(), QStringLiteral("30"));
  EXPECT_EQ(Part<QLineEdit>("EditDatabaseSize")->text(), QStringLiteral("365"));
  EXPECT_TRUE(Part<QCheckBox>("CheckBoxAutoClean")->isChecked());
  EXPECT_EQ(Part<QLineEdit>("EditMySQL_password")->echoMode(), QLineEdit::Password);
}

TEST_F(FormSettingsTest, TheSpeedListsOfferOnlySpeedsTheLineOpensWith) {
  Create(fake_clock_);
  for (QComboBox* box : {Part<QComboBox>("ComboBoxModBUS_Speed"),
                         Part<QComboBox>("ComboBoxV120_Speed")}) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    EXPECT_EQ(items, QStringList({"2400", "4800", "9600", "14400", "19200", "38400", "57600",
                                  "115200"}));
  }
}

TEST_F(FormSettingsTest, ANumberItCannotReadKeepsEverySetting) {
  Create();
  Boot();
  const TSettings before = service_->Image().Settings();
  Part<QLineEdit>("EditMySQL_login")->setText("operator");
  Part<QLineEdit>("EditModBUS_PortName")->setText("ttyUSB7");
  Part<QLineEdit>("EditAvLen")->setText("15");
  Part<QLineEdit>("EditDatabaseSize")->setText("90");
  Part<QCheckBox>("CheckBoxAutoStart")->setChecked(true);
  Part<QComboBox>("ComboBoxModBUS_Speed")->setCurrentText("38400x");
  QTest::mouseClick(Part<QPushButton>("ButSet"), Qt::LeftButton);

  ASSERT_EQ(op_.Messages().size(), 1u);
  EXPECT_EQ(op_.Messages()[0].text, "Правильно вводите числа.");
  EXPECT_EQ(op_.Messages()[0].caption, "Ошибка");
  EXPECT_EQ(op_.Messages()[0].icon, MsgIcon::Error);
  EXPECT_TRUE(SameSettings(before, service_->Image().Settings()));

  // Скрыть applies too: refused, and the window stays for the correction.
  form_->show();
  Part<QPushButton>("ButHide")->click();
  EXPECT_EQ(op_.Messages().size(), 2u);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(form_->isMinimized());
  EXPECT_TRUE(SameSettings(before, service_->Image().Settings()));

  Part<QComboBox>("ComboBoxModBUS_Speed")->setCurrentText("115200");
  Part<QPushButton>("ButSet")->click();
  EXPECT_EQ(op_.Messages().size(), 2u);
  const TSettings after = service_->Image().Settings();
  EXPECT_EQ(after.Login, "operator");
  EXPECT_EQ(after.ModBUS_PortName, "ttyUSB7");
  EXPECT_EQ(after.ModBUS_PortSpeed, 115200);
  EXPECT_EQ(after.AverageLen, 15);
  EXPECT_EQ(after.DatabaseSize, 90);
  EXPECT_TRUE(after.AutoStart);
  EXPECT_EQ(after.Password, before.Password);  // an empty password control keeps it
}

TEST_F(FormSettingsTest, TenDaysBecomeSixty) {
  Create();
  Boot();
  Part<QLineEdit>("EditDatabaseSize")->setText("10");
  Part<QPushButton>("ButSet")->click();
  EXPECT_TRUE(op_.Messages().empty());
  EXPECT_EQ(service_->Image().Settings().DatabaseSize, 60);
  EXPECT_EQ(Part<QLineEdit>("EditDatabaseSize")->text(), QStringLiteral("60"));
}

TEST_F(FormSettingsTest, WithoutATrayHideOnlyMinimizes) {
  Create(fake_clock_);
  ASSERT_FALSE(form_->TrayAvailable());  // the offscreen platform has no tray
  // Started with AutoHide: minimized, not hidden behind a tray that does not exist.
  form_->ShowAtStart(true);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isMinimized());
  form_->hide();
  form_->show();
  Part<QPushButton>("ButHide")->click();
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isMinimized());
  form_->RestoreFromTray();
  EXPECT_FALSE(form_->isMinimized());
}

TEST_F(FormSettingsTest, ADoubleClickOnTheTrayBringsTheWindowBack) {
  Create(fake_clock_);
  form_->show();
  form_->showMinimized();
  form_->hide();
  QSystemTrayIcon* tray_icon = Part<QSystemTrayIcon>("TrayIcon");
  emit tray_icon->activated(QSystemTrayIcon::Trigger);  // a single click does nothing
  EXPECT_FALSE(form_->isVisible());
  emit tray_icon->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(form_->isMinimized());
}

// Before the INI's values are in the tab it holds the design values: nothing is taken from it.
TEST_F(FormSettingsTest, SettingsAcceptedBeforeTheTabIsFilledChangeNothing) {
  Create(fake_clock_);
  form_->show();
  Part<QCheckBox>("CheckBoxAutoHide")->setChecked(true);
  Part<QPushButton>("ButSet")->click();
  Tick(2);
  EXPECT_FALSE(form_->isMinimized());
  EXPECT_FALSE(service_->Image().Settings().AutoHide);
  Boot();
  Part<QCheckBox>("CheckBoxAutoHide")->setChecked(true);
  Part<QPushButton>("ButSet")->click();
  EXPECT_TRUE(service_->Image().Settings().AutoHide);
}

TEST_F(FormSettingsTest, TheCloseBoxOnlyMinimizes) {
  Create(fake_clock_);
  form_->show();
  EXPECT_FALSE(form_->close());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isMinimized());
  EXPECT_FALSE(service_->Image().Closing.load());
}

TEST_F(FormSettingsTest, TheWindowLooksAsTheOperatorsKnowIt) {
  Create(fake_clock_);
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Служба приема ЛИРОН-36  1.20"));
  QStringList tabs;
  QTabWidget* page_control = Part<QTabWidget>("PageControl");
  for (int i = 0; i < page_control->count(); ++i) tabs << page_control->tabText(i);
  QStringList known = {"Настройки", "Текущее состояние", "Планировка сигналов",
                       "Эмулятор", "Состояние ПУ", "Калибровки", "Задания"};
#ifdef LIRON_WITH_TRENDS
  known.insert(5, "Тренды");
#endif
  EXPECT_EQ(tabs, known);
  EXPECT_EQ(page_control->currentWidget(), static_cast<QWidget*>(Part<TabState>("TabSheetState")));
  EXPECT_TRUE(Part<QPushButton>("ButHide")->isDefault());
  EXPECT_EQ(Part<QPushButton>("ButHide")->text(), QStringLiteral("Скрыть"));
  EXPECT_EQ(Part<QPushButton>("ButSet")->text(), QStringLiteral("Принять изменения"));
  EXPECT_EQ(Part<QPushButton>("ButClose")->text(), QStringLiteral("Закрыть"));
  form_->show();
  EXPECT_FALSE(Part<QCheckBox>("CheckBoxHardWriteOff")->isVisible());
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize());  // fixed size
}

TEST_F(FormSettingsTest, CloseAnsweredNoChangesNothing) {
  Create();
  Boot();
  form_->show();
  op_.SetAnswer(false);
  Part<QPushButton>("ButClose")->click();
  ASSERT_EQ(op_.Questions().size(), 1u);
  EXPECT_EQ(op_.Questions()[0].text, "Прекратить прием данных и завершить работу с программой?");
  EXPECT_EQ(op_.Questions()[0].caption, "Выход");
  EXPECT_EQ(op_.Questions()[0].icon, MsgIcon::Question);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(service_->Image().Closing.load());
  EXPECT_TRUE(service_->UserConnection().IsOpen());
}

TEST_F(FormSettingsTest, CloseAnsweredYesEndsInOrder) {
  Create();
  Boot();
  form_->show();
  Part<QLineEdit>("EditAvLen")->setText("45");
  Part<QPushButton>("ButSet")->click();
  QSignalSpy finished(form_.get(), &TFormMain::Finished);
  op_.SetAnswer(true);
  Part<QPushButton>("ButClose")->click();
  EXPECT_EQ(finished.count(), 1);
  EXPECT_TRUE(service_->Image().Closing.load());
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(service_->UserConnection().IsOpen());
  EXPECT_EQ(JournalCount("*** Завершение работы по команде оператора ***", "NULL"), 1);
  TSettings saved;
  std::string error;
  ASSERT_TRUE(ReadConfig(home_.path() + "/liron36.INI", saved, &error)) << error;
  EXPECT_EQ(saved.AverageLen, 45);
}

TEST_F(FormSettingsTest, SessionEndJournalsAndEnds) {
  Create();
  Boot();
  int ended = 0;
  form_->SetSessionEndAction([&] { ++ended; });
  form_->SessionEnd();
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(service_->Image().Closing.load());
  EXPECT_EQ(JournalCount("...Завершение работы перед выгрузкой Windows...", "NULL"), 1);
}

}  // namespace
}  // namespace liron::test
