#include "engine/status_texts.h"

#include <gtest/gtest.h>

namespace liron {
namespace {

constexpr TDateTime kNoon = 45000.5;                  // 15.03.2023 12:00:00
constexpr TDateTime kSecond = 1.0 / 86400;

TEST(StatusTexts, StatusLineTellsTheStageAndTheCycles) {
  TStatusInputs loading;
  loading.LoadingSettings = true;
  TStatusInputs waiting;
  waiting.WaitingForServer = true;
  waiting.Server = "db1";
  TStatusInputs refused = waiting;
  refused.ServerError = "Connection refused";
  TStatusInputs stopped;
  TStatusInputs buffered;
  buffered.LastRecord = kNoon + 5 * kSecond;
  buffered.SpoolRecords = 3;
  buffered.SpoolOldest = kNoon;
  TStatusInputs no_server = buffered;
  no_server.ControlAlive = true;
  no_server.Cycles = 12;
  no_server.CycleErrors = 1;
  TStatusInputs running = no_server;
  running.WorkOpen = true;
  running.SpoolRecords = 0;
  const struct {
    TStatusInputs In;
    const char* Line;
  } cases[] = {
      {loading, "Загрузка настроек"},
      {waiting, "Ждем MySQL сервер db1"},
      {refused, "Ждем MySQL сервер db1: Connection refused"},
      {stopped, "Контроль остановлен, записей нет"},
      {buffered,
       "Контроль остановлен, последняя запись 15.03.2023 12:00:05, записей в буфере 3 "
       "(с 15.03.2023 12:00:00)"},
      {no_server,
       "Нет связи с MySQL сервером, циклов 12, неудачных 1, последняя запись 15.03.2023 "
       "12:00:05, записей в буфере 3 (с 15.03.2023 12:00:00)"},
      {running, "Циклов 12, неудачных 1, последняя запись 15.03.2023 12:00:05"},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusLine(c.In), c.Line);
}

TEST(StatusTexts, SpoolDepthAndRunningTime) {
  EXPECT_EQ(SpoolDepthText(0, 0), "0");
  EXPECT_EQ(SpoolDepthText(7, kNoon), "7 (с 15.03.2023 12:00:00)");
  EXPECT_EQ(RunningTimeText(false, kNoon, kNoon - 1), "");
  EXPECT_EQ(RunningTimeText(true, kNoon + 65 * kSecond, kNoon), "00:01:05");
  EXPECT_EQ(RunningTimeText(true, kNoon + 2.5, kNoon), "02 12:00:00");
  EXPECT_EQ(RunningTimeText(true, kNoon - kSecond, kNoon), "00:00:00");  // clock set back
}

TEST(StatusTexts, ModuleGridRows) {
  const TModuleGrid g = ModuleGrid({{{kNoon, 0}, {0, 4}, {kNoon + kSecond, 2}}});
  EXPECT_EQ(g.Cells[0][1], "   Последний успешный опрос");
  EXPECT_EQ(g.Cells[1][0], " JUMO 1");
  EXPECT_EQ(g.Cells[1][1], "15.03.2023 12:00:00");
  EXPECT_EQ(g.Cells[2][1], "");  // never polled successfully
  EXPECT_EQ(g.Cells[2][2], "4");
  EXPECT_EQ(g.Cells[3][0], " V-120");
  EXPECT_EQ(g.Cells[3][1], "15.03.2023 12:00:01");
}

TEST(StatusTexts, CaptionAndTrayHintCarryTheEmulationMark) {
  EXPECT_EQ(Caption(false), "Служба приема ЛИРОН-36  1.20");
  EXPECT_EQ(Caption(true), "Служба приема ЛИРОН-36  1.20  *** ЭМУЛЯЦИЯ ***");
  EXPECT_EQ(TrayHint(false, false), "Служба приема ЛИРОН-36.\nКонтроль остановлен.");
  EXPECT_EQ(TrayHint(true, true),
            "Служба приема ЛИРОН-36.\nПоток контроля активен.\n*** ЭМУЛЯЦИЯ ***");
}

}  // namespace
}  // namespace liron
