// A burst of a thousand events against the service's ring of 400: what the ring holds reaches
// the log file in the order of posting, every refused event beeps, and nothing else is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/service.h"
#include "plant_setup.h"
#include "platform/recording_operator.h"
#include "support/service_pump.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

constexpr int kThreads = 4;
constexpr int kPerThread = 250;

std::string BurstText(int thread, int i) {
  return "Пачка " + std::to_string(thread) + "-" + std::to_string(i);
}

// Posts kThreads x kPerThread events at once, numbered from base on; accepted[t] gets the
// numbers taken in.
void Burst(Service& svc, std::vector<std::vector<int>>* accepted, int base = 0) {
  accepted->assign(kThreads, {});
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kPerThread; ++i)
        if (svc.Events().PostEvent(BurstText(t, base + i))) (*accepted)[t].push_back(base + i);
    });
  go = true;
  for (auto& th : threads) th.join();
}

// The burst events of the log, per thread, in the order they stand there.
std::vector<std::vector<int>> Logged(const std::vector<std::string>& texts) {
  std::vector<std::vector<int>> out(kThreads);
  for (const std::string& text : texts) {
    int t = -1, i = -1;
    if (std::sscanf(text.c_str(), "Пачка %d-%d", &t, &i) == 2 && t >= 0 && t < kThreads)
      out[t].push_back(i);
  }
  return out;
}

size_t Total(const std::vector<std::vector<int>>& v) {
  size_t n = 0;
  for (const auto& x : v) n += x.size();
  return n;
}

TEST(FaultEventBurst, RingHoldsFourHundredBeepsForTheRestAndLogsAllItHeld) {
  CwdGuard cwd;
  TestPlant plant;
  RecordingOperator op;
  Service svc(plant.home.path(), SystemClock(), op);
  svc.WindowCreated();  // its own event takes the first slot

  std::vector<std::vector<int>> accepted;
  Burst(svc, &accepted);
  EXPECT_EQ(svc.Events().Count(), kEventBufferCapacity);
  EXPECT_EQ(Total(accepted), static_cast<size_t>(kEventBufferCapacity - 1));
  EXPECT_EQ(op.Beeps(), kThreads * kPerThread - (kEventBufferCapacity - 1));

  // The drain empties the ring ten events a run, into the file, in the order of posting.
  int runs = 0;
  while (svc.Events().Count() > 0 && runs < 100) {
    svc.DrainEvents();
    ++runs;
  }
  EXPECT_EQ(runs, kEventBufferCapacity / 10);
  std::vector<std::string> texts = plant.EventTexts();
  ASSERT_EQ(texts.size(), static_cast<size_t>(kEventBufferCapacity));
  EXPECT_EQ(texts.front(), "--> Запуск программы <---");
  EXPECT_EQ(Logged(texts), accepted);

  // The ring takes events again at once, and they follow.
  ASSERT_TRUE(svc.Events().PostEvent("После пачки"));
  svc.DrainEvents();
  texts = plant.EventTexts();
  EXPECT_EQ(texts.back(), "После пачки");
  EXPECT_EQ(op.Beeps(), kThreads * kPerThread - (kEventBufferCapacity - 1));
}

class FaultEventBurstRunning : public DbTest {};

TEST_F(FaultEventBurstRunning, WhileTheDrainRunsEveryAcceptedEventIsLoggedOnce) {
  CwdGuard cwd;
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.LoadPlan(&error)) << error;
  plant.settings.Comp = db().Comp();
  plant.settings.Login = db().User();
  plant.settings.Password = db().Password();
  ASSERT_TRUE(plant.WriteIni(&error)) << error;
  RecordingOperator op;
  Service svc(plant.home.path(), SystemClock(), op);
  svc.WindowCreated();
  ServicePump pump(svc);
  // The start-up sequence has loaded the plan and its events are written out.
  ASSERT_TRUE(pump.WaitTicks(12));
  ASSERT_TRUE(PollUntil([&] { return svc.Events().Count() == 0; }, 10));
  const int beeps_before = op.Beeps();

  // Several bursts, the later ones while the drain is still busy with the one before.
  std::vector<std::vector<int>> all(kThreads);
  size_t accepted_total = 0;
  std::atomic<int> max_held{0};
  std::atomic<bool> watching{true};
  std::thread watcher([&] {
    while (watching) {
      max_held = std::max(max_held.load(), svc.Events().Count());
      std::this_thread::yield();
    }
  });
  constexpr int kRounds = 3;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::vector<int>> accepted;
    Burst(svc, &accepted, round * kPerThread);
    accepted_total += Total(accepted);
    for (int t = 0; t < kThreads; ++t) all[t].insert(all[t].end(), accepted[t].begin(), accepted[t].end());
    std::this_thread::sleep_for(std::chrono::milliseconds(round == 0 ? 250 : 1000));
  }
  ASSERT_TRUE(PollUntil([&] { return svc.Events().Count() == 0; }, 20));
  watching = false;
  watcher.join();
  pump.Stop();

  EXPECT_LE(max_held.load(), kEventBufferCapacity);
  EXPECT_GT(accepted_total, static_cast<size_t>(kEventBufferCapacity));  // the drain made room
  EXPECT_EQ(static_cast<size_t>(op.Beeps() - beeps_before),
            static_cast<size_t>(kRounds * kThreads * kPerThread) - accepted_total);
  // Exactly the accepted events are in the file, each once, in posting order per thread.
  EXPECT_EQ(Logged(plant.EventTexts()), all);
}

}  // namespace
}  // namespace liron::test
