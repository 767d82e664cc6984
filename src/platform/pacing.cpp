#include "platform/pacing.h"

#include <algorithm>

namespace liron {

uint32_t PaceWait(uint32_t start, uint32_t now, uint32_t period) {
  const uint32_t elapsed = now - start;
  if (elapsed < period) return std::max(period - elapsed, kMinWaitMs);
  return kOverrunWaitMs;
}

void PaceCycle(Clock& clock, const std::atomic<bool>& stop, uint32_t start, uint32_t period) {
  SleepUnlessStopped(clock, stop, PaceWait(start, clock.Ticks(), period));
}

void SleepUnlessStopped(Clock& clock, const std::atomic<bool>& stop, uint32_t wait) {
  uint32_t slept = 0;
  while (slept < wait && !stop.load()) {
    const uint32_t slice = std::min(kSliceMs, wait - slept);
    clock.SleepMs(slice);
    slept += slice;
  }
}

}  // namespace liron
