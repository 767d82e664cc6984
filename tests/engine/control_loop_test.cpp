#include "engine/control_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/control_threads.h"
#include "engine/test_plant.h"
#include "platform/fake_clock.h"
#include "platform/recording_operator.h"
#include "support/event_texts.h"

namespace liron {
namespace {

using test::Contains;
using test::DrainTexts;
using test::TestPlant;

constexpr double kSecond = 1.0 / 86400.0;

void MakePlan(TProcessImage& img, int rows) {
  img.Signals.assign(rows, TSignalSet{});
  img.SignalNames.clear();
  for (int i = 0; i < rows; ++i) img.SignalNames.push_back("S" + std::to_string(i));
  img.SignalCount = rows;
  img.EnsureAverages(rows);
}

void StampModules(TProcessImage& img, double age_seconds) {
  for (int m = 0; m < kModuleCount; ++m) {
    img.ModuleLastOk[m] = img.clock.Now() - age_seconds * kSecond;
    img.ModuleReadAt[m] = img.clock.MonotonicMs() - static_cast<uint64_t>(age_seconds * 1000);
  }
}

template <typename Pred>
bool WaitFor(Pred pred, int ms = 5000) {
  for (int i = 0; i < ms / 5; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

TEST(CycleReady, PlanSizeAndModuleAge) {
  FakeClock clock(40089.5);
  TProcessImage img(clock);
  EXPECT_FALSE(CheckCycleReady(img));  // empty plan
  MakePlan(img, 90);
  StampModules(img, 4.9);
  EXPECT_TRUE(CheckCycleReady(img));
  img.ModuleReadAt[kModuleV120] = clock.MonotonicMs() - 5100;
  EXPECT_FALSE(CheckCycleReady(img));
  StampModules(img, 0);
  img.ModuleReadAt[kModuleJumo2] = 0;  // never answered since the start
  EXPECT_FALSE(CheckCycleReady(img));
  // The clock set back an hour as the V-120 went silent: 5 s of ticks later it is not read.
  StampModules(img, 0);
  clock.SetNow(clock.Now() - 3600 * kSecond);
  clock.Advance(5100);
  img.StampModuleRead(kModuleJumo1);
  img.StampModuleRead(kModuleJumo2);
  EXPECT_FALSE(CheckCycleReady(img));
  img.StampModuleRead(kModuleV120);
  EXPECT_TRUE(CheckCycleReady(img));
  StampModules(img, 0);
  MakePlan(img, 91);
  EXPECT_FALSE(CheckCycleReady(img));
}

struct CycleFixture : ::testing::Test {
  FakeClock clock{40089.5};
  RecordingOperator op;
  TEventFIFO events{400, clock, &op};
  TProcessImage img{clock, &op};
  TestPlant plant{img};
  void SetUp() override {
    MakePlan(img, 4);
    StampModules(img, 0);
    plant.connected = true;
  }
};

TEST_F(CycleFixture, AFailedStepCountsOnceAndSkipsTheRest) {
  plant.fail_step = 1;  // UpdateStateRecord
  ASSERT_TRUE(ControlCycle(img, plant, events, op));
  EXPECT_EQ(img.CycleCounter, 1);
  EXPECT_EQ(img.CycleErrorCounter, 1);
  EXPECT_EQ(plant.step_calls[2], 0);  // CalcWorks skipped
  EXPECT_EQ(plant.step_calls[4], 0);
}

TEST_F(CycleFixture, ANewSetpointStepFailureDoesNotCount) {
  plant.fail_step = 3;  // ReadControlVector
  ControlCycle(img, plant, events, op);
  EXPECT_EQ(img.CycleErrorCounter, 0);
  EXPECT_EQ(plant.step_calls[4], 1);
}

TEST_F(CycleFixture, AnExceptionBeepsAndIsNoFailedCycle) {
  plant.throw_step = 2;  // CalcWorks
  ControlCycle(img, plant, events, op);
  EXPECT_EQ(op.Beeps(), 1);
  EXPECT_EQ(img.CycleCounter, 1);
  EXPECT_EQ(img.CycleErrorCounter, 0);
  EXPECT_EQ(plant.step_calls[4], 0);
  plant.throw_step = -1;
  ControlCycle(img, plant, events, op);  // the next cycle runs normally
  EXPECT_EQ(plant.step_calls[4], 1);
}

TEST_F(CycleFixture, StaleModuleFailsReadinessWithoutRecords) {
  img.ModuleReadAt[kModuleJumo1] = clock.MonotonicMs() - 6000;
  ControlCycle(img, plant, events, op);
  EXPECT_EQ(img.CycleErrorCounter, 1);
  EXPECT_EQ(plant.step_calls[0], 0);
}

// Without the server the cycles go on at their pace and record (into the spool); the
// reconnection attempts run off the thread, one a cycle, and a reconnection keeps the averages.
TEST_F(CycleFixture, CyclesGoOnAtTheirPaceWithoutTheServerAndKeepTheirAverages) {
  plant.connected = false;
  plant.open_succeeds = false;
  img.Averages[0]->Reset();
  img.Averages[0]->Add(5);
  for (int i = 0; i < 3; ++i) {
    StampModules(img, 0);
    const TDateTime begun = clock.Now();
    ASSERT_TRUE(ControlCycle(img, plant, events, op));
    EXPECT_NEAR(clock.Now() - begun, kCyclePeriodMs / 1000.0 * kSecond, 1e-9);
  }
  EXPECT_EQ(plant.step_calls[4], 3);
  EXPECT_EQ(plant.open_attempts, 3);
  EXPECT_EQ(img.ReconnectFailures, 2);  // the third attempt's end is taken note of next cycle
  plant.check_busy = true;  // an attempt that hangs: the cycle neither waits nor starts another
  ASSERT_TRUE(ControlCycle(img, plant, events, op));
  EXPECT_EQ(plant.open_attempts, 3);
  EXPECT_EQ(img.ReconnectFailures, 3);
  auto texts = DrainTexts(events);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Не могу подключиться к MySQL серверу."), 3);

  plant.check_busy = false;
  plant.open_succeeds = true;
  for (int i = 0; i < 2; ++i) ControlCycle(img, plant, events, op);
  EXPECT_EQ(img.ReconnectFailures, 0);
  EXPECT_EQ(img.Averages[0]->ValCount(), 1);
  EXPECT_EQ(plant.Journal(), (std::vector<std::string>{
                                 "*** Связь с MySQL сервером потеряна ***",
                                 "=== Связь с MySQL сервером восстановлена (перерыв 0:00:05) ==="}));
}

TEST_F(CycleFixture, AnUnavailableServerIsSaidOnceAndTriedEveryTenSecondsUntilBack) {
  plant.connected = false;
  plant.open_succeeds = false;
  img.ReconnectFailures = kReconnectFailuresTolerated;
  const TDateTime lost = clock.Now();
  while (clock.Now() - lost < 31 * kSecond) {
    StampModules(img, 0);
    ASSERT_TRUE(ControlCycle(img, plant, events, op));
  }
  auto texts = DrainTexts(events);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "MySQL сервер недоступен."), 1);
  EXPECT_EQ(plant.open_attempts, 3);  // at 0, 10.8 and 21.6 s
  EXPECT_EQ(plant.step_calls[4], 32);  // recorded all along
  EXPECT_FALSE(img.StopFlag);

  plant.open_succeeds = true;
  plant.journal_refusals = 2;  // a write queue full after the outage: the record waits
  while (img.ReconnectFailures != 0) ControlCycle(img, plant, events, op);
  const TDateTime back = clock.Now() - kCyclePeriodMs / 1000.0 * kSecond;
  EXPECT_EQ(plant.Journal().size(), 1u);
  for (int i = 0; i < 2; ++i) ControlCycle(img, plant, events, op);
  EXPECT_EQ(plant.Journal(), (std::vector<std::string>{
                                 "*** Связь с MySQL сервером потеряна ***",
                                 "=== Связь с MySQL сервером восстановлена (перерыв 0:00:33) ==="}));
  const auto moments = plant.JournalMoments();
  ASSERT_EQ(moments.size(), 2u);
  EXPECT_EQ(moments[0], lost);
  EXPECT_NEAR(moments[1], back, 1e-9);
}

struct ThreadsFixture : CycleFixture {
  TControlThreads threads{img, plant, events, op};
  void TearDown() override {
    img.StopFlag = true;
    threads.WaitEnded();
  }
};

TEST_F(ThreadsFixture, AServerAwayFor302ReconnectionsAndMoreIsWaitedForAndRecordedAgain) {
  img.ReconnectFailures = 250;  // an earlier outage: the thread's own connection resets it
  plant.open_succeeds = false;
  ASSERT_TRUE(threads.StartControl(nullptr));
  ASSERT_TRUE(WaitFor([&] { return img.ReconnectFailures > 305; }, 20000));
  EXPECT_TRUE(img.ControlRunning && img.JumoPollRunning && img.V120PollRunning);
  EXPECT_FALSE(img.StopFlag);

  plant.open_succeeds = true;
  ASSERT_TRUE(WaitFor([&] {
    StampModules(img, 0);  // the polling threads read on
    return img.ReconnectFailures == 0 && plant.Journal().size() == 3;
  }, 20000));
  auto texts = DrainTexts(events);
  int refused = 0, unavailable = 0;
  for (auto& t : texts) {
    refused += t == "*** Поток приема не смог подключиться к серверу! ***";
    unavailable += t == "MySQL сервер недоступен.";
  }
  EXPECT_EQ(refused, 11);
  EXPECT_EQ(unavailable, 1);
  const auto journal = plant.Journal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[1], "*** Связь с MySQL сервером потеряна ***");
  EXPECT_EQ(journal[2].rfind("=== Связь с MySQL сервером восстановлена (перерыв ", 0), 0u) << journal[2];
}

TEST_F(ThreadsFixture, StartWhileRunningStartsNothingAndStopEndsEverything) {
  ASSERT_TRUE(threads.StartControl(nullptr));
  ASSERT_TRUE(WaitFor([&] { return img.ControlRunning && img.JumoPollRunning && img.V120PollRunning; }));
  EXPECT_TRUE(threads.StartControl([] { return false; }));  // the seed is not even run
  EXPECT_EQ(plant.starts, 1);
  ASSERT_TRUE(WaitFor([&] { return img.CycleCounter > 3; }));
  threads.StopControl();
  ASSERT_TRUE(WaitFor([&] { return !threads.Alive(); }));
  EXPECT_FALSE(img.JumoPollRunning || img.V120PollRunning);
  EXPECT_EQ(plant.lines_closed, 1);
  EXPECT_EQ(plant.closes, 1);
  // A new start runs the seed, clears the stop flag and starts afresh.
  bool seeded = false;
  ASSERT_TRUE(threads.StartControl([&] { return seeded = true; }));
  EXPECT_TRUE(seeded);
  ASSERT_TRUE(WaitFor([&] { return plant.starts == 2 && img.ControlRunning; }));
}

TEST_F(ThreadsFixture, AFailedSeedStartsNoThread) {
  EXPECT_FALSE(threads.StartControl([]() -> bool { throw std::runtime_error("no database"); }));
  EXPECT_FALSE(threads.StartControl([] { return false; }));
  EXPECT_EQ(plant.starts, 0);
}

TEST_F(ThreadsFixture, AJumoPortThatWillNotOpenEndsTheThreadAtOnce) {
  plant.jumo_opens = LineStart::Failed;
  ASSERT_TRUE(threads.StartControl(nullptr));
  ASSERT_TRUE(WaitFor([&] { return !threads.Alive(); }));
  EXPECT_EQ(plant.polling_starts, 0);
  EXPECT_EQ(plant.lines_closed, 0);
  EXPECT_TRUE(Contains(DrainTexts(events), "JUMO: Не могу подключить порт COM9"));
  EXPECT_EQ(plant.Journal().size(), 1u);  // the start record only
}

TEST_F(ThreadsFixture, ADeviceNotThereYetIsReportedOnceAndLeftToItsPollingThread) {
  plant.jumo_opens = LineStart::Awaited;
  plant.v120_opens = LineStart::Awaited;
  ASSERT_TRUE(threads.StartControl(nullptr));
  ASSERT_TRUE(WaitFor([&] { return plant.polling_starts == 1 && img.CycleCounter > 2; }));
  EXPECT_TRUE(threads.Alive());
  EXPECT_EQ(DrainTexts(events), (std::vector<std::string>{"JUMO: Не могу подключить порт COM9",
                                                          "V120: Не могу подключить порт COM8"}));
  threads.StopControl();
  ASSERT_TRUE(WaitFor([&] { return !threads.Alive(); }));
}

}  // namespace
}  // namespace liron
