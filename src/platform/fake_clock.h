// A clock for tests: time stands still until a test moves it or someone sleeps on it.
// SleepMs advances both the date-time and the tick count by the requested time at once,
// so paced loops run without waiting. Safe to use from several threads.
#pragma once

#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace liron {

class FakeClock : public Clock {
 public:
  explicit FakeClock(TDateTime now = 40000.0, uint32_t ticks = 0) : now_(now), ticks_(ticks) {}

  TDateTime Now() override {
    std::lock_guard<std::mutex> l(mu_);
    return now_;
  }
  uint32_t Ticks() override {
    std::lock_guard<std::mutex> l(mu_);
    return ticks_;
  }
  // Moves on with Advance and SleepMs only: SetNow and SetTicks leave it alone.
  uint64_t MonotonicMs() override {
    std::lock_guard<std::mutex> l(mu_);
    return mono_;
  }
  void SleepMs(uint32_t ms) override {
    std::lock_guard<std::mutex> l(mu_);
    sleeps_.push_back(ms);
    AdvanceLocked(ms);
  }

  void SetNow(TDateTime now) {
    std::lock_guard<std::mutex> l(mu_);
    now_ = now;
  }
  void SetTicks(uint32_t ticks) {
    std::lock_guard<std::mutex> l(mu_);
    ticks_ = ticks;
  }
  void Advance(uint32_t ms) {
    std::lock_guard<std::mutex> l(mu_);
    AdvanceLocked(ms);
  }
  std::vector<uint32_t> Sleeps() {
    std::lock_guard<std::mutex> l(mu_);
    return sleeps_;
  }
  void ClearSleeps() {
    std::lock_guard<std::mutex> l(mu_);
    sleeps_.clear();
  }

 private:
  void AdvanceLocked(uint32_t ms) {
    ticks_ += ms;  // wraps like the real counter
    mono_ += ms;
    now_ += ms / 86400000.0;
  }

  std::mutex mu_;
  TDateTime now_;
  uint32_t ticks_;
  uint64_t mono_ = 1000000;  // not 0: a stamp of 0 means "never"
  std::vector<uint32_t> sleeps_;
};

}  // namespace liron
