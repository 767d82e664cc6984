// A signal plan that holds a name which cannot be a column (a quote and Cyrillic letters),
// with calibration points of its own: the daemon refuses that row with its event, loads the
// rest of the plan and records it, and sends no statement the server would reject.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "plant_setup.h"
#include "support/child_process.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

double Num(const std::string& s) { return s.empty() || s == "NULL" ? NAN : std::stod(s); }

class FaultSignalName : public DbTest {};

TEST_F(FaultSignalName, QuotedCyrillicNameIsRefusedAndTheRestIsRecorded) {
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  const std::string bad = "Плотн'ость";
  ASSERT_TRUE(db().Exec("insert into `signal` values ('JUMO', 'Плотн\\'ость', 1, 53, 1, 1, 1, 'READ')"));
  ASSERT_TRUE(db().Exec("insert into kalibr (SignalName, AVal, FVal) values "
                        "('Плотн\\'ость', 0, 1), ('Плотн\\'ость', 100, 2)"));
  ASSERT_EQ(db().Scalar("select SignalName from `signal` where BusName='JUMO' and SignalName like 'Плотн%'"), bad);

  ChildProcess daemon;
  ASSERT_TRUE(plant.StartDaemon(&daemon));
  ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data") >= 1 && StateRecordAge() <= 2; }, 45))
      << plant.EventLog() << RunningCopies();
  std::this_thread::sleep_for(std::chrono::seconds(5));

  const std::vector<std::string> events = plant.EventTexts();
  EXPECT_EQ(CountEvents(events, "### Недопустимое имя сигнала: " + bad + " ###"), 1) << plant.EventLog();
  for (const std::string& e : events) {
    EXPECT_EQ(e.find("*** SQL error"), std::string::npos) << e;
    EXPECT_EQ(e.find("*** SELECT error"), std::string::npos) << e;
    EXPECT_EQ(e.find("Ошибка в LoadConfig"), std::string::npos) << e;
  }
  // The rest of the plan is recorded, with its calibrations.
  EXPECT_LE(StateRecordAge(), 2);
  EXPECT_NEAR(Num(db().Scalar("select PLS from last_state")), 1.5, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select TNK1 from last_state")), 58.4, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select V1 from last_state")), 50.0, 1e-6);
  EXPECT_NEAR(Num(db().Scalar("select PLS from pu_data order by RecMoment desc limit 1")), 1.5, 1e-6);
  // The tables are as they were: the row and its points stay for the operator to correct.
  EXPECT_EQ(db().Count("`signal`"), 12);
  EXPECT_EQ(db().Scalar("select count(*) from kalibr where SignalName like 'Плотн%'"), "2");

  ASSERT_TRUE(daemon.Signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(5000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace liron::test
