#include "db/journal.h"

#include <gtest/gtest.h>

#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "support/test_db.h"

namespace liron {
namespace {

TDateTime Noon() { return EncodeDateTime(2009, 10, 3, 12, 0, 0, 0); }

class JournalNpp : public ::testing::Test {
 protected:
  // The NPP of the statement queued last.
  std::string LastNpp() {
    const auto q = queues_.WaitingSnapshot();
    if (q.empty()) return "none";
    const std::string& s = q.back();
    const size_t a = s.find("', ") + 3;
    return s.substr(a, s.find(',', a) - a);
  }
  std::string Write(TDateTime at) {
    clock_.SetNow(at);
    EXPECT_TRUE(journal_.WriteJournal("x", kServiceOriginator));
    return LastNpp();
  }
  FakeClock clock_{EncodeDateTime(2009, 10, 3, 8, 0, 0, 0)};
  TEventFIFO events_{400, clock_};
  TSqlQueues queues_{events_};
  TJournal journal_{queues_, events_, clock_};
};

TEST_F(JournalNpp, SameMillisecondCountsUpThenStartsAgain) {
  const TDateTime t = Noon() + 250 / kMsPerDay;
  EXPECT_EQ(Write(t), "250");
  EXPECT_EQ(Write(t), "251");
  EXPECT_EQ(Write(t), "250");
}

TEST_F(JournalNpp, SameThousandthOfADayCountsUp) {
  EXPECT_EQ(Write(Noon() + 250 / kMsPerDay), "250");
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 0, 5, 250)), "251");
  // The next thousandth of a day (86.4 s later) starts again.
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 1, 31, 651)), "651");
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 3, 0, 651)), "651");
}

TEST_F(JournalNpp, ExactHalfGoesToTheEvenThousandth) {
  // 12:00:43.200 is exactly 500.5 thousandths past the start of the day: it belongs to the
  // even thousandth 500, the same as 12:00:00.200.
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 0, 0, 200)), "200");
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 0, 43, 200)), "201");
  // 12:02:09.600 is 501.5 thousandths: it goes up to the even 502, with 12:03:00.600.
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 2, 9, 600)), "600");
  EXPECT_EQ(Write(EncodeDateTime(2009, 10, 3, 12, 3, 0, 600)), "601");
}

TEST_F(JournalNpp, StatementAndEmptyTexts) {
  clock_.SetNow(EncodeDateTime(2009, 10, 3, 15, 50, 16, 7));
  EXPECT_FALSE(journal_.WriteJournal("", kServiceOriginator));
  EXPECT_EQ(queues_.WaitingStatements(), 0);
  EXPECT_TRUE(journal_.WriteJournal("Программа контроля загружена.", ""));
  EXPECT_TRUE(journal_.WriteJournal(">>> Запуск потока управления. <<<", kServiceOriginator));
  const auto q = queues_.WaitingSnapshot();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0],
            "insert into control_log (RecMoment, NPP, MessageText, MessageKind) SELECT "
            "'2009-10-03 15:50:16', 7, 'Программа контроля загружена.', NULL FROM DUAL WHERE NOT "
            "EXISTS (SELECT 1 FROM control_log WHERE RecMoment='2009-10-03 15:50:16' AND NPP=7 AND "
            "MessageText='Программа контроля загружена.')");
  EXPECT_NE(q[1].find("SELECT '2009-10-03 15:50:16', 8, '>>> Запуск потока управления. <<<', "
                      "'СЛУЖБА ПРИЕМА' FROM DUAL"),
            std::string::npos);
}

class JournalTable : public test::DbTest {};

TEST_F(JournalTable, TextsReachControlLogUnchanged) {
  FakeClock clock(EncodeDateTime(2009, 10, 3, 15, 50, 16, 0));
  TEventFIFO events(400, clock);
  TSqlQueues queues(events);
  TJournal journal(queues, events, clock);
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));

  const std::vector<std::pair<std::string, std::string>> records = {
      {"*** Запись в аппаратуру ЗАПРЕЩЕНА ***", kServiceOriginator},
      {"Новое задание: Плотность=1.45", "оператор 'смены'"},
      {"it's a \"quoted\" C:\\path\\ and \\' both", ""},
      {"Ёлка ёж — №5", "root@localhost"},
  };
  for (const auto& [text, who] : records) {
    clock.Advance(1000);
    ASSERT_TRUE(journal.WriteJournal(text, who));
  }
  // Each statement runs twice, as after an answer lost on the way: stored once.
  const std::vector<std::string> statements = queues.WaitingSnapshot();
  EXPECT_EQ(queues.RunWriteQueue(conn), 4);
  for (const std::string& s : statements) ASSERT_TRUE(conn.Execute(s));
  std::string text;
  TDateTime moment;
  uint32_t ticks;
  EXPECT_FALSE(events.Pop(text, moment, ticks)) << text;

  const TSqlRows rows =
      db().Query("select RecMoment, NPP, MessageText, MessageKind from control_log order by RecMoment");
  ASSERT_EQ(rows.Rows.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(rows.Field(i, "MessageText")->Text, records[i].first);
    if (records[i].second.empty())
      EXPECT_TRUE(rows.Field(i, "MessageKind")->Null);
    else
      EXPECT_EQ(rows.Field(i, "MessageKind")->Text, records[i].second);
  }
  EXPECT_EQ(rows.Field(0, "RecMoment")->Text, "2009-10-03 15:50:17");
  // Whole seconds: millisecond 0 each time, and the first record meets the starting JournalSeq
  // 0 in the same thousandth of a day as the construction, hence 1.
  EXPECT_EQ(rows.Field(0, "NPP")->Text, "1");
  EXPECT_EQ(rows.Field(1, "NPP")->Text, "0");
  EXPECT_EQ(rows.Field(2, "NPP")->Text, "1");
}

}  // namespace
}  // namespace liron
