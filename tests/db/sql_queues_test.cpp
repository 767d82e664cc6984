#include "db/sql_queues.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "db/sql_text.h"
#include "platform/fake_clock.h"
#include "support/event_texts.h"
#include "support/test_db.h"

namespace liron {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class SqlQueuesTest : public test::DbTest {
 protected:
  void SetUp() override {
    test::DbTest::SetUp();
    ASSERT_TRUE(db().Open(conn_));
  }
  std::string Insert(int i) {
    return "insert into setup (ConstName, ConstVal, Comment) values ('C" + std::to_string(i) +
           "', " + std::to_string(i) + ", '')";
  }
  FakeClock clock_;
  TEventFIFO events_{400, clock_};
  TSqlQueues queues_{events_};
  TMySQLConnection conn_;
};

TEST_F(SqlQueuesTest, TwelveStatementsPerRunInQueueOrder) {
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(queues_.QueueSQL(Insert(i)));
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 12);
  EXPECT_EQ(db().Count("setup"), 12);
  EXPECT_EQ(queues_.WaitingStatements(), 3);
  EXPECT_EQ(queues_.WaitingSnapshot().front(), Insert(12));
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 3);
  EXPECT_EQ(db().Count("setup"), 15);
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 0);
  EXPECT_EQ(db().Scalar("select group_concat(ConstVal order by ConstVal) from setup"),
            "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14");
  EXPECT_TRUE(test::DrainTexts(events_).empty());
}

TEST_F(SqlQueuesTest, RejectedStatementIsReportedOnceAndTheRestRun) {
  const std::string bad = "insert into setup (NoSuchColumn) values ('it''s \\\\ \"bad\"')";
  queues_.QueueSQL(Insert(1));
  queues_.QueueSQL(bad);
  queues_.QueueSQL(Insert(2));
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 3);
  EXPECT_EQ(db().Count("setup"), 2);
  EXPECT_EQ(queues_.WaitingStatements(), 0);
  EXPECT_EQ(test::DrainTexts(events_), std::vector<std::string>{"*** SQL error: " + SqlText(bad)});
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 0);
  EXPECT_TRUE(test::DrainTexts(events_).empty());
}

TEST_F(SqlQueuesTest, FullQueueRefusesUntilOneRan) {
  for (int i = 0; i <= kSqlQueueLimit; ++i) ASSERT_TRUE(queues_.QueueSQL(Insert(i))) << i;
  EXPECT_EQ(queues_.WaitingStatements(), 101);
  EXPECT_FALSE(queues_.QueueSQL(Insert(999)));
  EXPECT_EQ(queues_.WaitingStatements(), 101);
  EXPECT_TRUE(test::DrainTexts(events_).empty());  // dropped without a message

  // Statements executed: room again.
  EXPECT_EQ(queues_.RunWriteQueue(conn_), 12);
  EXPECT_TRUE(queues_.QueueSQL(Insert(1000)));
  EXPECT_EQ(queues_.WaitingStatements(), 90);
}

TEST_F(SqlQueuesTest, NothingRunsOnAClosedConnectionAndNothingIsLost) {
  TMySQLConnection closed;
  db().Configure(closed);
  queues_.QueueSQL(Insert(1));
  int after_pass = 0;
  EXPECT_EQ(queues_.RunWriteQueue(closed, [&] { ++after_pass; }), 0);
  EXPECT_EQ(after_pass, 0);
  EXPECT_EQ(queues_.WaitingStatements(), 1);
  ASSERT_TRUE(closed.Open());
  EXPECT_EQ(queues_.RunWriteQueue(closed, [&] { ++after_pass; }), 1);
  EXPECT_EQ(after_pass, 1);
  EXPECT_EQ(db().Count("setup"), 1);
}

TEST_F(SqlQueuesTest, ProducersOnOtherThreadsLoseNothing) {
  constexpr int kPerThread = 40;
  std::vector<std::thread> producers;
  std::atomic<int> accepted{0};
  for (int t = 0; t < 3; ++t)
    producers.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        while (!queues_.QueueSQL(Insert(t * 1000 + i))) std::this_thread::yield();
        ++accepted;
      }
    });
  while (accepted < 3 * kPerThread || queues_.WaitingStatements() > 0) queues_.RunWriteQueue(conn_);
  for (auto& p : producers) p.join();
  EXPECT_EQ(db().Count("setup"), 3 * kPerThread);
}

TEST_F(SqlQueuesTest, SelectValueAnswers) {
  ASSERT_TRUE(db().Exec("insert into setup values ('MIN_PLS', 1.2, ''), ('X', NULL, '')"));
  std::atomic<bool> done{false};
  std::thread gui([&] {
    while (!done) {
      queues_.RunSelectQueue(conn_);
      std::this_thread::sleep_for(milliseconds(5));
    }
    MySqlThreadEnd();
  });
  TSqlValue v;
  ASSERT_TRUE(queues_.SelectValue("select count(*) Rez from setup", &v));
  int64_t n = 0;
  ASSERT_TRUE(v.AsInt(&n));
  EXPECT_EQ(n, 2);
  ASSERT_TRUE(queues_.SelectValue("select ConstVal as Rez from setup where ConstName='MIN_PLS'", &v));
  double d = 0;
  ASSERT_TRUE(v.AsDouble(&d));
  EXPECT_EQ(d, 1.2);
  // A NULL answer and no row at all are both answers: NULL.
  ASSERT_TRUE(queues_.SelectValue("select ConstVal as Rez from setup where ConstName='X'", &v));
  EXPECT_TRUE(v.Null);
  v = TSqlValue::Of("old");
  ASSERT_TRUE(queues_.SelectValue("select ConstVal as Rez from setup where ConstName='none'", &v));
  EXPECT_TRUE(v.Null);
  done = true;
  gui.join();
}

TEST_F(SqlQueuesTest, FailingSelectsAreNotAnsweredAndNotReported) {
  std::atomic<bool> done{false};
  std::thread gui([&] {
    while (!done) {
      queues_.RunSelectQueue(conn_);
      std::this_thread::sleep_for(milliseconds(5));
    }
    MySqlThreadEnd();
  });
  TSqlValue bad_query = TSqlValue::Of("keep"), no_rez = TSqlValue::Of("keep");
  bool bad_ok = true, no_rez_ok = true;
  const auto start = steady_clock::now();
  std::thread a([&] { bad_ok = queues_.SelectValue("select Rez from no_such_table", &bad_query); });
  std::thread b([&] { no_rez_ok = queues_.SelectValue("select 1 as Other", &no_rez); });
  a.join();
  b.join();
  const auto waited = steady_clock::now() - start;
  done = true;
  gui.join();
  EXPECT_FALSE(bad_ok);
  EXPECT_FALSE(no_rez_ok);
  EXPECT_EQ(bad_query.Text, "keep");
  EXPECT_EQ(no_rez.Text, "keep");
  EXPECT_GE(waited, milliseconds(kSelectTimeoutMs));
  EXPECT_LT(waited, milliseconds(kSelectTimeoutMs + 3000));
  EXPECT_TRUE(test::DrainTexts(events_).empty());
  EXPECT_EQ(queues_.WaitingSelects(), 0);
}

TEST_F(SqlQueuesTest, UnservedSelectTimesOutAndIsReleasedWithoutCounting) {
  TSqlValue v = TSqlValue::Of("keep");
  const auto start = steady_clock::now();
  EXPECT_FALSE(queues_.SelectValue("select 1 as Rez", &v));
  EXPECT_GE(steady_clock::now() - start, milliseconds(kSelectTimeoutMs));
  EXPECT_EQ(v.Text, "keep");
  EXPECT_EQ(queues_.WaitingSelects(), 1);
  EXPECT_EQ(queues_.RunSelectQueue(conn_), 0);  // abandoned: released, not run, not counted
  EXPECT_EQ(queues_.WaitingSelects(), 0);
  EXPECT_EQ(v.Text, "keep");
}

// While the server is away the control thread's selects fail at once: none waits out its
// time-out, and none piles up.
TEST_F(SqlQueuesTest, SelectsFailAtOnceWhileTheConnectionIsClosed) {
  TMySQLConnection closed;
  TSqlValue v = TSqlValue::Of("keep");
  bool ok = true;
  const auto start = steady_clock::now();
  std::thread control([&] { ok = queues_.SelectValue("select 1 as Rez", &v); });
  while (queues_.WaitingSelects() == 0) std::this_thread::sleep_for(milliseconds(1));
  EXPECT_EQ(queues_.RunSelectQueue(closed), 0);
  EXPECT_EQ(queues_.WaitingSelects(), 0);
  control.join();
  EXPECT_LT(steady_clock::now() - start, milliseconds(kSelectTimeoutMs));
  EXPECT_FALSE(ok);
  EXPECT_EQ(v.Text, "keep");
  // Told which connection answers them, the queues do not even take a select while it is closed.
  queues_.AnswerSelectsOn(&closed);
  EXPECT_FALSE(queues_.SelectValue("select 1 as Rez", &v));
  EXPECT_EQ(queues_.WaitingSelects(), 0);
  queues_.AnswerSelectsOn(nullptr);
}

TEST_F(SqlQueuesTest, AnswerAfterTheRequesterGaveUpChangesNothing) {
  TSqlValue v = TSqlValue::Of("keep");
  bool ok = true;
  std::thread control([&] { ok = queues_.SelectValue("select sleep(6.5) + 41 as Rez", &v); });
  while (queues_.WaitingSelects() == 0) std::this_thread::sleep_for(milliseconds(1));
  // The server side takes the request and is busy with it when the requester gives up.
  EXPECT_EQ(queues_.RunSelectQueue(conn_), 1);
  control.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(v.Text, "keep");
  EXPECT_FALSE(v.Null);
  // The queue goes on serving.
  std::thread next([&] { ok = queues_.SelectValue("select 7 as Rez", &v); });
  while (queues_.WaitingSelects() == 0) std::this_thread::sleep_for(milliseconds(1));
  EXPECT_EQ(queues_.RunSelectQueue(conn_), 1);
  next.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(v.Text, "7");
}

}  // namespace
}  // namespace liron
