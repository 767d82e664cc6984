// Field devices that fail under the running daemon: a JUMO device that vanishes for 20 s and
// returns at its path (a USB adapter pulled out and plugged in again), a V-120 device that
// vanishes, and simulators that bury their replies in noise. The daemon must keep running and
// serving the other line, report the loss and the failed reads, not spin, and pick the
// readings up again by itself once the device or the quiet is back.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <thread>

#include "plant_setup.h"
#include "support/child_process.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

double Num(const std::string& s) { return s.empty() || s == "NULL" ? NAN : std::stod(s); }

int CountPrefixed(const std::vector<std::string>& texts, const std::string& prefix) {
  int n = 0;
  for (const std::string& t : texts) n += t.rfind(prefix, 0) == 0;
  return n;
}

class FaultSerial : public DbTest {
 protected:
  // The plant, the daemon, and the first cycle recorded.
  void StartAll(TestPlant& plant) {
    std::string error;
    ASSERT_TRUE(plant.Start(&error)) << error;
    ASSERT_TRUE(plant.StartDaemon(&daemon));
    ASSERT_TRUE(PollUntil([&] {
      return StateRecordAge() <= 2 && Num(db().Scalar("select PLS from last_state")) > 0;
    }, 45)) << plant.EventLog() << RunningCopies();
  }

  ChildProcess daemon;
};

TEST_F(FaultSerial, AVanishedJumoDeviceIsReadAgainWhenItReturns) {
  TestPlant plant;
  plant.control_files = true;
  ASSERT_NO_FATAL_FAILURE(StartAll(plant));

  // The JUMO adapter is pulled out for 20 s: its pseudo-terminal and path go.
  WriteFileBytes(plant.jumo_control, "vanish 20000\n");
  ASSERT_TRUE(PollUntil([&] { return CountLines(plant.jumo_log, "vanished") == 1; }, 10));
  std::this_thread::sleep_for(std::chrono::seconds(3));

  const int v120_before = CountLines(plant.v120_log, "rx ");
  const double cpu_before = CpuSeconds(daemon.pid());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double cpu_after = CpuSeconds(daemon.pid());
  const int v120_after = CountLines(plant.v120_log, "rx ");
  ASSERT_TRUE(daemon.Running()) << plant.EventLog();
  // No busy loop on the dead line: a spinning thread would burn about 10 s here.
  ASSERT_GE(cpu_before, 0);
  EXPECT_LT(cpu_after - cpu_before, 3.0) << "CPU seconds in 10 s";
  // The V-120 is still asked every pass (about ten in 10 s) ...
  EXPECT_GE(v120_after - v120_before, 5);
  // ... but with a module silent for more than 5 s no cycle is recorded.
  EXPECT_GT(StateRecordAge(), 5);

  // Plugged in again at the same path: records resume by themselves.
  ASSERT_TRUE(PollUntil([&] { return CountLines(plant.jumo_log, "returned") == 1; }, 15));
  EXPECT_TRUE(PollUntil([&] { return StateRecordAge() <= 1; }, 10)) << plant.EventLog();
  std::printf("%.2f CPU s in 10 s with the JUMO device gone; %d V-120 requests meanwhile\n",
              cpu_after - cpu_before, v120_after - v120_before);

  const std::string port = plant.settings.ModBUS_PortName;
  const std::string lost = "*** JUMO: Связь с портом " + port + " потеряна ***";
  const std::string back = "=== JUMO: Связь с портом " + port + " восстановлена ===";
  const std::vector<std::string> events = plant.EventTexts();
  EXPECT_EQ(CountEvents(events, lost), 1) << plant.EventLog();
  EXPECT_EQ(CountEvents(events, back), 1) << plant.EventLog();
  for (const std::string& text : {lost, back})
    EXPECT_TRUE(PollUntil([&] {
      return db().Scalar("select count(*) from control_log where MessageText = '" + text +
                         "' and MessageKind = 'СЛУЖБА ПРИЕМА'") == "1";
    }, 5)) << text;
  for (const std::string& e : events)
    EXPECT_EQ(e.find("Ошибка в"), std::string::npos) << e;  // a lost line is no exception

  ASSERT_TRUE(daemon.Signal(SIGINT));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(20000, &status)) << plant.EventLog();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'<<< Поток управления остановлен. >>>'"),
            "1");
}

TEST_F(FaultSerial, VanishedV120DeviceLeavesTheDaemonServingTheJumo) {
  TestPlant plant;
  ASSERT_NO_FATAL_FAILURE(StartAll(plant));

  plant.v120.Stop(SIGKILL, 3000);
  ASSERT_FALSE(plant.v120.Running());
  std::this_thread::sleep_for(std::chrono::seconds(3));

  const int jumo_before = CountLines(plant.jumo_log, "rx slave=");
  const double cpu_before = CpuSeconds(daemon.pid());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double cpu_after = CpuSeconds(daemon.pid());
  const int jumo_after = CountLines(plant.jumo_log, "rx slave=");

  ASSERT_TRUE(daemon.Running()) << plant.EventLog();
  ASSERT_GE(cpu_before, 0);
  EXPECT_LT(cpu_after - cpu_before, 3.0) << "CPU seconds in 10 s";
  // The JUMO controllers are still read, four signals a pass, about one pass a second.
  EXPECT_GE(jumo_after - jumo_before, 20);
  EXPECT_GT(StateRecordAge(), 5);
  std::printf("%.2f CPU s in 10 s with a dead V-120 line; %d JUMO requests\n",
              cpu_after - cpu_before, jumo_after - jumo_before);

  ASSERT_TRUE(daemon.Signal(SIGINT));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(20000, &status)) << plant.EventLog();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'<<< Поток управления остановлен. >>>'"),
            "1");
  for (const std::string& e : plant.EventTexts())
    EXPECT_EQ(e.find("Ошибка в"), std::string::npos) << e;  // a dead line is no exception
  EXPECT_TRUE(plant.jumo.Running());
}

TEST_F(FaultSerial, OrderlyEndWithSilentControllersJournalsTheStop) {
  TestPlant plant;
  plant.control_files = true;
  ASSERT_NO_FATAL_FAILURE(StartAll(plant));

  // Both JUMO controllers fall silent: every read of a pass waits out its reply time. Each
  // module and signal says so once, with the reason.
  WriteFileBytes(plant.jumo_control, "fault silence\n");
  const std::string silent = ": Нет ответа от контроллера. Проверте аппаратуру. ***";
  ASSERT_TRUE(PollUntil([&] {
    const std::vector<std::string> events = plant.EventTexts();
    return CountEvents(events, "*** Сбой опроса модуля JUMO 1" + silent) == 1 &&
           CountEvents(events, "*** Сбой опроса модуля JUMO 2" + silent) == 1 &&
           CountEvents(events, "Сбой чтения сигнала TNK2") == 1;
  }, 20)) << plant.EventLog();
  // Waiting for replies that do not come is no work: no spinning meanwhile.
  const int asked_before = CountLines(plant.jumo_log, "rx slave=");
  const double cpu_before = CpuSeconds(daemon.pid());
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const double cpu_after = CpuSeconds(daemon.pid());
  const int asked_after = CountLines(plant.jumo_log, "rx slave=");
  EXPECT_LT(cpu_after - cpu_before, 1.5) << "CPU seconds in 5 s";
  EXPECT_GE(asked_after - asked_before, 2);
  EXPECT_EQ(CountEvents(plant.EventTexts(), "Сбой чтения сигнала PLS"), 1);
  std::printf("%.2f CPU s in 5 s with silent controllers; %d unanswered requests\n",
              cpu_after - cpu_before, asked_after - asked_before);

  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(daemon.Signal(SIGINT));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(20000, &status)) << plant.EventLog();
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'*** Завершение работы по команде оператора ***'"),
            "1");
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'<<< Поток управления остановлен. >>>'"),
            "1");
  std::printf("ended %.1f s after SIGINT with silent controllers\n", took);
}

TEST_F(FaultSerial, NoisyDevicesFailTheirReadsAndRecoverWhenTheNoiseStops) {
  TestPlant plant;
  plant.control_files = true;
  ASSERT_NO_FATAL_FAILURE(StartAll(plant));

  // JUMO: 300 stray bytes before every reply, more than the address hunt skips.
  WriteFileBytes(plant.jumo_control, "fault noise bytes=300\n");
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() > 6; }, 20)) << plant.EventLog();
  EXPECT_EQ(CountEvents(plant.EventTexts(), "Сбой чтения сигнала PLS"), 1);
  EXPECT_EQ(CountEvents(plant.EventTexts(), "*** Сбой опроса модуля JUMO 1: Неправильный ответ "
                                            "контроллера. Проверте аппаратуру. ***"),
            1);
  EXPECT_TRUE(daemon.Running());

  WriteFileBytes(plant.jumo_control, "fault none\n");
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() <= 1; }, 20)) << plant.EventLog();
  EXPECT_NEAR(Num(db().Scalar("select PLS from last_state")), 1.5, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select TNK1 from last_state")), 58.4, 1e-6);

  // V-120: noise instead of replies; no cycle passes, and the failing module says why.
  WriteFileBytes(plant.v120_control, "fault noise\n");
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() > 6; }, 20)) << plant.EventLog();
  EXPECT_GE(CountLines(plant.v120_log, "fault noise"), 2);
  EXPECT_EQ(CountEvents(plant.EventTexts(),
                        "*** Сбой опроса модуля V-120: STX1 is missing in answer. ***"),
            1);
  EXPECT_TRUE(daemon.Running());

  WriteFileBytes(plant.v120_control, "fault none\n");
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() <= 1; }, 20)) << plant.EventLog();
  EXPECT_TRUE(PollUntil([&] {
    const std::vector<std::string> events = plant.EventTexts();
    return CountPrefixed(events, "=== Опрос модуля JUMO 1 восстановлен, сбоев: ") == 1 &&
           CountPrefixed(events, "=== Опрос модуля V-120 восстановлен, сбоев: ") == 1;
  }, 5)) << plant.EventLog();
  EXPECT_NEAR(Num(db().Scalar("select V1 from last_state")), 50.0, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select PLS from last_state")), 1.5, 1e-6);

  for (const std::string& e : plant.EventTexts()) {
    EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
    EXPECT_EQ(e.find("Ошибка в функции"), std::string::npos) << e;  // no exception anywhere
  }
  ASSERT_TRUE(daemon.Signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(5000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace liron::test
