#include "platform/pacing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/fake_clock.h"

namespace liron {
namespace {

TEST(Pacing, WaitAfterShortLongAndOverrunPasses) {
  // 300 ms of work plus the 50 ms sleep: the rest of the 980 ms period.
  EXPECT_EQ(PaceWait(1000, 1350, 980), 630u);
  // 960 ms including the 50 ms sleep: the minimum wait.
  EXPECT_EQ(PaceWait(1000, 1960, 980), 50u);
  EXPECT_EQ(PaceWait(1000, 1980, 980), 200u);  // exactly the period is an overrun
  EXPECT_EQ(PaceWait(1000, 2500, 980), 200u);
}

TEST(Pacing, TickCounterWrapIsHarmless) {
  EXPECT_EQ(PaceWait(0xFFFFFF00u, 0x00000100u, 980), 980u - 512u);
  EXPECT_EQ(PaceWait(0xFFFFFFF0u, 0x00000400u, 980), 200u);
}

TEST(Pacing, SleepsInSlicesOfAtMost200Ms) {
  FakeClock clock(40000, 0xFFFFFFFFu - 100);  // the pass wraps the counter
  std::atomic<bool> stop{false};
  const uint32_t start = clock.Ticks();
  clock.Advance(350);
  PaceCycle(clock, stop, start, 980);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{200, 200, 200, 30}));
  EXPECT_EQ(clock.Ticks() - start, 980u);
}

TEST(Pacing, StopFlagSkipsTheWait) {
  FakeClock clock;
  std::atomic<bool> stop{true};
  PaceCycle(clock, stop, clock.Ticks(), 980);
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(Pacing, StopHonouredWithinOneSliceOnTheRealClock) {
  std::atomic<bool> stop{false};
  auto t0 = std::chrono::steady_clock::now();
  std::thread pacer([&] { PaceCycle(SystemClock(), stop, SystemClock().Ticks(), 980); });
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  auto raised = std::chrono::steady_clock::now();
  stop = true;
  pacer.join();
  auto after = std::chrono::steady_clock::now() - raised;
  EXPECT_LT(after, std::chrono::milliseconds(450));  // one 200 ms slice, generous for a busy CI
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
}

}  // namespace
}  // namespace liron
