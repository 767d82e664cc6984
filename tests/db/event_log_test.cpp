#include "db/event_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/codec.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "support/temp_dir.h"

namespace liron {
namespace {

TEST(EventLog, LineFileNameAndWindows1251Bytes) {
  test::TempDir dir;
  const std::string log_dir = dir.File("home/LOG");  // created with its parent
  // Posted at 15:50:16 on 3 October 2009, three hours after the machine started.
  FakeClock clock(EncodeDateTime(2009, 10, 3, 15, 50, 16, 420), 3u * 3600u * 1000u);
  TEventFIFO events(400, clock);
  ASSERT_TRUE(events.PostEvent("Подключение к MySQL произведено успешно."));
  ASSERT_TRUE(events.PostEvent("it's \"x\""));
  EXPECT_EQ(DrainEventsToLog(events, log_dir, true, clock), 2);

  const std::string file = log_dir + "/2009_10_03.log";
  ASSERT_TRUE(std::filesystem::exists(file));
  const std::string bytes = test::ReadFileBytes(file);
  const std::string expected = Utf8ToCp1251(
      "10800 | 03.10.2009 | 15:50:16 | Подключение к MySQL произведено успешно.\r\n"
      "10800 | 03.10.2009 | 15:50:16 | it's \"x\"\r\n");
  EXPECT_EQ(bytes, expected);
  // "П" is 0xCF in Windows-1251, one byte.
  EXPECT_EQ(static_cast<unsigned char>(bytes[32]), 0xCF);
}

TEST(EventLog, FileFollowsTheDayOfWritingLineTheMomentOfPosting) {
  test::TempDir dir;
  FakeClock clock(EncodeDateTime(2009, 10, 3, 23, 59, 59, 900), 5000);
  TEventFIFO events(400, clock);
  events.PostEvent("late");
  clock.Advance(200);  // written after midnight
  DrainEventsToLog(events, dir.path(), true, clock);
  EXPECT_EQ(test::ReadFileBytes(dir.File("2009_10_04.log")), "5 | 03.10.2009 | 23:59:59 | late\r\n");
  // Appended, never overwritten.
  EXPECT_TRUE(AppendLogLine(dir.path(), clock.Now(), "next"));
  EXPECT_EQ(test::ReadFileBytes(dir.File("2009_10_04.log")),
            "5 | 03.10.2009 | 23:59:59 | late\r\nnext\r\n");
}

TEST(EventLog, TenPerRunAndDiscardedWhenSavingIsOff) {
  test::TempDir dir;
  FakeClock clock(EncodeDateTime(2009, 10, 3, 10, 0, 0, 0));
  TEventFIFO events(400, clock);
  for (int i = 0; i < 25; ++i) events.PostEvent("e" + std::to_string(i));
  EXPECT_EQ(DrainEventsToLog(events, dir.path(), false, clock), 10);
  EXPECT_EQ(events.Count(), 15);
  EXPECT_FALSE(std::filesystem::exists(dir.File("2009_10_03.log")));
  EXPECT_EQ(DrainEventsToLog(events, dir.path(), true, clock), 10);
  EXPECT_EQ(DrainEventsToLog(events, dir.path(), true, clock), 5);
  EXPECT_EQ(DrainEventsToLog(events, dir.path(), true, clock), 0);
  const std::string bytes = test::ReadFileBytes(dir.File("2009_10_03.log"));
  EXPECT_EQ(bytes.find("| e9\r\n"), std::string::npos);  // the first ten were discarded
  EXPECT_NE(bytes.find("| e10\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("| e24\r\n"), std::string::npos);
}

TEST(EventLog, UnwritableFolderLosesTheLineQuietly) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("LOG"), "a file, not a folder");
  FakeClock clock(EncodeDateTime(2009, 10, 3, 10, 0, 0, 0));
  EXPECT_FALSE(AppendLogLine(dir.File("LOG"), clock.Now(), "lost"));
  TEventFIFO events(400, clock);
  events.PostEvent("lost too");
  EXPECT_EQ(DrainEventsToLog(events, dir.File("LOG"), true, clock), 1);
}

}  // namespace
}  // namespace liron
