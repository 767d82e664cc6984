// The time seam: wall-clock time as TDateTime, the 32-bit millisecond tick count, a 64-bit
// monotonic millisecond count, and sleep.
// The service reads time only through a Clock, so tests can run minutes and hours in an instant.
#pragma once

#include <cstdint>

namespace liron {

// Local time as days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TDateTime Now() = 0;
  // Milliseconds since the machine started, wrapping at 2^32; compare with unsigned arithmetic.
  virtual uint32_t Ticks() = 0;
  // Milliseconds since the machine started, never wrapping nor stepped with the wall clock:
  // for "how long ago" that outlasts a clock set back or 49 days of ticks.
  virtual uint64_t MonotonicMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The machine's own clock: local time, CLOCK_BOOTTIME ticks, real sleeps.
class RealClock : public Clock {
 public:
  TDateTime Now() override;
  uint32_t Ticks() override;
  uint64_t MonotonicMs() override;
  void SleepMs(uint32_t ms) override;
};

// The process-wide real clock.
Clock& SystemClock();

}  // namespace liron
