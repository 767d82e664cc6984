// The event loop's periodic jobs: what the window's timers and the headless runner's run, each
// every PeriodMs on the event-loop thread. The window acts on the update tick's answer itself
// (UpdateTick), then refreshes its display.
#pragma once

#include <cstdint>

namespace liron {

class Service;

struct TPeriodicJob {
  const char* Name;     // the window's timer of it, by object name
  uint32_t PeriodMs;
  void (*Run)(Service& service);
  bool UpdateTick;      // Service::OnUpdateTick: the start-up sequence and the display
};

constexpr int kPeriodicJobCount = 4;
// TimerUpdate (OnUpdateTick, 250 ms), TimerGetLog (DrainEvents, 250 ms), TimerMySQL_work
// (RunWriteQueue, 100 ms), TimerMySQL_select (RunSelectQueue, 100 ms); started in this order.
extern const TPeriodicJob kPeriodicJobs[kPeriodicJobCount];

// Runs the job once; nothing leaves a timer handler: a fault beeps.
void RunPeriodicJob(const TPeriodicJob& job, Service& service);

}  // namespace liron
