#include "db/setup_consts.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "support/test_db.h"

namespace liron {
namespace {

using std::chrono::milliseconds;

class SetupConsts : public test::DbTest {
 protected:
  void SetUp() override {
    test::DbTest::SetUp();
    ASSERT_TRUE(db().Open(conn_));
  }
  // The GUI thread's select timer, for as long as the test body runs.
  void ServeSelects() {
    gui_ = std::thread([this] {
      while (!stop_) {
        queues_.RunSelectQueue(conn_);
        std::this_thread::sleep_for(milliseconds(5));
      }
      MySqlThreadEnd();
    });
  }
  void TearDown() override {
    stop_ = true;
    if (gui_.joinable()) gui_.join();
  }
  FakeClock clock_;
  TEventFIFO events_{400, clock_};
  TSqlQueues queues_{events_};
  TMySQLConnection conn_;
  TProcessImage image_{clock_};
  std::atomic<bool> stop_{false};
  std::thread gui_;
};

TEST_F(SetupConsts, EmptyTableGetsEachInsertedWithTheValueInMemory) {
  ServeSelects();
  EXPECT_TRUE(LoadSetupConsts(queues_, image_));
  EXPECT_EQ(image_.MinPls.load(), 0);
  EXPECT_EQ(image_.MinNagr.load(), 0);
  EXPECT_EQ(queues_.WaitingSnapshot(),
            (std::vector<std::string>{
                "insert into setup (ConstName, ConstVal, Comment) VALUES ('MIN_PLS', 0, '')",
                "insert into setup (ConstName, ConstVal, Comment) VALUES ('MIN_NAGR', 0, '')",
                "insert into setup (ConstName, ConstVal, Comment) VALUES ('MAX_G_STEP', 1000000, '')"}));
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 3);
  EXPECT_EQ(db().Scalar("select concat(ConstVal, '|', Comment) from setup where ConstName='MIN_NAGR'"),
            "0|");
  // The next start finds them and inserts nothing.
  EXPECT_TRUE(LoadSetupConsts(queues_, image_));
  EXPECT_EQ(queues_.WaitingStatements(), 0);
  // The plan's local copy takes all three, and a start from it applies them.
  ASSERT_TRUE(db().Exec("update setup set ConstVal=500 where ConstName='MAX_G_STEP'"));
  TSetupRows rows;
  std::string error;
  ASSERT_TRUE(ReadSetupRows(conn_, &rows, &error)) << error;
  EXPECT_EQ(rows.size(), 3u);
  ApplySetupRows(rows, image_);
  EXPECT_EQ(image_.MaxGStep.load(), 500);
}

TEST_F(SetupConsts, StoredValueIsTakenAndNotInserted) {
  ASSERT_TRUE(db().Exec("insert into setup values ('MIN_PLS', 1.2, 'density')"));
  image_.MinNagr = 7.5;
  ServeSelects();
  EXPECT_TRUE(LoadSetupConsts(queues_, image_));
  EXPECT_EQ(image_.MinPls.load(), 1.2);
  EXPECT_EQ(image_.MinNagr.load(), 7.5);
  EXPECT_EQ(queues_.WaitingSnapshot(),
            (std::vector<std::string>{
                "insert into setup (ConstName, ConstVal, Comment) VALUES ('MIN_NAGR', 7.5, '')",
                "insert into setup (ConstName, ConstVal, Comment) VALUES ('MAX_G_STEP', 1000000, '')"}));
  double v = -1;
  EXPECT_FALSE(ReadSetupConst(queues_, "NO_SUCH", &v));
  EXPECT_EQ(v, -1);
  // A row whose value is NULL is there: not inserted again at every start.
  ASSERT_TRUE(db().Exec("insert into setup values ('NULL_CONST', NULL, '')"));
  EXPECT_TRUE(EnsureSetupConst(queues_, "NULL_CONST", &v));
  EXPECT_EQ(v, -1);
  EXPECT_EQ(queues_.WaitingStatements(), 2);
  // A name with a quote is escaped, not spliced.
  ASSERT_TRUE(db().Exec("insert into setup values ('A''B', 3, '')"));
  EXPECT_TRUE(ReadSetupConst(queues_, "A'B", &v));
  EXPECT_EQ(v, 3);
}

TEST_F(SetupConsts, UnansweredSelectInsertsNothing) {
  ASSERT_TRUE(db().Exec("insert into setup values ('MIN_PLS', 1.2, '')"));
  double v = 1.1;  // nobody serves the select queue
  EXPECT_TRUE(EnsureSetupConst(queues_, "MIN_PLS", &v));
  EXPECT_EQ(v, 1.1);
  EXPECT_EQ(queues_.WaitingStatements(), 0);  // the row may well be there
}

TEST(AutoClean, EveryTwoWholeHours) {
  FakeClock clock(EncodeDateTime(2009, 10, 3, 8, 0, 0, 0));
  TEventFIFO events(400, clock);
  TSqlQueues queues(events);
  TAutoClean clean(clock);
  clock.Advance((60 + 59) * 60 * 1000);  // 1 h 59 min
  EXPECT_FALSE(clean.Check(queues, true, 240));
  EXPECT_EQ(queues.WaitingStatements(), 0);
  clock.Advance(60 * 1000);  // 2 h
  EXPECT_TRUE(clean.Check(queues, true, 240));
  EXPECT_EQ(queues.WaitingSnapshot(),
            (std::vector<std::string>{
                "delete from pu_data  where DATEDIFF( CURDATE(), RecMoment ) > 240",
                "delete from control_log  where DATEDIFF( CURDATE(), RecMoment ) > 240",
                "delete from control_vector  where DATEDIFF( CURDATE(), RecMoment ) > 240"}));
  EXPECT_EQ(clean.LastCleanMoment(), clock.Now());
  clock.Advance(60 * 1000);
  EXPECT_FALSE(clean.Check(queues, true, 240));
  clock.Advance((60 + 58) * 60 * 1000);  // 1 h 59 min after the clean
  EXPECT_FALSE(clean.Check(queues, true, 240));
  clock.Advance(60 * 1000);
  EXPECT_TRUE(clean.Check(queues, true, 10));  // below 60 days counts as 60
  EXPECT_EQ(queues.WaitingSnapshot().back(),
            "delete from control_vector  where DATEDIFF( CURDATE(), RecMoment ) > 60");
}

TEST(AutoClean, OffMeansNever) {
  FakeClock clock(EncodeDateTime(2009, 10, 3, 8, 0, 0, 0));
  TEventFIFO events(400, clock);
  TSqlQueues queues(events);
  TAutoClean clean(clock);
  for (int h = 0; h < 10; ++h) {
    clock.Advance(3600 * 1000);
    EXPECT_FALSE(clean.Check(queues, false, 240));
  }
  EXPECT_EQ(queues.WaitingStatements(), 0);
}

class AutoCleanTable : public test::DbTest {};

TEST_F(AutoCleanTable, RowsOlderThanTheKeptDaysGo) {
  FakeClock clock(EncodeDateTime(2009, 10, 3, 8, 0, 0, 0));
  TEventFIFO events(400, clock);
  TSqlQueues queues(events);
  TAutoClean clean(clock);
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));
  // The server's own date is the 3rd of October 2009 for this session.
  ASSERT_TRUE(conn.Execute("set timestamp = unix_timestamp('2009-10-03 09:30:00')"));
  for (const char* table : {"pu_data", "control_log", "control_vector"}) {
    ASSERT_TRUE(db().Exec(std::string("insert into ") + table +
                          " (RecMoment) values ('2009-08-03 23:59:59'), ('2009-08-04 00:00:00'), "
                          "('2009-10-03 09:00:00')"));
  }
  clock.Advance(2 * 3600 * 1000);
  const int ran = queues.RunWriteQueue(conn, [&] { clean.Check(queues, true, 60); });
  EXPECT_EQ(ran, 0);  // the deletes wait behind the pass that queued them
  EXPECT_EQ(queues.RunWriteQueue(conn), 3);
  for (const char* table : {"pu_data", "control_log", "control_vector"}) {
    EXPECT_EQ(db().Scalar(std::string("select group_concat(RecMoment order by RecMoment) from ") + table),
              "2009-08-04 00:00:00,2009-10-03 09:00:00")
        << table;
  }
  std::string text;
  TDateTime moment;
  uint32_t ticks;
  EXPECT_FALSE(events.Pop(text, moment, ticks)) << text;
}

}  // namespace
}  // namespace liron
