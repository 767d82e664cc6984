// The server goes away and comes back: the connection must say so, and nothing queued
// meanwhile may be lost.
#include <gtest/gtest.h>

#include "db/sql_queues.h"
#include "platform/fake_clock.h"
#include "support/test_db.h"

namespace liron {
namespace {

class Reconnect : public test::DbTest {
 protected:
  void TearDown() override {
    if (!server_up_) db().StartServer();
  }
  std::string Insert(const std::string& name) {
    return "insert into setup (ConstName, ConstVal, Comment) values ('" + name + "', 1, '')";
  }
  bool server_up_ = true;
};

TEST_F(Reconnect, ServerStoppedAndStartedAgain) {
  FakeClock clock;
  TEventFIFO events(400, clock);
  TSqlQueues queues(events);
  TMySQLConnection work, stale;
  ASSERT_TRUE(db().Open(work));
  ASSERT_TRUE(db().Open(stale));
  queues.QueueSQL(Insert("before"));
  ASSERT_EQ(queues.RunWriteQueue(work), 1);

  ASSERT_TRUE(db().StopServer());
  server_up_ = false;
  EXPECT_FALSE(work.Connected());
  EXPECT_FALSE(work.IsOpen());

  queues.QueueSQL(Insert("during1"));
  queues.QueueSQL(Insert("during2"));
  EXPECT_EQ(queues.RunWriteQueue(work), 0);  // closed: the timer does nothing
  // A handle that has not noticed yet: the statement finds the link gone and stays queued.
  EXPECT_TRUE(stale.IsOpen());
  EXPECT_EQ(queues.RunWriteQueue(stale), 0);
  EXPECT_FALSE(stale.IsOpen());
  EXPECT_EQ(queues.WaitingStatements(), 2);
  std::string text;
  TDateTime moment;
  uint32_t ticks;
  EXPECT_FALSE(events.Pop(text, moment, ticks)) << text;  // a lost link is no SQL error

  std::string err;
  EXPECT_FALSE(work.Open(&err));
  EXPECT_FALSE(err.empty());

  ASSERT_TRUE(db().StartServer());
  server_up_ = true;
  ASSERT_TRUE(work.Open(&err)) << err;
  EXPECT_TRUE(work.Connected());
  EXPECT_EQ(queues.RunWriteQueue(work), 2);
  EXPECT_EQ(db().Scalar("select group_concat(ConstName order by ConstName) from setup"),
            "before,during1,during2");
}

}  // namespace
}  // namespace liron
