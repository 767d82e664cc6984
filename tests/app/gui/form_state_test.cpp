// The "Текущее состояние" tab and the tray: Старт and Стоп by turns with the counters moving
// (the emulator stands in for the devices), the running time, the module grid and the tray.
#include <QImage>
#include <QTest>

#include "app/module_grid_delegate.h"
#include "app/tab_emulator.h"
#include "app/tab_state.h"
#include "form_fixture.h"
#include "platform/datetime.h"

namespace liron::test {
namespace {

class FormStateTest : public FormTest {};

TEST_F(FormStateTest, StartAndStopTakeTurnsAndTheCountersMove) {
  ASSERT_TRUE(db().LoadDemoPlan());
  Create(SystemClock(), /*start_timers=*/true);
  TabState* tab = form_->TabSheetState;
  ASSERT_TRUE(WaitFor([&] { return service_->Image().SignalCount.load() > 0; }, 8000));
  EXPECT_EQ(tab->LabelThreadState->text(), QStringLiteral("Остановлен"));
  EXPECT_TRUE(tab->ButStart->isEnabled());
  EXPECT_FALSE(tab->ButStop->isEnabled());
  EXPECT_EQ(form_->TrayImageIndex(), 0);
  EXPECT_EQ(form_->TrayHintText(), QStringLiteral("Служба приема ЛИРОН-36.\nКонтроль остановлен."));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Служба приема ЛИРОН-36  1.20"));

  // Either emulator on shows in the caption and the tray hint.
  form_->TabSheetEmul->CheckBoxV120_emul->click();
  ASSERT_TRUE(WaitFor([&] { return form_->windowTitle().endsWith("*** ЭМУЛЯЦИЯ ***"); }, 2000));
  form_->TabSheetEmul->CheckBoxV120_emul->click();
  ASSERT_TRUE(WaitFor([&] { return !form_->windowTitle().contains("ЭМУЛЯЦИЯ"); }, 2000));
  form_->TabSheetEmul->CheckBoxEmulFlag->click();  // no devices here: the emulator reads
  ASSERT_TRUE(service_->Image().JumoEmul && service_->Image().V120Emul);

  // Until the control thread opens its connection, the start record waits in the spool.
  ASSERT_TRUE(WaitFor([&] { return tab->LabelSpool->text().contains(QStringLiteral(" (с ")); }, 3000))
      << tab->LabelSpool->text().toStdString();

  QTest::mouseClick(tab->ButStart, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return tab->ButStop->isEnabled(); }, 5000));
  EXPECT_FALSE(tab->ButStart->isEnabled());
  EXPECT_TRUE(tab->ButStop->isEnabled());
  EXPECT_EQ(tab->LabelThreadState->text(), QStringLiteral("Активен"));
  EXPECT_EQ(tab->LabelThreadState->styleSheet(), QStringLiteral("color: green;"));

  ASSERT_TRUE(WaitFor([&] { return tab->LabelCycleCounter->text().toInt() >= 3; }, 15000))
      << "errors: " << tab->LabelErrorCounter->text().toStdString();
  EXPECT_GT(tab->LabelJumoCycles->text().toInt(), 0);
  EXPECT_GT(tab->LabelV120Cycles->text().toInt(), 0);
  EXPECT_FALSE(tab->LabelRunningTime->text().isEmpty());
  ASSERT_TRUE(WaitFor([&] { return tab->LabelSpool->text() == QStringLiteral("0"); }, 5000));
  EXPECT_EQ(form_->TrayHintText(),
            QStringLiteral("Служба приема ЛИРОН-36.\nПоток контроля активен.\n*** ЭМУЛЯЦИЯ ***"));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Служба приема ЛИРОН-36  1.20  *** ЭМУЛЯЦИЯ ***"));
  // The tray image blinks with the cycles.
  const int image = form_->TrayImageIndex();
  EXPECT_TRUE(image == 1 || image == 2);
  ASSERT_TRUE(WaitFor([&] { return form_->TrayImageIndex() == 3 - image; }, 5000));
  // Every module was read just now: its poll time shows in the grid.
  EXPECT_FALSE(tab->StringGrid_state->item(1, 1)->text().isEmpty());
  EXPECT_FALSE(tab->StringGrid_state->item(3, 1)->text().isEmpty());

  // Esc is Стоп.
  QTest::keyClick(form_.get(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return !service_->Image().ControlRunning.load(); }, 5000));
  ASSERT_TRUE(WaitFor([&] { return tab->ButStart->isEnabled(); }, 2000));
  EXPECT_FALSE(tab->ButStop->isEnabled());
  EXPECT_EQ(tab->LabelThreadState->text(), QStringLiteral("Остановлен"));
  EXPECT_EQ(tab->LabelThreadState->styleSheet(), QStringLiteral("color: red;"));
  EXPECT_TRUE(tab->LabelRunningTime->text().isEmpty());
  EXPECT_EQ(form_->TrayImageIndex(), 0);

  // Старт again, then the button Стоп.
  const int cycles = tab->LabelCycleCounter->text().toInt();
  tab->ButStart->click();
  ASSERT_TRUE(WaitFor([&] { return tab->LabelCycleCounter->text().toInt() > cycles + 1; }, 15000));
  tab->ButStop->click();
  ASSERT_TRUE(WaitFor([&] { return tab->ButStart->isEnabled(); }, 5000));
  FlushWrites();
  EXPECT_EQ(JournalCount("*** Включен эмулятор ***", "СЛУЖБА ПРИЕМА"), 1);
}

TEST_F(FormStateTest, RunningTimeShowsDaysOnlyFromOneDayOn) {
  fake_clock_.SetNow(EncodeDateTime(2026, 3, 10, 12, 0, 0));
  FakeClock& clock = fake_clock_;
  Create(clock);
  TProcessImage& img = service_->Image();
  TabState* tab = form_->TabSheetState;
  Tick();
  EXPECT_TRUE(tab->LabelRunningTime->text().isEmpty());  // stopped

  img.ControlRunning = true;  // as the control thread marks itself
  img.ThreadStartMoment = clock.Now() - (1.0 + (2 * 3600 + 3 * 60 + 4) / 86400.0);
  Tick();
  EXPECT_EQ(tab->LabelRunningTime->text(), QStringLiteral("01 02:03:04"));
  EXPECT_FALSE(tab->ButStart->isEnabled());
  EXPECT_TRUE(tab->ButStop->isEnabled());

  img.ThreadStartMoment = clock.Now() - 59 * 60 / 86400.0;
  Tick();
  EXPECT_EQ(tab->LabelRunningTime->text(), QStringLiteral("00:59:00"));
  img.ControlRunning = false;
}

TEST_F(FormStateTest, ModuleGridCellsAndColours) {
  fake_clock_.SetNow(EncodeDateTime(2026, 3, 10, 12, 0, 0));
  FakeClock& clock = fake_clock_;
  Create(clock);
  TProcessImage& img = service_->Image();
  img.ModuleLastOk[kModuleJumo1] = EncodeDateTime(2026, 3, 10, 11, 59, 58);
  img.ModuleErrors[kModuleV120] = 7;
  img.V120CycleCounter = 12;
  img.JumoCycleCounter = 34;
  img.SetLinkError(kLinkV120, "Не удалось принять блок информации.");
  Tick();
  EXPECT_EQ(form_->TabSheetState->LabelV120Error->text(),
            QStringLiteral("Не удалось принять блок информации."));
  EXPECT_TRUE(form_->TabSheetState->LabelJumoError->text().isEmpty());
  QTableWidget* grid = form_->TabSheetState->StringGrid_state;
  auto cell = [&](int r, int c) { return grid->item(r, c)->text(); };
  EXPECT_EQ(cell(0, 0), QStringLiteral(" Модуль"));
  EXPECT_EQ(cell(0, 1), QStringLiteral("   Последний успешный опрос"));
  EXPECT_EQ(cell(0, 2), QStringLiteral("Ошибок"));
  EXPECT_EQ(cell(1, 0), QStringLiteral(" JUMO 1"));
  EXPECT_EQ(cell(2, 0), QStringLiteral(" JUMO 2"));
  EXPECT_EQ(cell(3, 0), QStringLiteral(" V-120"));
  EXPECT_EQ(cell(1, 1), QStringLiteral("10.03.2026 11:59:58"));
  EXPECT_EQ(cell(2, 1), QString());  // never read: empty time, no errors
  EXPECT_EQ(cell(2, 2), QStringLiteral("0"));
  EXPECT_EQ(cell(3, 2), QStringLiteral("7"));
  EXPECT_EQ(form_->TabSheetState->LabelV120Cycles->text(), QStringLiteral("12"));
  EXPECT_EQ(form_->TabSheetState->LabelJumoCycles->text(), QStringLiteral("34"));

  const QFont base = grid->font();
  for (auto [r, c] : {std::pair{0, 0}, {0, 2}, {2, 0}}) {
    const TModuleCellStyle st = ModuleCellStyle(r, c, base);
    EXPECT_TRUE(st.Fixed);
    EXPECT_TRUE(st.Font.bold());
    EXPECT_EQ(st.Font.family(), QStringLiteral("Courier New"));
    EXPECT_EQ(st.Text, QColor(0, 0, 0x80));
  }
  EXPECT_EQ(ModuleCellStyle(1, 1, base).Text, QColor(0, 0, 0x80));
  EXPECT_EQ(ModuleCellStyle(1, 1, base).Back, QColor(Qt::white));
  EXPECT_EQ(ModuleCellStyle(3, 2, base).Text, QColor(0xff, 0, 0));
  EXPECT_FALSE(ModuleCellStyle(3, 2, base).Font.bold());

  // What is drawn: the error count in red, centred; the poll time in navy.
  form_->show();
  form_->PageControl->setCurrentWidget(form_->TabSheetState);
  QApplication::processEvents();
  const QImage shot = grid->viewport()->grab().toImage();
  // Text is smoothed at its edges: a pixel counts by the colour it leans to.
  const QColor red(0xff, 0, 0), navy(0, 0, 0x80);
  auto count = [&](QRect rect, QColor colour) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) {
        const QColor p(shot.pixel(x, y));
        const bool reddish = p.red() > 150 && p.green() < 110 && p.blue() < 110;
        const bool navyish = p.blue() > 70 && p.red() < 90 && p.green() < 90 && p.blue() > p.red() + 40;
        if ((colour == red && reddish) || (colour == navy && navyish)) ++n;
      }
    return n;
  };
  const QRect errors = grid->visualItemRect(grid->item(3, 2));
  const QRect time = grid->visualItemRect(grid->item(1, 1));
  EXPECT_GT(count(errors, QColor(0xff, 0, 0)), 0);
  EXPECT_EQ(count(errors, QColor(0, 0, 0x80)), 0);
  EXPECT_GT(count(time, QColor(0, 0, 0x80)), 0);
  EXPECT_EQ(count(time, QColor(0xff, 0, 0)), 0);
  // Centred: as many red pixels left of the middle as right of it, give or take a column.
  const QRect left(errors.left(), errors.top(), errors.width() / 2, errors.height());
  const QRect right(errors.left() + errors.width() / 2, errors.top(),
                    errors.width() - errors.width() / 2, errors.height());
  EXPECT_GT(count(left, QColor(0xff, 0, 0)), 0);
  EXPECT_GT(count(right, QColor(0xff, 0, 0)), 0);
}

}  // namespace
}  // namespace liron::test
