#include "platform/clock.h"

#include <ctime>
#include <thread>
#include <chrono>

#include "platform/datetime.h"

namespace liron {

TDateTime RealClock::Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return UnixToLocalDateTime(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

uint64_t RealClock::MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec / 1000000);
}

uint32_t RealClock::Ticks() { return static_cast<uint32_t>(MonotonicMs()); }

void RealClock::SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace liron
