// Setpoints handed in through control_vector on the private server: which rows are taken, what
// is journalled under whom, when the write request is raised; the window's entry, display and
// hardware-write switch.
#include "signals/setpoints.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "db/journal.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "platform/recording_operator.h"
#include "support/comma_locale.h"
#include "support/event_texts.h"
#include "support/no_backslash_escapes.h"
#include "support/select_server.h"
#include "support/test_db.h"
#include "support/test_plan.h"

namespace liron {
namespace {

// A text as a hex literal, which the server reads the same in every sql_mode.
std::string HexLiteral(const std::string& s) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = "X'";
  for (unsigned char c : s) out += {kDigits[c >> 4], kDigits[c & 15]};
  return out + "'";
}

class SetpointsTest : public test::DbTest {
 protected:
  // The program started at 10:00:05 on 1 March 2020.
  SetpointsTest()
      : clock(EncodeDateTime(2020, 3, 1, 10, 0, 5)),
        img(clock),
        events(64, clock),
        queues(events),
        journal(queues, events, clock) {
    SetUpPlan(img);
  }

  // The density's setpoint on controller 1, the level's on controller 2; 4 writes each.
  static void SetUpPlan(TProcessImage& image) {
    test::SetPlan(image, {{"JUMO", "PLS", "READ"},
                          {"JUMO", "_PLSZ", "WRITE"},
                          {"JUMO", "_URNSZ", "WRITE"}});
    image.Signals[1].DevNum = 1;
    image.Signals[2].DevNum = 2;
    TSettings s = image.Settings();
    s.MaxWriteCount = 3;
    image.SetSettings(s);
  }

  // The controllers the order in force is still owed to.
  std::vector<int32_t> Owed(TProcessImage& image) {
    const TSetpointOrder order = image.Delivery.Order();
    return image.Delivery.BeginPass(SetpointControllers(image.Signals, 3, order), true, {})
        .Controllers;
  }

  void SetUp() override {
    DbTest::SetUp();
    ASSERT_TRUE(db().Open(work));
  }

  // Executes the queued journal records, then reads control_log as "text | originator" lines.
  std::vector<std::string> Journal() {
    for (int run = 0; run < 20 && queues.WaitingStatements() > 0; ++run) queues.RunWriteQueue(work);
    std::vector<std::string> out;
    const TSqlRows rows =
        db().Query("select MessageText, MessageKind from control_log order by RecMoment, NPP");
    for (const auto& r : rows.Rows) out.push_back(r[0].Text + " | " + (r[1].Null ? "NULL" : r[1].Text));
    return out;
  }

  FakeClock clock;
  TProcessImage img;
  TEventFIFO events;
  TSqlQueues queues;
  TJournal journal;
  TMySQLConnection work;
};

TEST_F(SetpointsTest, EmptyTableAndRowsBeforeTheStartAreIgnored) {
  test::SelectServer server(queues, work);
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:04', 'early@host', 1.1, 2.2)"));
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  EXPECT_FALSE(img.Delivery.Taken());
  EXPECT_EQ(img.PlszSetpoint, 0);
  EXPECT_EQ(img.UrnszSetpoint, 0);
  EXPECT_EQ(img.ControlMoment, EncodeDateTime(2020, 3, 1, 10, 0, 5));
  EXPECT_TRUE(Journal().empty());
}

TEST_F(SetpointsTest, NewerRowIsTakenOnceAndJournalledUnderItsUser) {
  test::SelectServer server(queues, work);
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:04', 'early@host', 1.1, 2.2)"));
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:07', 'master@pult', 1.55, 2.5)"));
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  EXPECT_EQ(img.PlszSetpoint, 1.55);
  EXPECT_EQ(img.UrnszSetpoint, 2.5);
  EXPECT_EQ(Owed(img), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(img.Delivery.Order().Plsz, 1.55);
  EXPECT_DOUBLE_EQ(img.OutValues.Get(1), 1.55);
  EXPECT_DOUBLE_EQ(img.OutValues.Get(2), 2.5);
  EXPECT_EQ(img.ControlMoment, EncodeDateTime(2020, 3, 1, 10, 0, 7));
  EXPECT_EQ(Journal(), std::vector<std::string>{"Новое задание: Плотность=1.55 Уровень НС=2.5 | master@pult"});

  // The same row again: nothing new, the order as the write passes left it.
  for (int w = 0; w < 4; ++w) img.Delivery.Report(1, 1, true, 0, {});
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  EXPECT_EQ(Owed(img), std::vector<int32_t>{2});
  EXPECT_EQ(Journal().size(), 1u);
}

// A site whose server runs with NO_BACKSLASH_ESCAPES: whatever name a client wrote into
// control_vector, the journal's record carries it letter for letter, and nothing else.
TEST_F(SetpointsTest, AnyUserNameIsJournalledVerbatimUnderNoBackslashEscapes) {
  test::NoBackslashEscapes mode;
  ASSERT_TRUE(mode.Active());
  work.Close();
  ASSERT_TRUE(db().Open(work));  // opened while the server hands out the mode
  test::SelectServer server(queues, work);
  const std::string names[] = {
      "O'Brien",
      // Built to end the originator's literal and add a record of its own.
      "x\\'), (now(), 1, 0x696E6A6563746564, NULL)#",
  };
  int second = 10;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(db().Exec("delete from control_log"));
    ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:" +
                          std::to_string(second++) + "', " + HexLiteral(name) + ", 1.55, 2.5)"));
    ASSERT_TRUE(ReadControlVector(img, queues, journal));
    EXPECT_EQ(Journal(), std::vector<std::string>{"Новое задание: Плотность=1.55 Уровень НС=2.5 | " + name});
  }
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

TEST_F(SetpointsTest, NullColumnIsLeftOutAndTheSetpointInForceGoesOutAgain) {
  test::SelectServer server(queues, work);
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:30', 'master@pult', 1.4, 1)"));
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  clock.Advance(1000);
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:01:00', 'master@pult', NULL, 2)"));
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  EXPECT_EQ(img.PlszSetpoint, 1.4);
  EXPECT_EQ(img.UrnszSetpoint, 2);
  EXPECT_EQ(img.Delivery.Order().Plsz, 1.4);
  EXPECT_EQ(Owed(img), (std::vector<int32_t>{1, 2}));
  EXPECT_DOUBLE_EQ(img.OutValues.Get(1), 1.4);
  EXPECT_EQ(Journal().back(), "Новое задание: Уровень НС=2 | master@pult");
  // A setpoint never given is never written: with only a level, only its controller is owed.
  TProcessImage fresh(clock);
  SetUpPlan(fresh);
  fresh.ControlMoment = 1.0;
  ASSERT_TRUE(ReadControlVector(fresh, queues, journal));
  EXPECT_FALSE(fresh.Delivery.Order().Plsz);
  EXPECT_EQ(Owed(fresh), std::vector<int32_t>{2});
}

TEST_F(SetpointsTest, RequestIsRaisedOnlyWithTheNewValuesInOutValues) {
  // A JUMO pass watching all the time: whenever it finds the request, it notes what it would
  // send. The previous setpoint must never go out under the new request.
  img.OutValues.Set(1, 9.9);
  img.OutValues.Set(2, 8.8);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0}, seen{0};
  std::thread pass([&] {
    while (!stop) {
      if (img.Delivery.Pending()) {
        ++seen;
        if (img.OutValues.Get(1) != 1.55 || img.OutValues.Get(2) != 2.5) ++wrong;
      }
    }
  });
  bool taken = false;
  {
    test::SelectServer server(queues, work);
    EXPECT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:09', 'u@h', 1.55, 2.5)"));
    taken = ReadControlVector(img, queues, journal);
  }
  while (taken && seen == 0) std::this_thread::yield();
  stop = true;
  pass.join();
  EXPECT_TRUE(taken);
  EXPECT_EQ(wrong, 0);
}

TEST_F(SetpointsTest, FailedSelectRaisesNoRequestAndTheRowIsTakenLater) {
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 10:00:09', 'u@h', 1.55, 2.5)"));
  // The newest moment is found, but the user's select fails on the server and is never
  // answered: the cycle gives up after 5.5 s.
  ASSERT_TRUE(db().Exec("alter table control_vector change UserName Who VARCHAR(80)"));
  {
    test::SelectServer server(queues, work);
    EXPECT_FALSE(ReadControlVector(img, queues, journal));
  }
  ASSERT_TRUE(db().Exec("alter table control_vector change Who UserName VARCHAR(80)"));
  EXPECT_FALSE(img.Delivery.Taken());
  EXPECT_EQ(img.ControlMoment, EncodeDateTime(2020, 3, 1, 10, 0, 5));
  EXPECT_TRUE(Journal().empty());
  test::SelectServer server(queues, work);
  EXPECT_TRUE(ReadControlVector(img, queues, journal));
  EXPECT_TRUE(img.Delivery.Pending());
  EXPECT_EQ(img.UrnszSetpoint, 2.5);
}

TEST_F(SetpointsTest, FirstPlanLoadTakesTheNewestRowAndOrdersWhatWasNotDelivered) {
  TMySQLConnection user;
  ASSERT_TRUE(db().Open(user));
  std::string error;
  // An empty table leaves the zeros and the start's moment.
  ASSERT_TRUE(SeedSetpoints(img, user, journal, &error)) << error;
  EXPECT_FALSE(img.Delivery.Taken());
  EXPECT_EQ(img.ControlMoment, EncodeDateTime(2020, 3, 1, 10, 0, 5));

  // Rows entered before this run; the journal of the last run says who confirmed which.
  ASSERT_TRUE(db().Exec("insert into control_vector values ('2020-03-01 09:50:00', 'old@pult', 1.2, 30), "
                        "('2020-03-01 09:58:00', 'master@pult', 1.55, 42)"));
  const TDateTime older = EncodeDateTime(2020, 3, 1, 9, 50, 0);
  const TDateTime newest = EncodeDateTime(2020, 3, 1, 9, 58, 0);
  const struct {
    std::vector<std::string> records;
    std::vector<int32_t> owed;
  } cases[] = {
      {{DeliveredText(1, older), DeliveredText(2, older)}, {1, 2}},
      {{DeliveredText(1, newest)}, {2}},
      {{DeliveredText(2, newest), DeliveredText(1, newest)}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.owed.size());
    ASSERT_TRUE(db().Exec("delete from control_log"));
    for (const std::string& text : c.records) journal.WriteJournal(text, kServiceOriginator);
    Journal();
    TProcessImage fresh(clock);
    SetUpPlan(fresh);
    ASSERT_TRUE(SeedSetpoints(fresh, user, journal, &error)) << error;
    EXPECT_EQ(fresh.PlszSetpoint, 1.55);
    EXPECT_EQ(fresh.UrnszSetpoint, 42);
    EXPECT_EQ(fresh.ControlMoment, newest);
    EXPECT_EQ(Owed(fresh), c.owed);
    const std::vector<std::string> lines = Journal();
    EXPECT_EQ(lines.back() == "Новое задание: Плотность=1.55 Уровень НС=42 | master@pult",
              !c.owed.empty());
    // Taken once in a run: a later plan load leaves it.
    ASSERT_TRUE(db().Exec("update control_vector set _PLSZ=1.7"));
    ASSERT_TRUE(SeedSetpoints(fresh, user, journal, &error)) << error;
    EXPECT_EQ(fresh.PlszSetpoint, 1.55);
    ASSERT_TRUE(db().Exec("update control_vector set _PLSZ=1.55 where UserName='master@pult'"));
  }
}

TEST_F(SetpointsTest, EntryInsertsWithPointsAndIsTakenUnderTheServerUser) {
  test::CommaLocale comma;
  ASSERT_TRUE(comma.Active()) << comma.Error();
  RecordingOperator op;
  TMySQLConnection user;
  ASSERT_TRUE(db().Open(user));
  ASSERT_TRUE(SetNewControl(user, journal, "1,5", " 2.25", op));
  EXPECT_TRUE(op.Messages().empty());
  EXPECT_EQ(img.PlszSetpoint, 0);  // not in force until the cycle takes the row
  EXPECT_EQ(db().Scalar("select concat(_PLSZ, ' ', _URNSZ) from control_vector"), "1.5 2.25");
  const std::string server_user = db().Scalar("select UserName from control_vector");
  EXPECT_EQ(server_user, db().Scalar("select USER()"));

  // Taken by the cycle as a row of the server's clock, newer than the start.
  img.ControlMoment = 1.0;
  clock.Advance(1000);
  test::SelectServer server(queues, work);
  ASSERT_TRUE(ReadControlVector(img, queues, journal));
  EXPECT_EQ(img.PlszSetpoint, 1.5);
  EXPECT_EQ(img.UrnszSetpoint, 2.25);
  const std::vector<std::string> expected = {
      "Новое задание: Плотность=1.5, Уровень НС=2.25 | СЛУЖБА ПРИЕМА",
      "Новое задание: Плотность=1.5 Уровень НС=2.25 | " + server_user};
  EXPECT_EQ(Journal(), expected);
}

TEST_F(SetpointsTest, EntryThatIsNoNumberIsRefusedAndChangesNothing) {
  RecordingOperator op;
  TMySQLConnection user;
  ASSERT_TRUE(db().Open(user));
  EXPECT_FALSE(SetNewControl(user, journal, "1,5.5", "2", op));
  EXPECT_FALSE(SetNewControl(user, journal, "1.6", "два", op));
  EXPECT_EQ(img.PlszSetpoint, 0);
  EXPECT_EQ(img.UrnszSetpoint, 0);
  const auto messages = op.Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& m : messages) {
    EXPECT_EQ(m.text, "Правильно вводите числа.");
    EXPECT_EQ(m.caption, "Ошибка");
    EXPECT_EQ(m.icon, MsgIcon::Error);
  }
  EXPECT_EQ(db().Count("control_vector"), 0);
  EXPECT_TRUE(Journal().empty());
}

TEST_F(SetpointsTest, RefusedInsertShowsTheServerError) {
  RecordingOperator op;
  TMySQLConnection user;
  ASSERT_TRUE(db().Open(user));
  ASSERT_TRUE(db().Exec("drop table control_vector"));
  EXPECT_FALSE(SetNewControl(user, journal, "1.5", "2", op));
  ASSERT_TRUE(db().RecreateSchema());
  const auto messages = op.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("control_vector"), std::string::npos) << messages[0].text;
  EXPECT_EQ(messages[0].caption, "Ошибка");
  EXPECT_EQ(messages[0].icon, MsgIcon::Error);
  EXPECT_EQ(img.PlszSetpoint, 0);
  EXPECT_TRUE(Journal().empty());
}

TEST_F(SetpointsTest, DisplayChangesOnlyForANewerSetpoint) {
  auto view = ShowSetpoint(img);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->ControlTime, "01.03.2020 10:00:05");
  EXPECT_EQ(view->Plsz, "0");
  EXPECT_EQ(view->Urnsz, "0");
  EXPECT_FALSE(ShowSetpoint(img));

  img.PlszSetpoint = 1.456;
  img.UrnszSetpoint = 12345.5;
  EXPECT_FALSE(ShowSetpoint(img));  // the operator's typing is not overwritten
  img.ControlMoment = EncodeDateTime(2020, 3, 1, 14, 7, 9);
  view = ShowSetpoint(img);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->ControlTime, "01.03.2020 14:07:09");
  EXPECT_EQ(view->Plsz, "1.46");
  EXPECT_EQ(view->Urnsz, "12345.5");
}

TEST_F(SetpointsTest, HardWriteSwitchPostsAndJournals) {
  SetHardWriteOff(img, true, events, journal);
  EXPECT_TRUE(img.HardWriteOff);
  clock.Advance(1000);
  SetHardWriteOff(img, false, events, journal);
  EXPECT_FALSE(img.HardWriteOff);
  const std::vector<std::string> texts = {"*** Запись в аппаратуру ЗАПРЕЩЕНА ***",
                                          "*** Запись в аппаратуру разрешена."};
  EXPECT_EQ(test::DrainTexts(events), texts);
  EXPECT_EQ(Journal(), (std::vector<std::string>{texts[0] + " | СЛУЖБА ПРИЕМА",
                                                 texts[1] + " | СЛУЖБА ПРИЕМА"}));
}

}  // namespace
}  // namespace liron
