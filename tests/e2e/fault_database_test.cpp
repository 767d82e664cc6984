// The database server dies under the running daemon (SIGKILL, as a crash) and comes back a
// minute later: the daemon keeps running without spinning, reports every failed reconnection,
// reconnects within a cycle or two of the server's return and records on; the totaliser
// increments handed out while the server was away are booked after its return. A longer
// outage, with the daemon itself killed and restarted in it, is recorded through the spool.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <regex>
#include <thread>

#include "plant_setup.h"
#include "spool/sqlite_db.h"
#include "support/child_process.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

using Clock = std::chrono::steady_clock;

const char kReconnectFailed[] = "Не могу подключиться к MySQL серверу.";
const char kStartedFromCopy[] =
    "*** Сервер MySQL недоступен: план загружен из сохраненной копии ***";

// Local time as the server and the service write it: "yyyy-mm-dd hh:nn:ss".
std::string LocalNow() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

double Num(const std::string& s) { return s.empty() || s == "NULL" ? NAN : std::stod(s); }

// Brings the server back when a test leaves it dead, so the tests after it find it.
struct ServerGuard {
  bool down = false;
  ~ServerGuard() {
    if (down) TestDb::Get().StartServer();
  }
};

class FaultDatabase : public DbTest {};

// Records waiting in the home's spool; -1 when it cannot be read.
long long SpoolRecords(const TestPlant& plant) {
  TSqliteDb spool;
  std::string error;
  if (!spool.Open(plant.home.File("spool.db"), &error)) return -1;
  TSqliteStmt count(spool, "select count(*) from record");
  return count.Step() ? count.Int(0) : -1;
}

// The minute key of a local moment "yyyy-mm-dd hh:nn:ss".
std::string MinuteOf(const std::string& moment) { return moment.substr(0, 16) + ":00"; }

TEST_F(FaultDatabase, ServerKilledForAMinuteDaemonReconnectsAndBooksTheOutage) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  ChildProcess daemon;
  ASSERT_TRUE(plant.StartDaemon(&daemon));
  ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data") >= 1 && StateRecordAge() <= 2; }, 45))
      << plant.EventLog() << RunningCopies();
  std::this_thread::sleep_for(std::chrono::seconds(3));

  // The crash.
  ServerGuard guard;
  const std::string killed_at = LocalNow();
  ASSERT_TRUE(KillDbServer(&error)) << error;
  guard.down = true;

  // A minute without a server: the daemon stays up, its cycles go on into the spool.
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const double cpu_before = CpuSeconds(daemon.pid());
  std::this_thread::sleep_for(std::chrono::seconds(50));
  const double cpu_after = CpuSeconds(daemon.pid());
  ASSERT_TRUE(daemon.Running()) << plant.EventLog();
  ASSERT_GE(cpu_before, 0);
  EXPECT_LT(cpu_after - cpu_before, 10.0) << "CPU seconds in 50 s without a server";
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const int failures_during = CountEvents(plant.EventTexts(), kReconnectFailed);

  // The server comes back: the records go on within a cycle or two of its return.
  const std::string back_at = LocalNow();
  ASSERT_TRUE(db().StartServer());
  guard.down = false;
  const auto returned = Clock::now();
  ASSERT_TRUE(PollUntil([&] {
    return db().Scalar("select RecMoment > '" + back_at + "' from last_state") == "1";
  }, 30)) << plant.EventLog();
  const auto reconnect_s =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - returned).count() / 1000.0;
  EXPECT_LT(reconnect_s, 10.0);
  std::this_thread::sleep_for(std::chrono::seconds(4));
  EXPECT_LE(StateRecordAge(), 2);  // and it goes on
  EXPECT_TRUE(daemon.Running());

  // One event per failed reconnection, about one a second for the minute without a server,
  // and far from the 302nd that would stop the control thread.
  std::vector<std::string> events = plant.EventTexts();
  const int failures = CountEvents(events, kReconnectFailed);
  EXPECT_GE(failures_during, 40);
  EXPECT_LE(failures, 90);
  EXPECT_EQ(CountEvents(events, "MySQL сервер недоступен."), 0);
  for (const std::string& e : events) {
    // A statement that lost its link is kept for the next connection, not reported.
    EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
  }

  // The minute of the crash has its row, and so has the minute of the return.
  EXPECT_GE(std::stoi(db().Scalar("select count(*) from pu_data where RecMoment <= '" + killed_at + "'")), 1);
  EXPECT_GE(std::stoi(db().Scalar("select count(*) from pu_data where RecMoment >= "
                                  "date_format('" + back_at + "', '%Y-%m-%d %H:%i:00')")),
            1);
  EXPECT_EQ(db().Scalar("select count(*) from pu_data where second(RecMoment) <> 0"), "0");
  // The cycles went on without the server: every minute of the outage has its row.
  const std::string from = "date_format('" + killed_at + "', '%Y-%m-%d %H:%i:00')";
  const std::string to = "date_format('" + back_at + "', '%Y-%m-%d %H:%i:00')";
  EXPECT_EQ(db().Scalar("select count(*) from pu_data where RecMoment between " + from + " and " + to),
            db().Scalar("select timestampdiff(minute, " + from + ", " + to + ") + 1"));

  // The V-120 was read on through the outage: its increments are all booked, the last
  // reading at most not yet (one step of 2.5), and a statement cut off by the crash at most
  // once more.
  const std::vector<long long> totals = Totals(plant.v120_log);
  ASSERT_GE(totals.size(), 10u);
  const double handed = 0.01 * static_cast<double>(totals.back() - totals.front());
  const double booked = Num(db().Scalar("select sum(G_1T1) from pu_data"));
  EXPECT_GT(handed, 30);  // about 80 s of readings, 2.5 each fifth second
  EXPECT_NEAR(booked, handed, 5.0 + 1e-6);

  // The operator's end still works and its records reach the journal.
  ASSERT_TRUE(daemon.Signal(SIGINT));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(15000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'>>> Запуск потока управления. <<<'"),
            "1");
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'<<< Поток управления остановлен. >>>'"),
            "1");
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'*** Завершение работы по команде оператора ***' and MessageKind is null"),
            "1");
  std::printf("reconnected %.1f s after the server's return; %d failed reconnections; "
              "%.2f CPU s in 50 s without a server; booked %.2f of %.2f\n",
              reconnect_s, failures, cpu_after - cpu_before, booked, handed);
}

// The server is killed 20 s into a run and comes back 2 min 10 s later; a minute into the
// outage the daemon is killed too and started again while the server is still away, so it
// starts from its copy of the plan. Every minute of the outage ends up in pu_data once.
TEST_F(FaultDatabase, OutageWithADaemonCrashIsRecordedThroughTheSpool) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  ChildProcess first, second;
  const auto started = Clock::now();
  ASSERT_TRUE(plant.StartDaemon(&first));
  ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data") >= 1 && StateRecordAge() <= 2; }, 45))
      << plant.EventLog() << RunningCopies();
  std::this_thread::sleep_until(started + std::chrono::seconds(20));

  ServerGuard guard;
  const std::string killed_at = LocalNow();
  const auto killed = Clock::now();
  ASSERT_TRUE(KillDbServer(&error)) << error;
  guard.down = true;

  std::this_thread::sleep_until(killed + std::chrono::seconds(60));
  ASSERT_TRUE(first.Running()) << plant.EventLog();
  ASSERT_TRUE(first.Signal(SIGKILL));
  ASSERT_TRUE(first.Wait(5000));
  ASSERT_TRUE(plant.StartDaemon(&second, "daemon2.out"));
  EXPECT_TRUE(PollUntil([&] { return CountEvents(plant.EventTexts(), kStartedFromCopy) == 1; }, 40))
      << plant.EventLog();

  std::this_thread::sleep_until(killed + std::chrono::seconds(130));
  ASSERT_TRUE(second.Running()) << plant.EventLog();
  const std::string back_at = LocalNow();
  ASSERT_TRUE(db().StartServer());
  guard.down = false;
  ASSERT_TRUE(PollUntil([&] {
    return SpoolRecords(plant) == 0 &&
           db().Scalar("select RecMoment > '" + back_at + "' from last_state") == "1" &&
           db().Scalar("select count(*) > 0 from control_log where MessageText like "
                       "'=== Связь с MySQL сервером восстановлена%'") == "1";
  }, 60)) << plant.EventLog() << " spool " << SpoolRecords(plant);
  EXPECT_LE(StateRecordAge(), 2);
  ASSERT_TRUE(second.Signal(SIGINT));
  ASSERT_TRUE(second.Wait(15000));

  // One row for every minute from the crash to the return, with the plant's averages.
  const std::string span = "RecMoment between '" + MinuteOf(killed_at) + "' and '" +
                           MinuteOf(back_at) + "'";
  const std::string minutes = db().Scalar("select timestampdiff(minute, '" + MinuteOf(killed_at) +
                                          "', '" + MinuteOf(back_at) + "') + 1");
  EXPECT_EQ(db().Scalar("select count(*) from pu_data where " + span), minutes);
  EXPECT_EQ(db().Scalar("select count(*) from pu_data where " + span + " and abs(PLS - 1.5) < "
                        "0.01 and abs(PLS2 - 1.45) < 0.01 and TNK1 > 50"),
            minutes);
  EXPECT_EQ(db().Scalar("select count(distinct RecMoment) = count(*) from pu_data"), "1");

  // Every increment the V-120 handed out is booked once: the restart took its counter seed
  // from the spool.
  const std::vector<long long> totals = Totals(plant.v120_log);
  ASSERT_GE(totals.size(), 10u);
  const double handed = 0.01 * static_cast<double>(totals.back() - totals.front());
  const double booked = Num(db().Scalar("select sum(G_1T1) from pu_data"));
  EXPECT_NEAR(booked, handed, 5.0 + 1e-6);

  // The journal of the outage, each record at its own moment.
  const std::string loss = db().Scalar(
      "select min(RecMoment) from control_log where MessageText = "
      "'*** Связь с MySQL сервером потеряна ***'");
  const std::string restart = db().Scalar(
      "select max(RecMoment) from control_log where MessageText = "
      "'>>> Запуск потока управления. <<<'");
  const std::string back = db().Scalar(
      "select max(RecMoment) from control_log where MessageText like "
      "'=== Связь с MySQL сервером восстановлена%'");
  EXPECT_TRUE(killed_at <= loss && loss < restart && restart < back_at && back != "NULL" &&
              back_at <= back)
      << killed_at << " " << loss << " " << restart << " " << back_at << " " << back << "\n"
      << db().Scalar("select group_concat(RecMoment, ' ', MessageText order by RecMoment, NPP "
                     "separator '\n') from control_log")
      << plant.EventLog();
  for (const std::string& e : plant.EventTexts())
    EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
  std::printf("booked %.2f of %.2f; loss %s, restart %s, back %s\n", booked, handed,
              loss.c_str(), restart.c_str(), back.c_str());
}

TEST_F(FaultDatabase, ServerFrozenForTwentySecondsDaemonRecovers) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  ChildProcess daemon;
  ASSERT_TRUE(plant.StartDaemon(&daemon));
  ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data") >= 1 && StateRecordAge() <= 2; }, 45))
      << plant.EventLog() << RunningCopies();

  // The server stops answering without closing anything: a hung host.
  const pid_t server = DbServerPid(&error);
  ASSERT_GT(server, 0) << error;
  struct Thaw {
    pid_t pid;
    ~Thaw() { kill(pid, SIGCONT); }
  } thaw{server};
  ASSERT_EQ(kill(server, SIGSTOP), 0);
  const double cpu_before = CpuSeconds(daemon.pid());
  std::this_thread::sleep_for(std::chrono::seconds(20));
  const double cpu_after = CpuSeconds(daemon.pid());
  ASSERT_TRUE(daemon.Running()) << plant.EventLog();
  EXPECT_LT(cpu_after - cpu_before, 5.0) << "CPU seconds in 20 s with a frozen server";

  const std::string thawed_at = LocalNow();
  ASSERT_EQ(kill(server, SIGCONT), 0);
  const auto thawed = Clock::now();
  ASSERT_TRUE(PollUntil([&] {
    return db().Scalar("select RecMoment > '" + thawed_at + "' from last_state") == "1";
  }, 60)) << plant.EventLog();
  const double recovered_s = std::chrono::duration<double>(Clock::now() - thawed).count();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_LE(StateRecordAge(), 2);
  for (const std::string& e : plant.EventTexts())
    EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;

  ASSERT_TRUE(daemon.Signal(SIGINT));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(15000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText = "
                        "'*** Завершение работы по команде оператора ***'"),
            "1");
  std::printf("recording again %.1f s after the server thawed; %.2f CPU s while frozen\n",
              recovered_s, cpu_after - cpu_before);
}

}  // namespace
}  // namespace liron::test
