// The current-state and per-minute records: the statements as queued, what they leave in the
// tables of the private server, the one-time row check of last_state and the counter seed.
#include "db/records.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "db/clock_check.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "support/comma_locale.h"
#include "support/event_texts.h"
#include "support/select_server.h"
#include "support/test_db.h"
#include "support/test_plan.h"

namespace liron {
namespace {

// The plant of the worked example: RAB, PLS, _PLSZ, G_1T1 at 15:50:16 on 3 October 2009.
class RecordsTest : public test::DbTest {
 protected:
  RecordsTest() : img(clock), events(64, clock), queues(events) {
    test::SetPlan(img, {{"CALC", "RAB", ""},
                        {"JUMO", "PLS", "READ"},
                        {"JUMO", "_PLSZ", "WRITE"},
                        {"V120", "G_1T1", "READ"}});
    img.CounterLast = 1250;
    img.CounterLastKnown = true;
    const double phys[] = {1, 1.45, 1.5, 0.3};
    const double avg[] = {1, 1.44, 1.5, 0.3};
    for (int i = 0; i < 4; ++i) {
      img.PhysValues.Set(i, phys[i]);
      img.AvgValues.Set(i, avg[i]);
    }
    img.RawValues.Set(3, 0.3);
    state.Minute.Key = MinuteKey(clock.Now());  // the run's first minute began with an empty row
  }

  // What the write queue holds; the statements are then executed on the server.
  std::vector<std::string> Take() {
    std::vector<std::string> out = queues.WaitingSnapshot();
    TMySQLConnection conn;
    EXPECT_TRUE(db().Open(conn));
    for (int run = 0; run < 20 && queues.WaitingStatements() > 0; ++run) queues.RunWriteQueue(conn);
    EXPECT_EQ(queues.WaitingStatements(), 0);
    return out;
  }

  FakeClock clock{EncodeDateTime(2009, 10, 3, 15, 50, 16)};
  TProcessImage img;
  TEventFIFO events;
  TSqlQueues queues;
  TRecordState state;
};

const char kStateInsert[] =
    "insert into last_state (RecMoment) SELECT Now() FROM DUAL WHERE NOT EXISTS (SELECT 1 FROM last_state)";
const char kStateUpdate[] =
    "UPDATE last_state SET RecMoment=Now(), I_1T1=1250, RAB=1, PLS=1.45, G_1T1=0.3";
// A minute's statement is its row as absolute values (written update-else-insert).
const char kMinuteFirst[] =
    "UPDATE pu_data SET I_1T1=1250, RAB=1, PLS=1.44, _PLSZ=1.5, G_1T1=0.3  "
    "where RecMoment='2009-10-03 15:50:00'";
const char kMinuteSecond[] =
    "UPDATE pu_data SET I_1T1=1250, RAB=1, PLS=1.44, _PLSZ=1.5, G_1T1=0.6  "
    "where RecMoment='2009-10-03 15:50:00'";

TEST_F(RecordsTest, WorkedExampleStatementsByteForByte) {
  state.StateRowChecked = true;  // the row check has its own test
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_EQ(queues.WaitingSnapshot(), std::vector<std::string>{kStateUpdate});

  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  EXPECT_EQ(queues.WaitingSnapshot().back(), kMinuteFirst);
  EXPECT_NEAR(img.RawValues.Get(3), 0.0, 1e-12);  // the booked 0.3 left the accumulator

  clock.Advance(40000);  // 15:50:56, another 0.3 came in
  img.RawValues.Set(3, 0.3);
  img.AvgValues.Set(2, 1.55);  // a new setpoint within the minute: its column keeps the first
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  EXPECT_EQ(queues.WaitingSnapshot().back(), kMinuteSecond);
  EXPECT_NEAR(img.RawValues.Get(3), 0.0, 1e-12);

  clock.SetNow(EncodeDateTime(2009, 10, 3, 15, 51, 0, 400));
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  EXPECT_EQ(queues.WaitingSnapshot().back(),
            "UPDATE pu_data SET I_1T1=1250, RAB=1, PLS=1.44, _PLSZ=1.55, G_1T1=0  "
            "where RecMoment='2009-10-03 15:51:00'");
  EXPECT_EQ(events.Count(), 0);
}

TEST_F(RecordsTest, CommaLocaleStillWritesPoints) {
  test::CommaLocale comma;
  ASSERT_TRUE(comma.Active()) << comma.Error();
  state.StateRowChecked = true;
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  img.RawValues.Set(3, 0.3);
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  const std::vector<std::string> expected = {kStateUpdate, kMinuteFirst, kMinuteSecond};
  EXPECT_EQ(queues.WaitingSnapshot(), expected);
}

TEST_F(RecordsTest, StatementsRunOnTheServerAndSumTheTotaliser) {
  ASSERT_TRUE(db().Exec("insert into last_state (RecMoment) VALUES( Now() )"));
  state.StateRowChecked = true;
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  img.RawValues.Add(3, 0.25);
  clock.Advance(1000);
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  img.RawValues.Add(3, 0.125);
  clock.Advance(1000);
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  const std::vector<std::string> statements = Take();
  EXPECT_TRUE(test::DrainTexts(events).empty());  // no statement was refused
  // Each written again, as after an answer lost on the way: the same rows.
  TMySQLConnection again;
  ASSERT_TRUE(db().Open(again));
  for (const std::string& s : statements) ASSERT_TRUE(again.Execute(s));

  EXPECT_EQ(db().Scalar("select count(*) from last_state"), "1");
  EXPECT_EQ(db().Scalar("select concat(I_1T1, ' ', RAB, ' ', PLS, ' ', G_1T1) from last_state"),
            "1250 1 1.45 0.3");
  EXPECT_EQ(db().Scalar("select count(*) from pu_data"), "1");
  EXPECT_EQ(db().Scalar("select concat(RecMoment, ' ', I_1T1, ' ', PLS, ' ', _PLSZ, ' ', G_1T1) "
                        "from pu_data"),
            "2009-10-03 15:50:00 1250 1.44 1.5 0.675");
  // 0.3 + 0.25 + 0.125 came in and was booked.
  EXPECT_NEAR(img.RawValues.Get(3), 0.0, 1e-12);
}

// The clock set back at 01:59 to 01:00 (the repeated hour of a DST change, an NTP step): no
// row of the first pass is overwritten, and the last key's row takes the cycles until the
// clock has caught up, its G_1T1 the sum of what came in; the journal hears of it once. A last
// key ahead of the server's clock is not held: new keys start from the local minute.
TEST_F(RecordsTest, MinuteKeysNeverGoBack) {
  std::vector<std::string> journal;
  state.Journal = [&journal](const std::string& t) { journal.push_back(t); };
  TClockCheck server_clock(clock, {});
  state.ClockCheck = &server_clock;
  server_clock.Compare(EncodeDateTime(2009, 10, 25, 1, 58, 0));
  auto cycle = [&](double raw) {
    img.RawValues.Set(3, raw);
    ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
    Take();
    clock.Advance(1000);
  };
  clock.SetNow(EncodeDateTime(2009, 10, 25, 1, 58, 59));
  cycle(0.5);  // 01:58
  cycle(0.25);  // 01:59
  img.AvgValues.Set(1, 2.5);
  clock.SetNow(EncodeDateTime(2009, 10, 25, 1, 0, 0));
  for (int i = 0; i < 3; ++i) cycle(0.125);  // held on 01:59
  const char kRows[] = "select group_concat(concat(RecMoment, ' ', PLS, ' ', G_1T1) order by "
                       "RecMoment separator ' | ') from pu_data";
  EXPECT_EQ(db().Scalar(kRows),
            "2009-10-25 01:58:00 1.44 0.5 | 2009-10-25 01:59:00 2.5 0.625");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0], "Часы станции отошли назад (2009-10-25 01:00): минутные записи "
                        "продолжаются в строке 2009-10-25 01:59:00.");

  // The server's clock says 01:59 lies ahead of it (the clock ran ahead and was set right).
  server_clock.Compare(EncodeDateTime(2009, 10, 25, 1, 0, 0));
  cycle(0.125);
  EXPECT_EQ(db().Scalar("select G_1T1 from pu_data where RecMoment='2009-10-25 01:00:00'"),
            "0.125");
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[1], "Минутная строка 2009-10-25 01:59:00 датирована позже часов MySQL "
                        "сервера: минутные записи продолжаются с 2009-10-25 01:00:00.");
  EXPECT_NEAR(img.RawValues.Get(3), 0.0, 1e-12);
}

TEST_F(RecordsTest, EmptyStateTableGetsItsRowOncePerRun) {
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));
  test::SelectServer server(queues, conn);
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_TRUE(state.StateRowChecked);
  const std::vector<std::string> first = {kStateInsert,
                                          kStateUpdate};
  EXPECT_EQ(Take(), first);
  EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>{200});
  EXPECT_EQ(server.Served(), 1);

  // Later cycles only update; an update that found the row deleted has it checked again.
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_EQ(Take(), std::vector<std::string>{kStateUpdate});
  EXPECT_EQ(server.Served(), 1);
  ASSERT_TRUE(db().Exec("delete from last_state"));
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  Take();
  EXPECT_FALSE(state.StateRowChecked);
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_EQ(Take(), first);
  EXPECT_EQ(server.Served(), 2);
  EXPECT_EQ(db().Scalar("select PLS from last_state"), "1.45");
}

TEST_F(RecordsTest, FilledStateTableIsOnlyUpdated) {
  ASSERT_TRUE(db().Exec("insert into last_state (RecMoment) VALUES( Now() )"));
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));
  test::SelectServer server(queues, conn);
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_EQ(Take(), std::vector<std::string>{kStateUpdate});
  EXPECT_TRUE(clock.Sleeps().empty());
  EXPECT_EQ(server.Served(), 1);
  EXPECT_EQ(db().Scalar("select count(*) from last_state"), "1");
}

TEST_F(RecordsTest, FailedRowCheckInsertsNothingAndIsRepeated) {
  // Nobody serves the select queue: the count times out after 5.5 s.
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_FALSE(state.StateRowChecked);
  EXPECT_EQ(Take(), std::vector<std::string>{kStateUpdate});
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));
  test::SelectServer server(queues, conn);
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  EXPECT_EQ(server.Served(), 1);
  EXPECT_EQ(queues.WaitingSnapshot().front(), kStateInsert);
}

TEST_F(RecordsTest, PlanWithoutRecordedRowsStillGivesValidStatements) {
  test::SetPlan(img, {{"JUMO", "_PLSZ", "WRITE"}});
  state.StateRowChecked = true;
  ASSERT_TRUE(UpdateStateRecord(img, state, queues, events));
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  const std::vector<std::string> expected = {
      "UPDATE last_state SET RecMoment=Now(), I_1T1=1250",
      "UPDATE pu_data SET I_1T1=1250, _PLSZ=1  where RecMoment='2009-10-03 15:50:00'",
      "UPDATE pu_data SET I_1T1=1250, _PLSZ=1  where RecMoment='2009-10-03 15:50:00'"};
  EXPECT_EQ(queues.WaitingSnapshot(), expected);
  ASSERT_TRUE(db().Exec("insert into last_state (RecMoment) VALUES( Now() )"));
  Take();
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

TEST_F(RecordsTest, CounterDecreaseLosesNoConcurrentIncrement) {
  // The V-120 pass adds raw increments while the record writer books what waits.
  state.StateRowChecked = true;
  img.RawValues.Set(3, 0);
  constexpr int kIncrements = 200000;
  constexpr int kRecords = 1000;
  std::thread poller([&] {
    for (int i = 0; i < kIncrements; ++i) img.RawValues.Add(3, 1.0);
  });
  for (int i = 0; i < kRecords; ++i) {
    ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
    if (queues.WaitingStatements() >= 50) Take();
  }
  poller.join();
  Take();
  EXPECT_EQ(std::stod(db().Scalar("select G_1T1 from pu_data")) + img.RawValues.Get(3),
            kIncrements);
}

TEST_F(RecordsTest, RecordRefusedByAFullQueueBooksNothing) {
  for (int i = 0; i <= kSqlQueueLimit; ++i) ASSERT_TRUE(queues.QueueSQL("do 0"));
  ASSERT_FALSE(queues.QueueSQL("do 0"));  // full
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  EXPECT_EQ(img.RawValues.Get(3), 0.3);   // the increment stays pending
  Take();

  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  EXPECT_EQ(queues.WaitingSnapshot(), std::vector<std::string>{kMinuteFirst});
  EXPECT_DOUBLE_EQ(img.RawValues.Get(3), 0);

  img.RawValues.Set(3, 0.2);
  for (int i = 0; i < kSqlQueueLimit; ++i) ASSERT_TRUE(queues.QueueSQL("do 0"));
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));  // the update is refused
  EXPECT_DOUBLE_EQ(img.RawValues.Get(3), 0.2);
  Take();
  EXPECT_EQ(db().Scalar("select G_1T1 from pu_data"), "0.3");
}

TEST_F(RecordsTest, ARestartWithinTheMinuteAddsToItsRowWithOrWithoutAUniqueKey) {
  struct KeyBack {
    ~KeyBack() { db().RecreateSchema(); }
  } key_back;
  state.StateRowChecked = true;
  for (const bool unique : {true, false}) {
    SCOPED_TRACE(unique ? "unique key" : "an older database: plain key, duplicate old rows");
    ASSERT_TRUE(db().Exec("truncate table pu_data"));
    if (!unique) {
      ASSERT_TRUE(db().Exec("alter table pu_data drop index pu_data_moment, "
                            "add key pu_data_moment (RecMoment)") &&
                  db().Exec("insert into pu_data (RecMoment, G_1T1) values "
                            "('2009-10-03 15:40:00', 1), ('2009-10-03 15:40:00', 1)"));
    }
    // The program's previous run wrote the minute's row and ended.
    ASSERT_TRUE(db().Exec("insert into pu_data (RecMoment, G_1T1) values ('2009-10-03 15:50:00', 2)"));
    TRecordState fresh;  // without a spool: the run's first minute asks the server
    TMySQLConnection answers;
    ASSERT_TRUE(db().Open(answers));
    test::SelectServer server(queues, answers);
    img.RawValues.Set(3, 0.5);
    for (int cycle = 0; cycle < 3; ++cycle) {
      ASSERT_TRUE(Update_PAF_record(img, fresh, queues, events));
      Take();
      clock.Advance(1000);
    }
    EXPECT_TRUE(test::DrainTexts(events).empty());
    EXPECT_EQ(db().Scalar("select count(*) from pu_data where RecMoment='2009-10-03 15:50:00'"), "1");
    // Every increment counted once: in the row or still pending, none twice.
    EXPECT_NEAR(std::stod(db().Scalar("select G_1T1 from pu_data where RecMoment='2009-10-03 15:50:00'")) +
                    img.RawValues.Get(3),
                2.5, 1e-9);
    clock.SetNow(EncodeDateTime(2009, 10, 3, 15, 50, 16));
  }
}

TEST_F(RecordsTest, ARefusedStatementOrARowThatWentIsMadeGoodByTheNext) {
  state.StateRowChecked = true;
  img.Signals[0].SignalName = "NO_SUCH_COLUMN";  // the minute's row is refused
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  Take();
  EXPECT_EQ(test::DrainTexts(events).size(), 1u);  // "*** SQL error: ..."
  img.Signals[0].SignalName = "RAB";
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));  // carries the 0.3 again
  Take();
  ASSERT_TRUE(db().Exec("delete from pu_data"));  // the row goes
  img.RawValues.Add(3, 0.3);
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  Take();
  EXPECT_EQ(db().Scalar("select concat(count(*), ' ', sum(G_1T1)) from pu_data"), "1 0.6");
  EXPECT_NEAR(img.RawValues.Get(3), 0, 1e-12);
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

class SeedCounterTest : public RecordsTest {};

TEST_F(SeedCounterTest, EmptyTableKeepsTheLastReading) {
  TMySQLConnection user;
  ASSERT_TRUE(db().Open(user));
  img.CounterLast = 777;
  img.CounterLastKnown = true;
  std::string error;
  ASSERT_TRUE(SeedCounter(img, user, &error)) << error;
  EXPECT_EQ(img.CounterLast, 777);
  EXPECT_FALSE(img.CounterLastKnown);
}

TEST_F(SeedCounterTest, NewestRowNotAheadOfTheServerGivesTheReading) {
  // A row dated ahead of the server's clock (a station clock that jumped and was set right)
  // is not the last reading; it is told of.
  ASSERT_TRUE(db().Exec("insert into pu_data (RecMoment, I_1T1) values "
                        "('2009-10-03 15:49:00', 1000), ('2009-10-03 15:50:00', 1250), "
                        "('2009-10-03 15:48:00', 900), ('2999-01-01 00:00:00', 7)"));
  TMySQLConnection user;
  ASSERT_TRUE(db().Open(user));
  std::string error, ahead;
  img.CounterRefused = 3;
  ASSERT_TRUE(SeedCounter(img, user, &error, nullptr, &ahead)) << error;
  EXPECT_EQ(img.CounterLast, 1250);
  EXPECT_TRUE(img.CounterLastKnown);
  EXPECT_FALSE(img.CounterRefused.has_value());
  EXPECT_EQ(ahead, "2999-01-01 00:00:00");

  ASSERT_TRUE(db().Exec("insert into pu_data (RecMoment, I_1T1) values ('2009-10-03 15:51:00', NULL)"));
  img.CounterLast = 5;
  ASSERT_TRUE(SeedCounter(img, user, &error)) << error;
  EXPECT_EQ(img.CounterLast, 5);
  EXPECT_FALSE(img.CounterLastKnown);
}

TEST_F(SeedCounterTest, UnreachableServerIsAnError) {
  TMySQLConnection user;  // never opened
  std::string error;
  EXPECT_FALSE(SeedCounter(img, user, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace liron
