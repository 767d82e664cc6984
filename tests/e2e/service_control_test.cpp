// The whole Service in the test process, with its real parts (the private database, the
// event log, the control and polling threads) and no window: a pump thread plays the event
// loop. The emulator stands in for the field devices, so no serial line is needed.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/ini_file.h"
#include "db/setup_consts.h"
#include "db/sql_queues.h"
#include "engine/service.h"
#include "image/setpoint_delivery.h"
#include "plant_setup.h"
#include "platform/datetime.h"
#include "platform/recording_operator.h"
#include "signals/emulator.h"
#include "support/private_server.h"
#include "support/service_pump.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

double Num(const std::string& s) { return s.empty() || s == "NULL" ? NAN : std::stod(s); }

// A column of last_state is the value (to the last digits the records carry).
bool StateIs(const std::string& column, double value) {
  return std::fabs(Num(TestDb::Get().Scalar("select " + column + " from last_state")) - value) < 1e-9;
}

int64_t Int(const std::string& s) { return s.empty() || s == "NULL" ? -1 : std::stoll(s); }

class ServiceControl : public DbTest {
 protected:
  // The demo plan in the database, an INI that points at it, and ports that do not exist.
  void SetUp() override {
    DbTest::SetUp();
    std::string error;
    ASSERT_TRUE(plant.LoadPlan(&error)) << error;
    plant.settings.Comp = db().Comp();
    plant.settings.Login = db().User();
    plant.settings.Password = db().Password();
    plant.settings.ModBUS_PortName = plant.home.File("no-jumo");
    plant.settings.V120_PortName = plant.home.File("no-v120");
    plant.settings.AutoStart = false;
    plant.settings.AverageLen = 3;
    ASSERT_TRUE(plant.WriteIni(&error)) << error;
  }

  // The service with its event loop, through the start-up sequence.
  void Boot() {
    svc = std::make_unique<Service>(plant.home.path(), SystemClock(), op);
    svc->WindowCreated();
    pump = std::make_unique<ServicePump>(*svc);
    ASSERT_TRUE(pump->WaitTicks(10));
    ASSERT_TRUE(PollUntil([&] { return pump->Call([&] { return svc->TestStartUpSettled(); }); }, 30));
    ASSERT_EQ(svc->Image().SignalCount.load(), 11);
    ASSERT_TRUE(svc->UserConnection().IsOpen());
  }

  // "Принять новые значения" with the given raw values (0 for the rows not named).
  void ApplyEmulValues(const std::map<std::string, double>& values) {
    pump->Run([&] {
      TProcessImage& img = svc->Image();
      std::vector<std::string> cells;
      for (const std::string& name : img.SignalNames) {
        const auto v = values.find(name);
        cells.push_back(v == values.end() ? "0" : std::to_string(v->second));
      }
      std::string error;
      EXPECT_TRUE(SetNewEmulValues(img, cells, &error)) << error;
    });
  }

  // The master emulator switch on, the demo's values, and the control thread started.
  void StartEmulated() {
    pump->Run([&] { SetEmulFlag(svc->Image(), true, svc->Events(), svc->Journal()); });
    ApplyEmulValues(kValues);
    ASSERT_TRUE(pump->Call([&] { return svc->StartControl(); }));
    ASSERT_TRUE(PollUntil([&] {
      return StateRecordAge() <= 2 && StateIs("PLS", 1.5);
    }, 30)) << plant.EventLog();
  }

  int64_t Journal(const std::string& text, const std::string& kind = "СЛУЖБА ПРИЕМА") {
    return Int(db().Scalar("select count(*) from control_log where MessageText = '" + text +
                           "' and " + (kind.empty() ? "MessageKind is null" : "MessageKind = '" + kind + "'")));
  }

  void End() {
    if (!pump) return;
    pump->Run([&] { svc->OrderlyEnd(); });
    pump->Stop();
  }

  // Raw values: density 50 % and 30 %, levels 25 % and 75 %, drive 2000 of 4000, the bunker
  // contact closed, and 500 counter units between readings of the totaliser.
  const std::map<std::string, double> kValues = {{"PLS", 50},  {"PLS2", 30},  {"TNK1", 25},
                                                 {"TNK2", 75}, {"V1", 2000}, {"BKK3", 1},
                                                 {"G_1T1", 500}};

  CwdGuard cwd;
  TestPlant plant;
  RecordingOperator op;
  std::unique_ptr<Service> svc;       // ends after its pump
  std::unique_ptr<ServicePump> pump;
};

TEST_F(ServiceControl, EmulatedValuesAreCalibratedAndRecorded) {
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());

  // last_state follows the calibrated emulator values, and the flags follow them.
  const TSqlRows row = db().Query("select PLS, PLS2, TNK1, TNK2, V1, BKK3, RAB, RN from last_state");
  ASSERT_EQ(row.Rows.size(), 1u);
  const double expected[] = {1.5, 1.3, 24, 74, 50, 1, 1, 1};
  for (size_t c = 0; c < 8; ++c)
    EXPECT_NEAR(Num(row.Rows[0][c].Text), expected[c], 1e-6) << row.Columns[c];
  // The totaliser: 500 units every fifth V-120 pass, the first reading giving nothing.
  ASSERT_TRUE(PollUntil([&] { return Num(db().Scalar("select I_1T1 from last_state")) >= 1000; }, 30));
  EXPECT_EQ(std::fmod(Num(db().Scalar("select I_1T1 from last_state")), 500.0), 0.0);

  // New values: density below MIN_PLS and level below MIN_NAGR clear both flags.
  auto values = kValues;
  values["PLS"] = 10;
  values["TNK1"] = 5;
  ApplyEmulValues(values);
  EXPECT_TRUE(PollUntil([&] {
    return StateIs("PLS", 1.1) && StateIs("RAB", 0) && StateIs("TNK1", 4.8) && StateIs("RN", 0);
  }, 10)) << db().Scalar("select concat(PLS, ' ', RAB, ' ', TNK1, ' ', RN) from last_state");

  // The V-120 back on its (missing) line: its module goes stale and nothing is recorded;
  // emulated again, the records come back.
  pump->Run([&] { SetV120Emul(svc->Image(), false, svc->Events(), svc->Journal()); });
  EXPECT_TRUE(PollUntil([&] { return StateRecordAge() > 6; }, 20));
  EXPECT_GT(svc->Image().ModuleErrors[kModuleV120].load(), 0);
  pump->Run([&] { SetV120Emul(svc->Image(), true, svc->Events(), svc->Journal()); });
  EXPECT_TRUE(PollUntil([&] { return StateRecordAge() <= 1; }, 20));

  // The minute's row holds the averaged values and the booked totaliser increments.
  EXPECT_GE(db().Count("pu_data"), 1);
  EXPECT_GT(Num(db().Scalar("select sum(G_1T1) from pu_data")), 0);

  // The switches are journalled with their texts, and posted.
  for (const char* text : {"*** Включен эмулятор ***", "--- Эмулятор V120 выключен ---",
                           "*** Включен эмулятор V120 ***"})
    EXPECT_EQ(Journal(text), 1) << text;
  End();
  const std::vector<std::string> events = plant.EventTexts();
  for (const char* text : {"*** Включен эмулятор ***", "--- Эмулятор V120 выключен ---",
                           "*** Включен эмулятор V120 ***"})
    EXPECT_EQ(CountEvents(events, text), 1) << text;
  for (const std::string& e : events) EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
}

TEST_F(ServiceControl, ControlLoopReconnectsAndRunsWhatWasQueuedMeanwhile) {
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());

  ASSERT_TRUE(db().StopServer());
  struct Back {
    ~Back() {
      if (!up) TestDb::Get().StartServer();
    }
    bool up = false;
  } back;
  // The control thread has noticed, and its cycles go on: their records wait in the spool.
  ASSERT_TRUE(PollUntil([&] { return svc->Image().ReconnectFailures.load() >= 2; }, 30));
  const int cycles = svc->Image().CycleCounter.load();

  // The operator's side goes on journalling, past the write queue's limit: nothing is lost.
  constexpr int kRecords = 120;
  pump->Run([&] {
    for (int i = 0; i < kRecords; ++i)
      EXPECT_TRUE(svc->Journal().WriteJournal("Запись во время простоя " + std::to_string(i), ""));
  });
  ASSERT_TRUE(PollUntil([&] { return svc->TestSpool().Outbox().Depth().Records >= kRecords; }, 10));
  EXPECT_LE(svc->TestQueues().WaitingStatements(), 10);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_TRUE(svc->Image().ControlRunning.load());
  EXPECT_GE(svc->Image().CycleCounter.load(), cycles + 2);
  EXPECT_NE(svc->StatusLine().find("Нет связи с MySQL сервером"), std::string::npos);
  EXPECT_NE(svc->StatusLine().find("записей в буфере"), std::string::npos);

  ASSERT_TRUE(db().StartServer());
  back.up = true;
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() <= 1 && svc->TestSpool().Outbox().Empty(); }, 20))
      << plant.EventLog();

  // The records of the outage are all there.
  const TSqlRows rows = db().Query(
      "select MessageText from control_log where MessageText like 'Запись во время простоя %'");
  std::vector<int> numbers;
  for (const auto& r : rows.Rows) numbers.push_back(std::stoi(r[0].Text.substr(r[0].Text.rfind(' ') + 1)));
  std::sort(numbers.begin(), numbers.end());
  std::vector<int> expected(kRecords);
  for (int i = 0; i < kRecords; ++i) expected[i] = i;
  EXPECT_EQ(numbers, expected);

  // One event per failed reconnection, far from the 302nd; the count starts again.
  EXPECT_EQ(svc->Image().ReconnectFailures.load(), 0);
  EXPECT_GE(CountEvents(plant.EventTexts(), "Не могу подключиться к MySQL серверу."), 3);
  EXPECT_TRUE(svc->Image().ControlRunning.load());
  EXPECT_EQ(CountEvents(plant.EventTexts(), "MySQL сервер недоступен."), 0);
  // The journal has the loss, at its own moment, before the return with the outage's span.
  ASSERT_TRUE(PollUntil([&] { return Journal("*** Связь с MySQL сервером потеряна ***") == 1; }, 10));
  EXPECT_EQ(db().Scalar("select count(*) from control_log where MessageText like "
                        "'=== Связь с MySQL сервером восстановлена (перерыв 0:00:__) ===' and "
                        "RecMoment >= (select RecMoment from control_log where MessageText = "
                        "'*** Связь с MySQL сервером потеряна ***') + interval 3 second"),
            "1");
  End();
  for (const std::string& e : plant.EventTexts())
    EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
}

TEST_F(ServiceControl, OrderlyEndJournalsBothRecordsAndSavesTheIni) {
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());
  TSettings s = svc->Image().Settings();
  s.AverageLen = 7;
  s.MaxWriteCount = 3;
  svc->Image().SetSettings(s);

  // "Закрыть" just as the control thread waits for the answer of a select: the event-loop
  // thread must still let the cycle finish, so the thread can journal its stop.
  pump->Run([&] {
    for (int i = 0; i < 400 && svc->TestQueues().WaitingSelects() == 0; ++i)
      SystemClock().SleepMs(5);
    EXPECT_GT(svc->TestQueues().WaitingSelects(), 0);
    svc->OrderlyEnd();
  });
  pump->Stop();

  EXPECT_EQ(Journal("*** Завершение работы по команде оператора ***", ""), 1);
  EXPECT_EQ(Journal("<<< Поток управления остановлен. >>>"), 1);
  EXPECT_EQ(Journal(">>> Запуск потока управления. <<<"), 1);
  EXPECT_TRUE(PollUntil([&] { return !svc->Image().ControlRunning.load(); }, 10));
  EXPECT_FALSE(svc->UserConnection().IsOpen());
  const std::string ini = ReadFileBytes(plant.Ini());
  EXPECT_NE(ini.find("AverageLen=7"), std::string::npos) << ini;
  EXPECT_NE(ini.find("MaxWriteCount=3"), std::string::npos) << ini;
  EXPECT_EQ(CountEvents(plant.EventTexts(), "*** Завершение работы по команде оператора ***"), 1);
}

TEST_F(ServiceControl, OrderlyEndWithoutAServerEndsPromptlyAndSavesTheIni) {
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());
  ASSERT_TRUE(db().StopServer());
  struct Back {
    ~Back() { TestDb::Get().StartServer(); }
  } back;
  ASSERT_TRUE(PollUntil([&] { return svc->Image().ReconnectFailures.load() >= 1; }, 30));

  const auto start = std::chrono::steady_clock::now();
  pump->Run([&] { svc->OrderlyEnd(); });
  pump->Stop();
  EXPECT_TRUE(PollUntil([&] { return !svc->Image().ControlRunning.load(); }, 5));
  svc.reset();  // the threads are joined
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(took, 10.0);
  EXPECT_NE(ReadFileBytes(plant.Ini()).find("AverageLen=3"), std::string::npos);
  EXPECT_EQ(CountEvents(plant.EventTexts(), "*** Завершение работы по команде оператора ***"), 1);
  EXPECT_GE(CountEvents(plant.EventTexts(), "Не могу подключиться к MySQL серверу."), 1);
  // What the server could not take waits in the spool for the next start, in order.
  TEventFIFO events(16, SystemClock());
  TSpool spool(events);
  ASSERT_TRUE(spool.Open(plant.home.File(kSpoolFileName), nullptr));
  std::string texts;
  for (const TSpoolItem& item : spool.Outbox().Peek(100000)) texts += item.Text + "\n";
  const size_t end = texts.find("*** Завершение работы по команде оператора ***");
  ASSERT_NE(end, std::string::npos) << texts;
  EXPECT_NE(texts.find("<<< Поток управления остановлен. >>>", end), std::string::npos) << texts;
}

TEST_F(ServiceControl, ApplyCalibrationsReloadsAndRestartsRunningOrStopped) {
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());

  // Running: a new scale for the density, applied.
  ASSERT_TRUE(db().Exec("delete from kalibr where SignalName='PLS'"));
  ASSERT_TRUE(db().Exec("insert into kalibr (SignalName, AVal, FVal) values ('PLS', 0, 1), ('PLS', 100, 3)"));
  pump->Run([&] { svc->ApplyCalibrations(); });
  EXPECT_TRUE(PollUntil([&] { return svc->Image().ControlRunning.load(); }, 5));
  EXPECT_TRUE(PollUntil([&] { return StateIs("PLS", 2.0); }, 20)) << plant.EventLog();
  EXPECT_TRUE(PollUntil([&] {
    return Journal("!!! Изменены калибровки !!!") == 1 &&
           Journal("<<< Поток управления остановлен. >>>") == 1 &&
           Journal(">>> Запуск потока управления. <<<") == 2;
  }, 10));

  // Stopped: the apply reloads and starts the thread all the same.
  pump->Run([&] { svc->OperatorStop(); });
  ASSERT_TRUE(PollUntil([&] { return !svc->Image().ControlRunning.load(); }, 20));
  ASSERT_TRUE(db().Exec("delete from kalibr where SignalName='PLS'"));
  ASSERT_TRUE(db().Exec("insert into kalibr (SignalName, AVal, FVal) values ('PLS', 0, 0), ('PLS', 100, 1)"));
  pump->Run([&] { svc->ApplyCalibrations(); });
  EXPECT_TRUE(PollUntil([&] { return svc->Image().ControlRunning.load(); }, 5));
  EXPECT_TRUE(PollUntil([&] {
    return StateRecordAge() <= 1 && StateIs("PLS", 0.5) && StateIs("RAB", 0);
  }, 20)) << plant.EventLog();
  EXPECT_TRUE(PollUntil([&] {
    return Journal("!!! Изменены калибровки !!!") == 2 &&
           Journal("<<< Поток управления остановлен. >>>") == 2 &&
           Journal(">>> Запуск потока управления. <<<") == 3;
  }, 10));

  End();
  const std::vector<std::string> events = plant.EventTexts();
  EXPECT_EQ(CountEvents(events, "=== В калибровочные таблицы внесены изменения. ==="), 2);
  EXPECT_EQ(CountEvents(events, "Поток контроля останавливается для применения настроек"), 2);
  EXPECT_EQ(CountEvents(events, "Загружаем новые калибровки..."), 2);
  EXPECT_EQ(CountEvents(events, "Запускаем поток приема..."), 2);
  EXPECT_EQ(CountEvents(events, "Прием прекращается по команде оператора."), 1);
  for (const std::string& e : events) EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
}

// The server drops the user connection (KILL, as its idle time-out or a restart does):
// "Старт", a plan reload and a setpoint entry each reopen it and do their work.
TEST_F(ServiceControl, ADroppedUserConnectionIsReopenedForStartReloadAndSetpoint) {
  ASSERT_NO_FATAL_FAILURE(Boot());
  auto kill_user = [&] {
    const std::string id = pump->Call([&] {
      TSqlRows rows;
      svc->UserConnection().Query("select connection_id() as Id", &rows);
      const TSqlValue* v = rows.Field(0, "Id");
      return v ? v->Text : std::string();
    });
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(db().Exec("kill " + id));
  };
  ASSERT_NO_FATAL_FAILURE(kill_user());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());  // SeedCounter on the user connection

  ASSERT_NO_FATAL_FAILURE(kill_user());
  ASSERT_TRUE(db().Exec("delete from kalibr where SignalName='PLS'"));
  ASSERT_TRUE(db().Exec("insert into kalibr (SignalName, AVal, FVal) values ('PLS', 0, 1), ('PLS', 100, 3)"));
  pump->Run([&] { svc->ApplyCalibrations(); });
  EXPECT_TRUE(PollUntil([&] { return StateIs("PLS", 2.0); }, 20)) << plant.EventLog();

  ASSERT_NO_FATAL_FAILURE(kill_user());
  const int64_t rows = db().Count("control_vector");
  EXPECT_TRUE(pump->Call([&] { return svc->EnterSetpoint("1.55", "42"); })) << plant.EventLog();
  EXPECT_EQ(db().Count("control_vector"), rows + 1);
  End();
  const std::vector<std::string> events = plant.EventTexts();
  EXPECT_EQ(CountEvents(events, "Загружаем новые калибровки..."), 1);
  for (const std::string& e : events) {
    EXPECT_EQ(e.find("Поток приема не запущен"), std::string::npos) << e;
    EXPECT_EQ(e.find("не загружен"), std::string::npos) << e;
  }
}

// The other end of NOTIFY_SOCKET, as systemd holds it for a unit of Type=notify.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  }
  ~NotifySocket() {
    ::unsetenv("NOTIFY_SOCKET");
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return ok_; }
  struct Message {
    std::string Text;
    std::chrono::steady_clock::time_point At;
  };
  // Everything that arrives within ms.
  std::vector<Message> Listen(int ms) {
    std::vector<Message> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
      pollfd p{fd_, POLLIN, 0};
      const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count());
      if (::poll(&p, 1, left) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n > 0) got.push_back({std::string(buf, static_cast<size_t>(n)), std::chrono::steady_clock::now()});
    }
    return got;
  }

 private:
  int fd_;
  bool ok_ = false;
};

// The times of the messages that are exactly text, and those that begin with it.
std::vector<std::chrono::steady_clock::time_point> Times(const std::vector<NotifySocket::Message>& got,
                                                         const std::string& text) {
  std::vector<std::chrono::steady_clock::time_point> at;
  for (const NotifySocket::Message& m : got)
    if (m.Text == text) at.push_back(m.At);
  return at;
}
bool HasPrefix(const std::vector<NotifySocket::Message>& got, const std::string& prefix) {
  return std::any_of(got.begin(), got.end(), [&](const auto& m) { return m.Text.rfind(prefix, 0) == 0; });
}

// Run by systemd: READY=1 once the program is up, also with the server away; the status
// line; the watchdog's ping at most 15 s apart while the server is away, and none while a
// control cycle hangs.
TEST_F(ServiceControl, SystemdHearsReadinessStatusAndPingsWhileTheControlThreadMoves) {
  NotifySocket systemd(plant.home.File("notify"));
  ASSERT_TRUE(systemd.Ok());
  const TSettings real = plant.settings;
  std::string error;
  plant.settings.Comp = "127.0.0.1:1";  // nobody listens there
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  svc = std::make_unique<Service>(plant.home.path(), SystemClock(), op);
  svc->WindowCreated();
  pump = std::make_unique<ServicePump>(*svc);
  const auto up = std::chrono::steady_clock::now();
  std::vector<NotifySocket::Message> got = systemd.Listen(12000);
  ASSERT_EQ(Times(got, "READY=1").size(), 1u);
  EXPECT_LT(Times(got, "READY=1")[0] - up, std::chrono::seconds(1));
  EXPECT_TRUE(HasPrefix(got, "STATUS=Ждем MySQL сервер 127.0.0.1:1")) << got.size();
  const auto pings = Times(got, "WATCHDOG=1");
  ASSERT_GE(pings.size(), 2u);
  for (size_t i = 1; i < pings.size(); ++i) EXPECT_LE(pings[i] - pings[i - 1], std::chrono::seconds(15));
  End();
  pump.reset();
  svc.reset();

  // With the server: pings while the cycles go on, none while one is held.
  plant.settings = real;
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_NO_FATAL_FAILURE(StartEmulated());
  got = systemd.Listen(6000);
  EXPECT_FALSE(Times(got, "WATCHDOG=1").empty());
  EXPECT_TRUE(HasPrefix(got, "STATUS=Циклов ")) << (got.empty() ? "" : got.back().Text);
  svc->Image().CycleHold = true;
  systemd.Listen(6000);  // the ping for the cycles before the hold
  got = systemd.Listen(12000);
  EXPECT_TRUE(Times(got, "WATCHDOG=1").empty());
  svc->Image().CycleHold = false;
  got = systemd.Listen(7000);
  EXPECT_FALSE(Times(got, "WATCHDOG=1").empty());
  End();
}

// The setpoints across stops and restarts, with both simulators on their lines: the newest
// control_vector row is in force from the start, a restart of the control thread goes on
// writing it (never the zeros of its cleared frames), and a row entered while the service was
// away reaches the controllers at the next start.
TEST_F(ServiceControl, SetpointsSurviveRestartsAndReachTheControllers) {
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  plant.settings.AutoStart = false;
  plant.settings.AverageLen = 3;
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  auto row = [&](const std::string& values) {
    const std::string moment = db().Scalar("select now()");
    EXPECT_TRUE(db().Exec("insert into control_vector values ('" + moment + "', 'master@pult', " + values + ")"));
    TDateTime t = 0;
    EXPECT_TRUE(ParseSqlDateTime(moment, &t)) << moment;
    return t;
  };
  auto delivered = [&](TDateTime t) {
    return Journal(DeliveredText(1, t)) == 1 && Journal(DeliveredText(2, t)) == 1;
  };
  auto writes = [&] { return CountLines(plant.jumo_log, "write slave="); };

  // A row delivered in an earlier run: in force from the first minute, and not written again.
  const TDateTime first = row("1.55, 42");
  ASSERT_TRUE(db().Exec("insert into control_log values (now(), 1, '" + DeliveredText(1, first) +
                        "', 'СЛУЖБА ПРИЕМА'), (now(), 2, '" + DeliveredText(2, first) + "', 'СЛУЖБА ПРИЕМА')"));
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_TRUE(pump->Call([&] { return svc->StartControl(); }));
  ASSERT_TRUE(PollUntil([&] { return StateRecordAge() <= 1 && db().Count("pu_data") >= 1; }, 30))
      << plant.EventLog();
  EXPECT_EQ(db().Scalar("select concat(_PLSZ, ' ', _URNSZ) from pu_data order by RecMoment limit 1"), "1.55 42");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(writes(), 0);

  // Старт within a second of a new setpoint: what the controllers get is the new setpoint.
  const TDateTime second = row("1.6, 45");
  ASSERT_TRUE(PollUntil([&] { return svc->Image().ControlMoment.load() == second; }, 10));
  pump->Run([&] { svc->OperatorStop(); });
  ASSERT_TRUE(PollUntil([&] { return !svc->Image().ControlRunning.load(); }, 10));
  pump->Run([&] { svc->OperatorStart(); });
  ASSERT_TRUE(PollUntil([&] { return delivered(second) && !svc->Image().Delivery.Pending(); }, 30))
      << plant.EventLog();
  EXPECT_EQ(CountLines(plant.jumo_log, "write slave=1 reg=8 count=2 value=1.60000002 "), 6);
  EXPECT_EQ(CountLines(plant.jumo_log, "write slave=2 reg=8 count=2 value=45 "), 6);
  EXPECT_EQ(CountLines(plant.jumo_log, " value=0 "), 0);
  End();
  svc.reset();

  // A row entered while the service was away: delivered at the next start, and journalled.
  const TDateTime third = row("1.7, 50");
  ASSERT_NO_FATAL_FAILURE(Boot());
  ASSERT_TRUE(pump->Call([&] { return svc->StartControl(); }));
  ASSERT_TRUE(PollUntil([&] { return delivered(third); }, 30)) << plant.EventLog();
  EXPECT_EQ(Journal("Новое задание: Плотность=1.7 Уровень НС=50", "master@pult"), 1);
  EXPECT_GE(CountLines(plant.jumo_log, "write slave=2 reg=8 count=2 value=50 "), 1);
  EXPECT_EQ(CountLines(plant.jumo_log, " value=0 "), 0);
  End();
}

// The station boots while the server is away: it runs on the copy of the last good load, with
// the counter, the setpoints and the minute's key the local store kept. The server's plan
// replaces the copy when the server answers, through the stop-and-start of "Применить" and
// only when it differs.
TEST_F(ServiceControl, AStartWithoutTheServerRunsOnTheSavedCopyUntilTheServerAnswers) {
  const std::string moment = db().Scalar("select now()");
  ASSERT_TRUE(db().Exec("insert into control_vector values ('" + moment + "', 'master@pult', 1.55, 42)"));
  TDateTime row_moment = 0;
  ASSERT_TRUE(ParseSqlDateTime(moment, &row_moment));
  auto pls_top = [&] {  // the calibrated value of the density's 100 % point in force
    return pump->Call([&] {  // the plan changes on the event loop
      for (const TSignalSet& s : svc->Image().Signals)
        if (s.SignalName == "PLS") return s.FVal[1];
      return -1.0;
    });
  };

  // A run with the server: its load leaves the copy and the setpoints in the local store.
  ASSERT_NO_FATAL_FAILURE(Boot());
  TPlanCopy copy;
  std::string error;
  ASSERT_EQ(svc->TestSpool().PlanCopy().Load(&copy, &error), TPlanCopyRead::kLoaded) << error;
  EXPECT_EQ(copy.Signals.size(), 11u);
  EXPECT_EQ(copy.Setup, (TSetupRows{{"MAX_G_STEP", 1000000}, {"MIN_NAGR", 10}, {"MIN_PLS", 1.2}}));
  EXPECT_EQ(svc->TestSpool().Seeds().Read().Plsz, 1.55);
  // The minute rows are the record writer's part of the store.
  TMinuteRow minute;
  minute.Key = "2024-03-05 10:15:00";
  minute.I_1T1 = 4321;
  ASSERT_TRUE(svc->TestSpool().Seeds().NoteMinute(minute));
  End();
  svc.reset();

  // The server is reached through a link that is not there yet.
  const std::string link = plant.home.File("mysql.sock");
  plant.settings.Comp = link;
  plant.settings.AutoStart = true;
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  auto boot_without_server = [&] {
    svc = std::make_unique<Service>(plant.home.path(), SystemClock(), op);
    svc->TestSetUserConnectPauses(1, 200);
    svc->WindowCreated();
    pump = std::make_unique<ServicePump>(*svc);
    ASSERT_TRUE(PollUntil([&] { return pump->Call([&] { return svc->TestStartUpSettled(); }); }, 30));
    ASSERT_TRUE(PollUntil([&] { return svc->Image().ControlRunning.load(); }, 10)) << plant.EventLog();
  };
  ASSERT_NO_FATAL_FAILURE(boot_without_server());
  TProcessImage& img = svc->Image();
  EXPECT_EQ(img.SignalCount.load(), 11);
  EXPECT_EQ(pls_top(), 2.0);
  EXPECT_EQ(img.MinPls.load(), 1.2);
  EXPECT_EQ(img.CounterLast.load(), 4321);
  EXPECT_TRUE(img.CounterLastKnown.load());
  EXPECT_EQ(img.ControlMoment.load(), row_moment);
  EXPECT_EQ(img.PlszSetpoint.load(), 1.55);
  EXPECT_EQ(img.UrnszSetpoint.load(), 42);
  EXPECT_TRUE(PollUntil([&] {
    return CountEvents(plant.EventTexts(), "*** Сервер MySQL недоступен: план загружен из сохраненной копии ***") == 1;
  }, 5));

  // The server answers with the same plan: nothing restarts; the start record is written.
  ASSERT_TRUE(PollUntil([&] { return img.ThreadStartMoment.load() > 0; }, 20));
  const double started = img.ThreadStartMoment.load();
  ASSERT_EQ(symlink(db().Comp().c_str(), link.c_str()), 0);
  EXPECT_TRUE(PollUntil([&] { return Journal("Программа контроля загружена.", "") == 3; }, 20))
      << plant.EventLog();
  EXPECT_TRUE(PollUntil([&] {
    return CountEvents(plant.EventTexts(), "Программа контроля на сервере совпадает с сохраненной копией.") == 1;
  }, 5)) << plant.EventLog();
  EXPECT_EQ(img.ThreadStartMoment.load(), started);
  EXPECT_EQ(Journal(">>> Запуск потока управления. <<<"), 1);
  EXPECT_EQ(Journal("<<< Поток управления остановлен. >>>"), 0);
  EXPECT_TRUE(img.ControlRunning.load());
  End();
  svc.reset();

  // Away again, and the density's scale changed meanwhile: applied when the server answers.
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_TRUE(db().Exec("update kalibr set FVal=3 where SignalName='PLS' and AVal=100"));
  ASSERT_NO_FATAL_FAILURE(boot_without_server());
  EXPECT_EQ(pls_top(), 2.0);
  ASSERT_EQ(symlink(db().Comp().c_str(), link.c_str()), 0);
  EXPECT_TRUE(PollUntil([&] { return pls_top() == 3.0 && svc->Image().ControlRunning.load(); }, 20))
      << plant.EventLog();
  EXPECT_TRUE(PollUntil([&] { return Journal("!!! Изменены калибровки !!!") == 1; }, 10));
  ASSERT_EQ(svc->TestSpool().PlanCopy().Load(&copy, &error), TPlanCopyRead::kLoaded) << error;  // the copy follows
  EXPECT_TRUE(std::any_of(copy.Signals.begin(), copy.Signals.end(), [](const TSignalSet& s) {
    return s.SignalName == "PLS" && s.FVal[1] == 3.0;
  }));
  End();
  const std::vector<std::string> events = plant.EventTexts();
  EXPECT_EQ(CountEvents(events, "*** Программа контроля на сервере отличается от сохраненной копии ***"), 1);
  EXPECT_EQ(CountEvents(events, "Загружаем новые калибровки..."), 1);
}

// A server across the network that takes TCP only with TLS (a private one of this test): the
// service connects with SSL_Mode=verify only when its CA signed the server's certificate;
// with another CA it says why and records nothing, and with the corrected INI it records after
// a restart.
TEST_F(ServiceControl, RecordsOverTlsOnlyWithTheCaThatSignedTheServer) {
  const PrivateServer server(PrivateServer::Transport::kTlsOnly);
  ASSERT_TRUE(server.Ready());
  ASSERT_TRUE(server.RunSqlFile("sql/demo-plan.sql"));
  TMySQLConnection local;  // the test's own look, over the server's socket
  server.ConfigureRoot(local);
  ASSERT_TRUE(local.Open());
  auto state_rows = [&local] {
    TSqlRows rows;
    return local.Query("select count(*) n from last_state where RecMoment > NOW() - INTERVAL 5 SECOND",
                       &rows) && rows.Field(0, "n") ? rows.Field(0, "n")->Text : std::string("?");
  };

  plant.settings.Comp = "127.0.0.1:" + server.Value("PORT");
  plant.settings.Login = "root";
  plant.settings.Password = server.Value("PASSWORD");
  auto write_ini = [&](const std::string& ca) {
    std::string error;
    ASSERT_TRUE(plant.WriteIni(&error)) << error;
    IniFile ini;
    ASSERT_TRUE(ini.Load(plant.Ini(), &error)) << error;
    ini.WriteString("MySQL", "SSL_Mode", "verify");
    ini.WriteString("MySQL", "SSL_CA", ca);
    ASSERT_TRUE(ini.Save(plant.Ini(), &error)) << error;
  };
  ASSERT_NO_FATAL_FAILURE(write_ini(server.File("tls/other-ca.pem")));
  svc = std::make_unique<Service>(plant.home.path(), SystemClock(), op);
  svc->WindowCreated();
  pump = std::make_unique<ServicePump>(*svc);
  ASSERT_TRUE(PollUntil([&] { return plant.EventLog().find("MySQL: ") != std::string::npos; }, 40))
      << plant.EventLog();
  EXPECT_FALSE(svc->UserConnection().IsOpen());
  EXPECT_EQ(state_rows(), "0");
  End();
  pump.reset();
  svc.reset();

  ASSERT_NO_FATAL_FAILURE(write_ini(server.File("tls/ca.pem")));
  svc = std::make_unique<Service>(plant.home.path(), SystemClock(), op);
  svc->WindowCreated();
  pump = std::make_unique<ServicePump>(*svc);
  ASSERT_TRUE(PollUntil([&] { return pump->Call([&] { return svc->TestStartUpSettled(); }); }, 30));
  pump->Run([&] { SetEmulFlag(svc->Image(), true, svc->Events(), svc->Journal()); });
  ApplyEmulValues(kValues);
  ASSERT_TRUE(pump->Call([&] { return svc->StartControl(); }));
  EXPECT_TRUE(PollUntil([&] { return state_rows() == "1"; }, 30)) << plant.EventLog();
  TSqlRows cipher;
  ASSERT_TRUE(svc->UserConnection().Query("show status like 'Ssl_cipher'", &cipher));
  EXPECT_NE(cipher.Field(0, "Value")->Text, "");
  End();
}

// The accounts of sql/accounts.sql on a server of this test's own: the service records under
// the service role; an operator (a database user named O'Brien) hands in a setpoint with a
// forged moment and name, and the trigger signs it with the real account, which the journal
// shows; the operator cannot change the records nor delete the journal.
TEST_F(ServiceControl, RunsUnderTheServiceRoleAndTheTriggerSignsEverySetpoint) {
  const PrivateServer server;
  ASSERT_TRUE(server.Ready());
  ASSERT_TRUE(server.RunSqlFile("sql/demo-plan.sql"));
  ASSERT_TRUE(server.RunSqlFile("sql/accounts.sql"));
  TMySQLConnection root;
  server.ConfigureRoot(root);
  ASSERT_TRUE(root.Open());
  for (const char* sql :
       {"CREATE USER 'station'@'localhost' IDENTIFIED BY 'st-pw'",
        "GRANT liron36_service TO 'station'@'localhost'",
        "SET DEFAULT ROLE liron36_service FOR 'station'@'localhost'",
        "CREATE USER 'O''Brien'@'localhost' IDENTIFIED BY 'op-pw'",
        "GRANT liron36_operator TO 'O''Brien'@'localhost'",
        "SET DEFAULT ROLE liron36_operator FOR 'O''Brien'@'localhost'"}) {
    std::string error;
    ASSERT_TRUE(root.Execute(sql, &error)) << sql << ": " << error;
  }
  auto scalar = [&root](const std::string& sql) {  // the first column of the first row
    TSqlRows rows;
    return root.Query(sql, &rows) && !rows.Rows.empty() ? rows.Rows[0][0].Text : std::string("?");
  };

  plant.settings.Comp = server.Value("SOCKET");
  plant.settings.Login = "station";
  plant.settings.Password = "st-pw";
  std::string error;
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  svc = std::make_unique<Service>(plant.home.path(), SystemClock(), op);
  svc->WindowCreated();
  pump = std::make_unique<ServicePump>(*svc);
  ASSERT_TRUE(PollUntil([&] { return pump->Call([&] { return svc->TestStartUpSettled(); }); }, 30));
  ASSERT_TRUE(svc->UserConnection().IsOpen()) << plant.EventLog();
  pump->Run([&] { SetEmulFlag(svc->Image(), true, svc->Events(), svc->Journal()); });
  ApplyEmulValues(kValues);
  ASSERT_TRUE(pump->Call([&] { return svc->StartControl(); }));
  EXPECT_TRUE(PollUntil([&] {
    return scalar("select count(*) from last_state where RecMoment > NOW() - INTERVAL 3 SECOND") == "1";
  }, 30)) << plant.EventLog();

  TMySQLConnection obrien;
  obrien.SetConnParam("HostName", server.Value("SOCKET"));
  obrien.SetConnParam("User_Name", "O'Brien");
  obrien.SetConnParam("Password", "op-pw");
  ASSERT_TRUE(obrien.Open(&error)) << error;
  ASSERT_TRUE(obrien.Execute("insert into control_vector values ('2000-01-01', 'root', 1.7, 50)",
                             &error)) << error;
  EXPECT_EQ(scalar("select concat(UserName, ' ', RecMoment > NOW() - INTERVAL 1 MINUTE) from control_vector"),
            "O'Brien@localhost 1");
  EXPECT_TRUE(PollUntil([&] {
    return scalar("select count(*) from control_log where MessageText = 'Новое задание: "
                  "Плотность=1.7 Уровень НС=50' and MessageKind = 'O''Brien@localhost'") == "1";
  }, 20)) << plant.EventLog();
  for (const char* refused : {"update pu_data set PLS = 0", "delete from control_log"}) {
    TSqlOutcome outcome;
    EXPECT_FALSE(obrien.Execute(refused, outcome)) << refused;
    EXPECT_EQ(outcome.Code, 1142u) << refused << ": " << outcome.Error;
  }
  End();
}

}  // namespace
}  // namespace liron::test
