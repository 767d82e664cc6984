// Pacing of the control cycle and of both polling loops: one pass per period measured from
// the pass's start, a fixed breather after an overrun, and a stop honoured within one slice.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace liron {

constexpr uint32_t kCyclePeriodMs = 980;
constexpr uint32_t kMinWaitMs = 50;       // shortest wait when a pass finished in time
constexpr uint32_t kOverrunWaitMs = 200;  // wait after a pass that overran its period
constexpr uint32_t kSliceMs = 200;        // longest single sleep: the stop latency

// The wait that follows a pass begun at tick start (unsigned arithmetic: the wrap of the tick
// counter is harmless).
uint32_t PaceWait(uint32_t start, uint32_t now, uint32_t period);

// Sleeps ms in slices of at most 200 ms, checking stop before each slice.
void SleepUnlessStopped(Clock& clock, const std::atomic<bool>& stop, uint32_t ms);

// Sleeps PaceWait in slices of at most 200 ms, checking stop before each slice.
void PaceCycle(Clock& clock, const std::atomic<bool>& stop, uint32_t start, uint32_t period);

}  // namespace liron
