// The daemon as the plant runs it: liron36 --headless against the private database and both
// simulators, across a minute boundary, ended by the session's SIGTERM.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

#include "plant_setup.h"
#include "support/child_process.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

using Clock = std::chrono::steady_clock;

double Num(const std::string& s) { return s.empty() || s == "NULL" ? NAN : std::stod(s); }

class HeadlessDaemon : public DbTest {};

TEST_F(HeadlessDaemon, RecordsThePlantAcrossAMinuteAndEndsWithTheSession) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  ChildProcess daemon;
  ASSERT_TRUE(plant.StartDaemon(&daemon));
  const auto started = Clock::now();

  // The first recorded cycle: last_state holds calibrated values.
  ASSERT_TRUE(PollUntil([&] { return db().Count("last_state") == 1 && Num(db().Scalar("select PLS from last_state")) > 0; }, 40))
      << plant.EventLog();

  // A second copy ends at once, silently.
  {
    ChildProcess second;
    ASSERT_TRUE(plant.StartDaemon(&second, "second.out"));
    int status = -1;
    ASSERT_TRUE(second.Wait(3000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFileBytes(plant.home.File("second.out")), "");
  }

  // An operator elsewhere enters a setpoint.
  ASSERT_TRUE(db().Exec("insert into control_vector values (Now(), USER(), 1.55, 42)"));

  // Run past a minute boundary for at least 70 s.
  std::this_thread::sleep_for(std::chrono::seconds(70) - (Clock::now() - started));
  ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data") >= 2; }, 65));
  std::this_thread::sleep_for(std::chrono::seconds(2));

  // last_state: one row, rewritten with calibrated values (density 1 + 50/100, level 58.4 %).
  EXPECT_EQ(db().Count("last_state"), 1);
  EXPECT_LT(std::stoll(db().Scalar("select timestampdiff(second, RecMoment, now()) from last_state")), 5);
  EXPECT_NEAR(Num(db().Scalar("select PLS from last_state")), 1.5, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select TNK1 from last_state")), 58.4, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select RAB from last_state")), 1.0, 1e-9);  // 1.5 > MIN_PLS 1.2
  EXPECT_NEAR(Num(db().Scalar("select RN from last_state")), 1.0, 1e-9);   // 58.4 > MIN_NAGR 10

  // pu_data: whole minutes, averaged values.
  EXPECT_EQ(db().Scalar("select count(*) from pu_data where second(RecMoment) <> 0"), "0");
  EXPECT_NEAR(Num(db().Scalar("select PLS from pu_data order by RecMoment limit 1")), 1.5, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select V1 from pu_data order by RecMoment limit 1")), 50.0, 1e-6);

  // The totaliser: what was booked into G_1T1 over the minutes is 0.01 of the increments the
  // simulator handed out, but for the last reading that may not be booked yet.
  const std::vector<long long> totals = Totals(plant.v120_log);
  ASSERT_GE(totals.size(), 5u);
  const double handed = 0.01 * static_cast<double>(totals.back() - totals.front());
  const double booked = Num(db().Scalar("select sum(G_1T1) from pu_data"));
  EXPECT_GT(handed, 0);
  EXPECT_LE(booked, handed + 1e-6);
  EXPECT_GE(booked, handed - 2.5 - 1e-6);
  // I_1T1 carries the absolute counter: a reading the simulator handed out.
  for (const char* table : {"pu_data order by RecMoment desc limit 1", "last_state"}) {
    const double counter = Num(db().Scalar(std::string("select I_1T1 from ") + table));
    EXPECT_NE(std::find(totals.begin(), totals.end(), std::llround(counter)), totals.end()) << table;
  }

  // The setpoint was taken under the inserting user and written MaxWriteCount + 1 times.
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText like 'Новое задание:%' "
                        "and MessageKind = USER()"),
            "1");
  EXPECT_EQ(CountLines(plant.jumo_log, "write slave=1 reg=8"), 6);
  EXPECT_EQ(CountLines(plant.jumo_log, "write slave=2 reg=8"), 6);
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = '>>> Запуск потока управления. <<<'"), "1");

  // The session ends: exit 0 within 3 s, its record in control_log, the INI saved.
  ASSERT_TRUE(daemon.Signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(3000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'...Завершение работы перед выгрузкой Windows...' and MessageKind is null"),
            "1");
  const std::string ini = ReadFileBytes(plant.Ini());
  for (const char* key : {"MaxWriteCount", "ModBUS_PortName", "ModBUS_PortSpeed", "V120_PortName",
                          "V120_PortSpeed", "AverageLen", "AutoStart", "ShowEmulTab", "AutoHide",
                          "SaveLogFlag", "AutoCleanFlag", "DatabaseSize", "Login", "Comp",
                          "Password", "Version"})
    EXPECT_NE(ini.find(std::string(key) + "="), std::string::npos) << key;
  EXPECT_NE(ini.find("AutoStart=1"), std::string::npos);
}

TEST_F(HeadlessDaemon, ARestartWithinAMinuteKeepsItsOneRowAndCountsEveryIncrementOnce) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  // Just after a minute boundary, so that both runs fall into the same minute.
  ASSERT_TRUE(PollUntil([&] { return std::stoi(db().Scalar("select second(now())")) < 3; }, 65));
  const std::string minute = db().Scalar("select date_format(now(), '%Y-%m-%d %H:%i:00')");
  auto stop = [](ChildProcess& daemon) {
    ASSERT_TRUE(daemon.Signal(SIGTERM));
    int status = -1;
    ASSERT_TRUE(daemon.Wait(3000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  };
  {
    ChildProcess first;
    ASSERT_TRUE(plant.StartDaemon(&first));
    // The minute's row holds an increment of this run.
    ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data where G_1T1 > 0") > 0; }, 40))
        << plant.EventLog();
    ASSERT_NO_FATAL_FAILURE(stop(first));
  }
  const std::string minute_total =
      "select sum(G_1T1) from pu_data where RecMoment = '" + minute + "'";
  const double first_run = Num(db().Scalar(minute_total));
  ChildProcess second;
  ASSERT_TRUE(plant.StartDaemon(&second, "second.out"));
  // Recorded again, in the same minute: last_state rewritten after the second start record.
  const std::string start = "from control_log where MessageText = '>>> Запуск потока управления. <<<'";
  ASSERT_TRUE(PollUntil([&] {
    return db().Scalar("select count(*) " + start) == "2" &&
           db().Count("last_state where RecMoment > (select max(RecMoment) " + start + ")") == 1;
  }, 40)) << plant.EventLog();
  // ... and adds an increment of its own to the minute's row (a totaliser read every 5th pass).
  ASSERT_TRUE(PollUntil([&] { return Num(db().Scalar(minute_total)) > first_run; }, 15));
  ASSERT_EQ(db().Scalar("select RecMoment < '" + minute + "' + interval 1 minute from last_state"), "1")
      << "the second run must record within " << minute;
  ASSERT_NO_FATAL_FAILURE(stop(second));

  EXPECT_EQ(db().Scalar("select count(*) from pu_data where RecMoment = '" + minute + "'"), "1");
  for (const std::string& e : plant.EventTexts()) EXPECT_EQ(e.find("SQL error"), std::string::npos) << e;
  // What was booked into G_1T1 is 0.01 of the increments the simulator handed out over both
  // runs, but for the last reading that may not be booked yet.
  const std::vector<long long> totals = Totals(plant.v120_log);
  ASSERT_GE(totals.size(), 3u);
  const double handed = 0.01 * static_cast<double>(totals.back() - totals.front());
  const double booked = Num(db().Scalar("select sum(G_1T1) from pu_data"));
  EXPECT_LE(booked, handed + 1e-6);
  EXPECT_GE(booked, handed - 2.5 - 1e-6);
}

// The server comes up 20 s after the service, as at a boot where the station is quicker: the
// start-up goes on trying after its 16 attempts, loads the plan and starts the control thread
// once the server answers, and AutoStart stays as the operator set it.
TEST_F(HeadlessDaemon, AServerThatComesUpLateGetsThePlanAndTheAutostart) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  plant.settings.AutoStart = true;
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  struct ServerBack {
    bool down = false;
    ~ServerBack() {
      if (down) TestDb::Get().StartServer();
    }
  } server;
  ASSERT_TRUE(db().StopServer());
  server.down = true;
  ChildProcess daemon;
  ASSERT_TRUE(plant.StartDaemon(&daemon));
  const auto started = Clock::now();
  // 16 attempts a second apart, then the message; nothing is started yet.
  ASSERT_TRUE(PollUntil([&] { return plant.EventLog().find("Не могу подключиться к MySQL cерверу.") != std::string::npos; }, 40))
      << plant.EventLog();
  EXPECT_EQ(plant.EventLog().find("->> Автозапуск контроля аппаратуры <<--"), std::string::npos);

  std::this_thread::sleep_for(std::chrono::seconds(20) - (Clock::now() - started));
  ASSERT_TRUE(db().StartServer());
  server.down = false;
  const auto answered = Clock::now();
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() <= 2 && Num(db().Scalar("select PLS from last_state")) > 0; }, 25))
      << plant.EventLog();
  EXPECT_LE(Clock::now() - answered, std::chrono::seconds(25));
  EXPECT_TRUE(daemon.Running());

  ASSERT_TRUE(daemon.Signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(10000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << status << "\n" << ReadFileBytes(plant.home.File("daemon.out"));
  const std::vector<std::string> events = plant.EventTexts();
  EXPECT_EQ(CountEvents(events, "Подключение к MySQL произведено успешно."), 1);
  EXPECT_EQ(CountEvents(events, "->> Автозапуск контроля аппаратуры <<--"), 1);
  EXPECT_EQ(CountEvents(events, "--> Завершение работы перед выгрузкой Windows <---"), 1);
  EXPECT_NE(ReadFileBytes(plant.Ini()).find("AutoStart=1"), std::string::npos);
}

#ifdef LIRON_WITH_GUI
// Headless, liron36 carries on as liron36d in the same process; liron36 with its window and
// liron36d are one program for the single-instance rule, in either order.
TEST_F(HeadlessDaemon, HandsOverToTheDaemonBuildWhichCountsAsTheSameProgram) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  ChildProcess daemon;
  ASSERT_TRUE(plant.StartDaemon(&daemon));
  const std::string exe_link = "/proc/" + std::to_string(daemon.pid()) + "/exe";
  auto exe = [&] {
    std::error_code ec;
    return std::filesystem::read_symlink(exe_link, ec).string();
  };
  ASSERT_TRUE(PollUntil([&] { return exe() == LIRON_DAEMON_PROGRAM; }, 5)) << exe();

  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  for (const char* program : {LIRON_PROGRAM, LIRON_DAEMON_PROGRAM}) {
    ChildProcess second;
    ASSERT_TRUE(second.Start({program, "--home", plant.home.path()}, plant.home.File("second.out")));
    int status = -1;
    ASSERT_TRUE(second.Wait(3000, &status)) << program << " runs beside the daemon";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << program << " " << status;
    EXPECT_EQ(ReadFileBytes(plant.home.File("second.out")), "") << program;
  }
  ::unsetenv("QT_QPA_PLATFORM");

  // The daemon serves and ends with the session as liron36 --headless always did.
  ASSERT_TRUE(PollUntil([&] { return db().Count("last_state") == 1; }, 40)) << plant.EventLog();
  ASSERT_TRUE(daemon.Signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(3000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
}  // namespace liron::test
