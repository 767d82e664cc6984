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
  ASSERT_TRUE(WaitFor([&] { return service_->Image().SignalCount.load() > 0; }, 8000));
  QLabel* label_thread_state = Part<QLabel>("LabelThreadState");
  EXPECT_EQ(label_thread_state->text(), QStringLiteral("Остановлен"));
  QPushButton* but_start = Part<QPushButton>("ButStart");
  EXPECT_TRUE(but_start->isEnabled());
  QPushButton* but_stop = Part<QPushButton>("ButStop");
  EXPECT_FALSE(but_stop->isEnabled());
  EXPECT_EQ(form_->TestTrayImageIndex(), 0);
  EXPECT_EQ(form_->TestTrayHintText(),
            QStringLiteral("Служба приема ЛИРОН-36.\nКонтроль остановлен."));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Служба приема ЛИРОН-36  1.20"));

  // Either emulator on shows in the caption and the tray hint.
  Part<QCheckBox>("CheckBoxV120_emul")->click();
  ASSERT_TRUE(WaitFor([&] { return form_->windowTitle().endsWith("*** ЭМУЛЯЦИЯ ***"); }, 2000));
  Part<QCheckBox>("CheckBoxV120_emul")->click();
  ASSERT_TRUE(WaitFor([&] { return !form_->windowTitle().contains("ЭМУЛЯЦИЯ"); }, 2000));
  Part<QCheckBox>("CheckBoxEmulFlag")->click();  // no devices here: the emulator reads
  ASSERT_TRUE(service_->Image().JumoEmul && service_->Image().V120Emul);

  // Until the control thread opens its connection, the start record waits in the spool.
  QLabel* label_spool = Part<QLabel>("LabelSpool");
  ASSERT_TRUE(WaitFor([&] { return label_spool->text().contains(QStringLiteral(" (с ")); }, 3000))
      << label_spool->text().toStdString();

  QTest::mouseClick(but_start, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return but_stop->isEnabled(); }, 5000));
  EXPECT_FALSE(but_start->isEnabled());
  EXPECT_TRUE(but_stop->isEnabled());
  EXPECT_EQ(label_thread_state->text(), QStringLiteral("Активен"));
  EXPECT_EQ(label_thread_state->styleSheet(), QStringLiteral("color: green;"));

  QLabel* label_cycle_counter = Part<QLabel>("LabelCycleCounter");
  ASSERT_TRUE(WaitFor([&] { return label_cycle_counter->text().toInt() >= 3; }, 15000))
      << "errors: " << Part<QLabel>("LabelErrorCounter")->text().toStdString();
  EXPECT_GT(Part<QLabel>("LabelJumoCycles")->text().toInt(), 0);
  EXPECT_GT(Part<QLabel>("LabelV120Cycles")->text().toInt(), 0);
  EXPECT_FALSE(Part<QLabel>("LabelRunningTime")->text().isEmpty());
  ASSERT_TRUE(WaitFor([&] { return label_spool->text() == QStringLiteral("0"); }, 5000));
  EXPECT_EQ(form_->TestTrayHintText(),
            QStringLiteral("Служба приема ЛИРОН-36.\nПоток контроля активен.\n*** ЭМУЛЯЦИЯ ***"));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Служба приема ЛИРОН-36  1.20  *** ЭМУЛЯЦИЯ ***"));
  // The tray image blinks with the cycles.
  const int image = form_->TestTrayImageIndex();
  EXPECT_TRUE(image == 1 || image == 2);
  ASSERT_TRUE(WaitFor([&] { return form_->TestTrayImageIndex() == 3 - image; }, 5000));
  // Every module was read just now: its poll time shows in the grid.
  EXPECT_FALSE(Part<QTableWidget>("StringGrid_state")->item(1, 1)->text().isEmpty());
  EXPECT_FALSE(Part<QTableWidget>("StringGrid_state")->item(3, 1)->text().isEmpty());

  // Esc is Стоп.
  QTest::keyClick(form_.get(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return !service_->Image().ControlRunning.load(); }, 5000));
  ASSERT_TRUE(WaitFor([&] { return but_start->isEnabled(); }, 2000));
  EXPECT_FALSE(but_stop->isEnabled());
  EXPECT_EQ(label_thread_state->text(), QStringLiteral("Остановлен"));
  EXPECT_EQ(label_thread_state->styleSheet(), QStringLiteral("color: red;"));
  EXPECT_TRUE(Part<QLabel>("LabelRunningTime")->text().isEmpty());
  EXPECT_EQ(form_->TestTrayImageIndex(), 0);

  // Старт again, then the button Стоп.
  const int cycles = label_cycle_counter->text().toInt();
  but_start->click();
  ASSERT_TRUE(WaitFor([&] { return label_cycle_counter->text().toInt() > cycles + 1; }, 15000));
  but_stop->click();
  ASSERT_TRUE(WaitFor([&] { return but_start->isEnabled(); }, 5000));
  FlushWrites();
  EXPECT_EQ(JournalCount("*** Включен эмулятор ***", "СЛУЖБА ПРИЕМА"), 1);
}

TEST_F(FormStateTest, RunningTimeShowsDaysOnlyFromOneDayOn) {
  fake_clock_.SetNow(EncodeDateTime(2026, 3, 10, 12, 0, 0));
  FakeClock& clock = fake_clock_;
  Create(clock);
  TProcessImage& img = service_->Image();
  Tick();
  QLabel* label_running_time = Part<QLabel>("LabelRunningTime");
  EXPECT_TRUE(label_running_time->text().isEmpty());  // stopped

  img.ControlRunning = true;  // as the control thread marks itself
  img.ThreadStartMoment = clock.Now() - (1.0 + (2 * 3600 + 3 * 60 + 4) / 86400.0);
  Tick();
  EXPECT_EQ(label_running_time->text(), QStringLiteral("01 02:03:04"));
  EXPECT_FALSE(Part<QPushButton>("ButStart")->isEnabled());
  EXPECT_TRUE(Part<QPushButton>("ButStop")->isEnabled());

  img.ThreadStartMoment = clock.Now() - 59 * 60 / 86400.0;
  Tick();
  EXPECT_EQ(label_running_time->text(), QStringLiteral("00:59:00"));
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
  EXPECT_EQ(Part<QLabel>("LabelV120Error")->text(),
            QStringLiteral("Не удалось принять блок информации."));
  EXPECT_TRUE(Part<QLabel>("LabelJumoError")->text().isEmpty());
  QTableWidget* grid = Part<QTableWidget>("StringGrid_state");
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
  EXPECT_EQ(Part<QLabel>("LabelV120Cycles")->text(), QStringLiteral("12"));
  EXPECT_EQ(Part<QLabel>("LabelJumoCycles")->text(), QStringLiteral("34"));

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
  Part<QTabWidget>("PageControl")->setCurrentWidget(Part<TabState>("TabSheetState"));
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
