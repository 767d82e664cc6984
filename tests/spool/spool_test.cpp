// The local spool: records kept in order on disk while the server cannot take them, forwarded
// to the private server, refused ones set aside, bounded, and whole after a torn write.
#include "spool/forward.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/journal.h"
#include "db/records.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "spool/spool.h"
#include "spool/spool_format.h"
#include "spool/sqlite_db.h"
#include "spool/write_pass.h"
#include "support/event_texts.h"
#include "support/no_backslash_escapes.h"
#include "support/temp_dir.h"
#include "support/test_db.h"
#include "support/test_plan.h"

namespace liron {
namespace {

namespace fs = std::filesystem;

std::string Journal(const std::string& moment, int npp, const std::string& text) {
  return "insert into control_log (RecMoment, NPP, MessageText, MessageKind) VALUES('" + moment +
         "', " + std::to_string(npp) + ", '" + text + "', NULL)";
}

TMinuteRow Minute(const std::string& key, double pls, double amount) {
  return {key, 1250, {{"PLS", pls}, {"TNK1", 60}}, "G_1T1", amount};
}

std::vector<std::string> Texts(TSpoolOutbox& outbox) {
  std::vector<std::string> out;
  for (const TSpoolItem& item : outbox.Peek(100))
    out.push_back(item.Kind == TSpoolKind::kMinute ? "minute " + item.Minute.Key : item.Text);
  return out;
}

class Spool : public test::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    ASSERT_TRUE(spool.Open(path, nullptr));
    ASSERT_TRUE(db().Open(conn));
  }
  // Forwards until nothing more goes.
  void ForwardAll() {
    for (int i = 0; i < 100 && outbox.Depth().Records > 0; ++i)
      if (ForwardSpool(outbox, conn, events).Held) break;
  }

  test::TempDir dir;
  const std::string path = dir.File(kSpoolFileName);
  FakeClock clock{EncodeDateTime(2024, 3, 5, 10, 15, 20)};
  TEventFIFO events{400, clock};
  TSpool spool{events};
  TSpoolOutbox& outbox = spool.Outbox();
  TMySQLConnection conn;
};

TEST_F(Spool, KeepsOrderAndOnlyTheNewestLastState) {
  const TDateTime t = clock.Now();
  ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:20", 1, "first")));
  ASSERT_TRUE(outbox.AppendLastState(t, "UPDATE last_state SET RecMoment='2024-03-05 10:15:20', PLS=1"));
  ASSERT_TRUE(outbox.AppendMinute(t, Minute("2024-03-05 10:15:00", 1.4, 0.5)));
  ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:21", 1, "second")));
  ASSERT_TRUE(outbox.AppendMinute(t, Minute("2024-03-05 10:15:00", 1.5, 0.7)));  // same minute
  ASSERT_TRUE(outbox.AppendLastState(t, "UPDATE last_state SET RecMoment='2024-03-05 10:15:22', PLS=2"));
  EXPECT_EQ(Texts(outbox), (std::vector<std::string>{
                              Journal("2024-03-05 10:15:20", 1, "first"), "minute 2024-03-05 10:15:00",
                              Journal("2024-03-05 10:15:21", 1, "second"),
                              "UPDATE last_state SET RecMoment='2024-03-05 10:15:22', PLS=2"}));
  EXPECT_EQ(outbox.Depth().Records, 4);
  EXPECT_DOUBLE_EQ(outbox.Depth().Oldest, t);

  db().Exec("insert into last_state (RecMoment) values (Now())");
  ForwardAll();
  EXPECT_EQ(outbox.Depth().Records, 0);
  EXPECT_EQ(outbox.Depth().Oldest, 0);
  EXPECT_EQ(db().Scalar("select group_concat(MessageText order by RecMoment) from control_log"),
            "first,second");
  EXPECT_EQ(db().Scalar("select concat(PLS, ' ', G_1T1) from pu_data"), "1.5 0.7");
  EXPECT_EQ(db().Scalar("select PLS from last_state"), "2");
}

TEST_F(Spool, RefusedStatementSetAsideTransientErrorKept) {
  const TDateTime t = clock.Now();
  const std::string bad = "insert into control_log (NoSuchColumn) values (1)";
  ASSERT_TRUE(outbox.AppendStatement(t, bad));
  ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:20", 1, "after")));
  // A table locked by another client: the lock wait times out (1205) and the record waits.
  ASSERT_TRUE(conn.Execute("SET SESSION lock_wait_timeout=1"));
  ASSERT_TRUE(db().Exec("LOCK TABLES control_log WRITE"));
  TForwardResult r = ForwardSpool(outbox, conn, events);
  db().Exec("UNLOCK TABLES");
  EXPECT_TRUE(r.Held);
  EXPECT_EQ(r.Sent + r.SetAside, 0);
  EXPECT_EQ(outbox.Depth().Records, 2);

  r = ForwardSpool(outbox, conn, events);
  EXPECT_EQ(r.SetAside, 1);
  EXPECT_EQ(r.Sent, 1);
  EXPECT_EQ(outbox.Depth().Records, 0);
  EXPECT_TRUE(test::Contains(test::DrainTexts(events), "*** SQL error: '" + bad + "'"));
  ASSERT_EQ(outbox.SetAsideList().size(), 1u);
  EXPECT_EQ(outbox.SetAsideList()[0].Statement, bad);
  EXPECT_EQ(db().Count("control_log"), 1);
}

TEST_F(Spool, RefusedMinuteHandsItsCounterAmountOn) {
  const TDateTime t = clock.Now();
  TMinuteRow refused = Minute("2024-03-05 10:15:00", 1.4, 2);
  refused.Values.emplace_back("NoSuchColumn", 1);  // a plan column missing from pu_data
  ASSERT_TRUE(outbox.AppendMinute(t, refused));
  ASSERT_TRUE(outbox.AppendMinute(t, Minute("2024-03-05 10:16:00", 1.5, 3)));
  ForwardAll();
  EXPECT_EQ(outbox.Depth().Records, 0);
  EXPECT_EQ(db().Scalar("select concat(RecMoment, ' ', G_1T1) from pu_data"),
            "2024-03-05 10:16:00 5");
  EXPECT_EQ(outbox.SetAsideList().size(), 1u);
}

TEST_F(Spool, ReplayedBatchWritesTheSameRowAgain) {
  // 0.4 of the minute went to the server before the outage; the spool holds the whole 1.5.
  db().Exec("insert into pu_data (RecMoment, I_1T1, PLS, G_1T1) values ('2024-03-05 10:15:00', 1200, 1.3, 0.4)");
  ASSERT_TRUE(outbox.AppendMinute(clock.Now(), Minute("2024-03-05 10:15:00", 1.5, 1.5)));
  spool.Close();
  // What a crash after the server's answer and before the removal leaves: the same file again.
  fs::copy_file(path, dir.File("copy.db"));
  ASSERT_TRUE(spool.Open(path, nullptr));
  ForwardAll();
  TSpool replay(events);
  ASSERT_TRUE(replay.Open(dir.File("copy.db"), nullptr));
  TSpoolOutbox& replayed = replay.Outbox();
  ASSERT_EQ(replayed.Depth().Records, 1);
  EXPECT_EQ(ForwardSpool(replayed, conn, events).Sent, 1);
  EXPECT_EQ(db().Scalar("select concat(count(*), ' ', sum(G_1T1), ' ', sum(PLS)) from pu_data"),
            "1 1.5 1.5");

  // A later cycle of the minute while its row was on its way: the newer row stays to be sent.
  ASSERT_TRUE(replayed.AppendMinute(clock.Now(), Minute("2024-03-05 10:15:00", 1.6, 1.7)));
  const std::vector<TSpoolItem> sent = replayed.Peek(1);
  ASSERT_TRUE(replayed.AppendMinute(clock.Now(), Minute("2024-03-05 10:15:00", 1.6, 1.8)));
  ASSERT_TRUE(replayed.Remove(sent));
  EXPECT_EQ(replayed.Depth().Records, 1);
}

// The file refuses the removal of a batch the server took (another writer holds it): nothing
// goes to the server again, and forwarding waits until the removal went through.
TEST_F(Spool, ARemovalTheFileRefusedSendsNothingTwice) {
  ASSERT_TRUE(outbox.AppendStatement(clock.Now(), Journal("2024-03-05 10:15:20", 1, "once")));
  TSqliteDb other;
  ASSERT_TRUE(other.Open(path, nullptr));
  ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE", nullptr));
  EXPECT_TRUE(ForwardSpool(outbox, conn, events).Held);
  EXPECT_TRUE(ForwardSpool(outbox, conn, events).Held);
  ASSERT_TRUE(other.Exec("COMMIT", nullptr));
  const TForwardResult r = ForwardSpool(outbox, conn, events);
  EXPECT_FALSE(r.Held);
  EXPECT_EQ(r.Sent, 0);
  EXPECT_EQ(outbox.Depth().Records, 0);
  EXPECT_EQ(db().Count("control_log"), 1);
  const auto texts = test::DrainTexts(events);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("*** Буфер записей: записи, принятые сервером, не удалось снять", 0), 0u);
  EXPECT_EQ(texts[1], "*** Буфер записей: принятые сервером записи сняты, передача продолжена ***");
}

// The write timer's passes through an outage: the cycles' records wait in the spool and go to
// the server before anything newer once it is back; the minute the outage interrupted keeps
// its whole amount, counted once, and goes on with the usual updates.
TEST_F(Spool, OutageRecordsGoFirstAndTheInterruptedMinuteIsNotDoubled) {
  TSqlQueues queues(events);
  queues.AttachSpool(&spool);
  TProcessImage img(clock);
  test::SetPlan(img, {{"JUMO", "PLS", "READ"}, {"V120", "G_1T1", "READ"}});
  TRecordState state;
  state.Spool = &spool;
  auto cycle = [&](double increment) {
    img.AvgValues.Set(0, 1.5);
    img.AvgValues.Set(1, increment);
    img.RawValues.Set(1, increment);
    ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  };
  auto pass = [&] { PassWrites(queues, spool, conn, events, clock.Now()); };
  auto drain = [&] {
    for (int i = 0; i < 50 && (queues.WaitingStatements() > 0 || !outbox.Empty()); ++i) pass();
  };
  auto amount = [&](const char* minute) {
    return db().Scalar(std::string("select G_1T1 from pu_data where RecMoment='") + minute + "'");
  };

  cycle(1);  // 10:15:20: the minute's row, written at once
  drain();
  ASSERT_EQ(amount("2024-03-05 10:15:00"), "1");
  conn.Close();  // the server is away
  cycle(2);
  queues.QueueSQL("insert into setup (ConstName, ConstVal, Comment) VALUES ('ORDER', 1, '')");
  pass();
  clock.Advance(60000);
  cycle(4);  // 10:16:20
  pass();
  EXPECT_EQ(queues.WaitingStatements(), 0);
  EXPECT_EQ(Texts(outbox), (std::vector<std::string>{
                              "minute 2024-03-05 10:15:00",
                              "insert into setup (ConstName, ConstVal, Comment) VALUES ('ORDER', 1, '')",
                              "minute 2024-03-05 10:16:00"}));

  ASSERT_TRUE(db().Open(conn));  // back; newer records must not overtake the spool
  queues.QueueSQL("update setup set ConstVal=2 where ConstName='ORDER'");
  cycle(8);
  drain();
  EXPECT_EQ(db().Scalar("select ConstVal from setup where ConstName='ORDER'"), "2");
  EXPECT_EQ(amount("2024-03-05 10:15:00"), "3");
  EXPECT_EQ(amount("2024-03-05 10:16:00"), "12");
  cycle(16);  // the spool is empty: the minute goes on as usual
  EXPECT_EQ(queues.WaitingSnapshot().front().find("UPDATE pu_data"), 0u);
  drain();
  EXPECT_EQ(amount("2024-03-05 10:16:00"), "28");
  EXPECT_EQ(db().Count("pu_data"), 2);
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

// A minute row made before the totaliser's first reading seeds no counter at the next start.
TEST_F(Spool, ARowMadeBeforeTheFirstReadingSeedsNoCounter) {
  TSqlQueues queues(events);
  queues.AttachSpool(&spool);
  TProcessImage img(clock);
  test::SetPlan(img, {{"V120", "G_1T1", "READ"}});
  TRecordState state;
  state.Spool = &spool;
  ASSERT_FALSE(img.CounterLastKnown);
  ASSERT_TRUE(Update_PAF_record(img, state, queues, events));
  conn.Close();
  PassWrites(queues, spool, conn, events, clock.Now());
  ASSERT_EQ(outbox.Depth().Records, 1);
  EXPECT_FALSE(SeedCounterFromSpool(img, spool.Seeds()));
  EXPECT_FALSE(img.CounterLastKnown);
}

// The write queue on a server that says "not now" (or may have taken it without answering)
// keeps the statement, and those after it, in order in the spool; only a content error drops.
TEST_F(Spool, TransientErrorsOfTheLiveQueueMoveItIntoTheSpool) {
  for (const unsigned code : {1021u, 1053u, 1114u, 1205u, 1213u, 1290u, 1317u, 1927u, 4031u}) {
    SCOPED_TRACE(code);
    TSqlQueues queues(events);
    queues.AttachSpool(&spool);
    const std::string refused =
        "SIGNAL SQLSTATE 'HY000' SET MYSQL_ERRNO=" + std::to_string(code) + ", MESSAGE_TEXT='probe'";
    ASSERT_TRUE(queues.QueueSQL(refused));
    ASSERT_TRUE(queues.QueueSQL(Journal("2024-03-05 10:15:20", 1, "after")));
    for (int i = 0; i < 3; ++i) PassWrites(queues, spool, conn, events, clock.Now());
    EXPECT_EQ(queues.WaitingStatements(), 0);
    EXPECT_EQ(Texts(outbox), (std::vector<std::string>{refused, Journal("2024-03-05 10:15:20", 1, "after")}));
    EXPECT_EQ(db().Count("control_log"), 0);
    EXPECT_TRUE(test::DrainTexts(events).empty());
    ASSERT_TRUE(outbox.Remove(outbox.Peek(2)));
  }
}

// A journal record spooled in an outage keeps its finished text: forwarded to a server that
// runs with NO_BACKSLASH_ESCAPES, an originator built to break out of the insert arrives letter
// for letter and adds no record of its own.
TEST_F(Spool, JournalRecordArrivesVerbatimUnderNoBackslashEscapes) {
  TSqlQueues queues(events);
  queues.AttachSpool(&spool);
  TJournal journal(queues, events, clock);
  const std::string who = "x\\'), (now(), 1, 0x696E6A6563746564, NULL)#";
  conn.Close();  // the server is away
  ASSERT_TRUE(journal.WriteJournal("Новое задание: Плотность=1.55", who));
  PassWrites(queues, spool, conn, events, clock.Now());
  ASSERT_EQ(outbox.Depth().Records, 1);

  test::NoBackslashEscapes mode;
  ASSERT_TRUE(mode.Active());
  ASSERT_TRUE(db().Open(conn));  // back, in that mode
  ForwardAll();
  EXPECT_EQ(outbox.Depth().Records, 0);
  const TSqlRows rows = db().Query("select MessageText, MessageKind from control_log");
  ASSERT_EQ(rows.Rows.size(), 1u);
  EXPECT_EQ(rows.Rows[0][0].Text, "Новое задание: Плотность=1.55");
  EXPECT_EQ(rows.Rows[0][1].Text, who);
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

TEST_F(Spool, PastTheLimitTheOldestMinuteRowsGoFirst) {
  outbox.SetLimitDays(1);
  const TDateTime t = clock.Now();
  for (int m = 0; m < 4; ++m)
    ASSERT_TRUE(outbox.AppendMinute(t + m / 1440.0, Minute(MinuteKey(t + m / 1440.0), 1.5, 1)));
  // Three records too many.
  for (int i = 4; i < kSpoolRecordsPerDay + 3; ++i)
    ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:20", i, "kept")));
  EXPECT_EQ(outbox.Depth().Records, kSpoolRecordsPerDay);
  const std::vector<TSpoolItem> head = outbox.Peek(2);
  EXPECT_EQ(head[0].Minute.Key, MinuteKey(t + 3 / 1440.0));
  EXPECT_DOUBLE_EQ(head[0].Counter, 4);  // the three dropped minutes' amounts went on
  EXPECT_EQ(head[1].Text, Journal("2024-03-05 10:15:20", 4, "kept"));
  const auto texts = test::DrainTexts(events);
  ASSERT_EQ(texts.size(), 1u);  // one event an hour at most
  EXPECT_EQ(texts[0],
            "*** Буфер записей для сервера переполнен: удалено старейших записей 1, минутных по "
            "2024-03-05 10:15:00 ***");
}

TEST_F(Spool, TornLogEndLosesOnlyTheLastCommit) {
  const TDateTime t = clock.Now();
  ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:20", 1, "a")));
  ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:21", 1, "b")));
  ASSERT_TRUE(outbox.AppendStatement(t, Journal("2024-03-05 10:15:22", 1, "c")));
  // The files as a crash leaves them: the log not yet copied into the database, and its last
  // frame only half written.
  ASSERT_TRUE(fs::exists(path + "-wal"));
  fs::copy_file(path, dir.File("crash.db"));
  fs::copy_file(path + "-wal", dir.File("crash.db-wal"));
  fs::resize_file(dir.File("crash.db-wal"), fs::file_size(dir.File("crash.db-wal")) - 100);
  TSpool reopened(events);
  ASSERT_TRUE(reopened.Open(dir.File("crash.db"), nullptr));
  EXPECT_EQ(Texts(reopened.Outbox()), (std::vector<std::string>{Journal("2024-03-05 10:15:20", 1, "a"),
                                                       Journal("2024-03-05 10:15:21", 1, "b")}));
  EXPECT_TRUE(reopened.Outbox().AppendStatement(t, Journal("2024-03-05 10:15:23", 1, "d")));
}

TEST_F(Spool, KeepsThePlanCopyAndTheSeedsAcrossARestart) {
  TPlanCopy plan;
  plan.Signals.resize(2);
  plan.Signals[0].BusName = "JUMO";
  plan.Signals[0].SignalName = "PLS";
  plan.Signals[0].DevNum = 1;
  plan.Signals[0].Addr = 53;
  plan.Signals[0].Direction = "READ";
  plan.Signals[0].CalibCount = 2;
  plan.Signals[0].AVal[1] = 100;
  plan.Signals[0].FVal[0] = 1;
  plan.Signals[0].FVal[1] = 2;
  plan.Signals[1].BusName = "V120";
  plan.Signals[1].SignalName = "G_1T1";
  plan.Setup = {{"MIN_PLS", 1.2}, {"MIN_NAGR", 40}};
  TPlanCopy old = plan;
  old.Signals.pop_back();
  TPlanCopy copy;
  EXPECT_EQ(spool.PlanCopy().Load(&copy, nullptr), TPlanCopyRead::kNone);
  ASSERT_TRUE(spool.PlanCopy().Save(old, nullptr));
  ASSERT_TRUE(spool.PlanCopy().Save(plan, nullptr));  // replaces the one before
  ASSERT_TRUE(spool.Seeds().NoteMinute(Minute("2024-03-05 10:15:00", 1.5, 0.7)));
  ASSERT_TRUE(spool.Seeds().NoteSetpoints(EncodeDateTime(2024, 3, 5, 9, 0, 0), 1.55, 65));
  spool.Close();

  ASSERT_TRUE(spool.Open(path, nullptr));
  ASSERT_EQ(spool.PlanCopy().Load(&copy, nullptr), TPlanCopyRead::kLoaded);
  EXPECT_TRUE(SamePlan(copy, plan));
  EXPECT_FALSE(SamePlan(copy, old));
  const TSpoolSeeds seeds = spool.Seeds().Read();
  EXPECT_EQ(seeds.MinuteKey, "2024-03-05 10:15:00");
  EXPECT_EQ(seeds.I_1T1, 1250);
  EXPECT_DOUBLE_EQ(seeds.CounterAmount, 0.7);
  EXPECT_TRUE(seeds.HasSetpoints);
  EXPECT_EQ(seeds.Plsz, 1.55);
  EXPECT_EQ(seeds.Urnsz, 65);
  EXPECT_EQ(outbox.Depth().Records, 0);  // noted, not waiting

  // A copy holding a name that is no plain identifier (an edited file, an older build): the row
  // is refused when the copy is read, as the server's load refuses it.
  TPlanCopy odd = plan;
  odd.Signals.insert(odd.Signals.begin() + 1, plan.Signals[1]);
  odd.Signals[1].SignalName = "PLS=0, G_1T1";
  ASSERT_TRUE(spool.PlanCopy().Save(odd, nullptr));
  ASSERT_EQ(spool.PlanCopy().Load(&copy, nullptr), TPlanCopyRead::kLoaded);
  EXPECT_TRUE(SamePlan(copy, plan));
  EXPECT_EQ(test::DrainTexts(events),
            std::vector<std::string>{"### Недопустимое имя сигнала: PLS=0, G_1T1 ###"});


  TSqliteDb other;  // a copy there that cannot be read
  ASSERT_TRUE(other.Open(path, nullptr));
  ASSERT_TRUE(other.Exec("DROP TABLE plan_kalibr", nullptr));
  std::string error;
  EXPECT_EQ(spool.PlanCopy().Load(&copy, &error), TPlanCopyRead::kUnreadable);
  EXPECT_FALSE(error.empty());
}

// A crash in an outage left minute rows in the spool; the server is back at the restart.
class SeedCounterTest : public Spool {};

TEST_F(SeedCounterTest, WaitingSpoolRowsAreNewerThanTheServers) {
  ASSERT_TRUE(db().Exec("insert into pu_data (RecMoment, I_1T1) values ('2009-10-03 15:49:00', 1000)"));
  ASSERT_TRUE(outbox.AppendMinute(clock.Now(), {"2009-10-03 15:50:00", 1250, {}, "G_1T1", 250}));
  TProcessImage img(clock);
  std::string error;
  ASSERT_TRUE(SeedCounter(img, conn, &error, &spool)) << error;
  EXPECT_EQ(img.CounterLast, 1250);
  EXPECT_TRUE(img.CounterLastKnown);
  // Once forwarded too: the spool's newest minute is this station's last reading.
  outbox.Remove(outbox.Peek(10));
  img.CounterLast = 0;
  ASSERT_TRUE(SeedCounter(img, conn, &error, &spool)) << error;
  EXPECT_EQ(img.CounterLast, 1250);
}

int UserVersion(const std::string& path) {
  TSqliteDb db;
  if (!db.Open(path, nullptr)) return -1;
  TSqliteStmt version(db, "PRAGMA user_version");
  return version.Step() ? static_cast<int>(version.Int(0)) : -1;
}

// A spool.db of the builds before the format version (fixtures/spool-v0.db, written with the
// server away: a journal record, a minute row replaced by a later cycle of its minute, a
// last_state, the next minute's row, the seeds and a plan copy) is stamped and forwarded.
TEST_F(Spool, FileOfTheFirstBuildsIsForwardedInOrder) {
  EXPECT_EQ(UserVersion(path), kSpoolFormat);  // a new file
  spool.Close();
  fs::copy_file(std::string(LIRON_SOURCE_DIR) + "/tests/spool/fixtures/spool-v0.db", path,
                fs::copy_options::overwrite_existing);
  ASSERT_EQ(UserVersion(path), 0);
  ASSERT_TRUE(spool.Open(path, nullptr));
  EXPECT_EQ(UserVersion(path), kSpoolFormat);  // stamped
  const std::string lost = "*** Связь с MySQL сервером потеряна ***";
  EXPECT_EQ(Texts(outbox), (std::vector<std::string>{
                               Journal("2024-03-05 10:15:20", 1, lost), "minute 2024-03-05 10:15:00",
                               "UPDATE last_state SET RecMoment='2024-03-05 10:15:21', I_1T1=1250, PLS=1.4",
                               "minute 2024-03-05 10:16:00"}));
  EXPECT_EQ(spool.Seeds().Read().MinuteKey, "2024-03-05 10:16:00");
  EXPECT_EQ(spool.Seeds().Read().Plsz, 1.55);
  TPlanCopy copy;
  ASSERT_EQ(spool.PlanCopy().Load(&copy, nullptr), TPlanCopyRead::kLoaded);
  ASSERT_EQ(copy.Signals.size(), 2u);
  EXPECT_EQ(copy.Signals[0].FVal[1], 2);

  // 0.4 of the first minute reached the server before the outage.
  db().Exec("insert into pu_data (RecMoment, I_1T1, PLS, G_1T1) "
            "values ('2024-03-05 10:15:00', 1249, 1.3, 0.4)");
  db().Exec("insert into last_state (RecMoment) values (Now())");
  ForwardAll();
  EXPECT_EQ(outbox.Depth().Records, 0);
  EXPECT_EQ(db().Scalar("select MessageText from control_log"), lost);
  EXPECT_EQ(db().Scalar("select group_concat(concat(RecMoment, ' ', PLS, ' ', G_1T1) order by "
                        "RecMoment separator ', ') from pu_data"),
            "2024-03-05 10:15:00 1.5 1.5, 2024-03-05 10:16:00 1.6 0.7");
  EXPECT_EQ(db().Scalar("select PLS from last_state"), "1.4");
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

// A file of a format this build does not know is refused and left as it is.
TEST_F(Spool, FileOfANewerFormatIsLeftAsItIs) {
  spool.Close();
  const std::string newer = std::to_string(kSpoolFormat + 1);
  TSqliteDb file;
  ASSERT_TRUE(file.Open(path, nullptr));
  ASSERT_TRUE(file.Exec("DROP TABLE plan_setup; PRAGMA user_version=" + newer, nullptr));
  std::string error;
  EXPECT_FALSE(spool.Open(path, &error));
  EXPECT_NE(error.find("format " + newer + " is unknown"), std::string::npos) << error;
  EXPECT_FALSE(spool.IsOpen());
  EXPECT_EQ(UserVersion(path), kSpoolFormat + 1);
  TSqliteStmt setup(file, "SELECT count(*) FROM sqlite_master WHERE name='plan_setup'");
  ASSERT_TRUE(setup.Step());
  EXPECT_EQ(setup.Int(0), 0);  // not made again
}

}  // namespace
}  // namespace liron
