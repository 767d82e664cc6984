#include "engine/control_threads.h"

#include "engine/control_loop.h"
#include "engine/thread_entry.h"

namespace liron {

TControlThreads::TControlThreads(TProcessImage& img, ControlPlant& plant, TEventFIFO& events,
                                 Operator& op)
    : img_(img), plant_(plant), events_(events), op_(op) {}

TControlThreads::~TControlThreads() {
  img_.StopFlag = true;
  WaitEnded();
}

bool TControlThreads::StartControl(const std::function<bool()>& seed) {
  if (img_.ControlRunning.load() || alive_.load()) return true;
  thread_.Join();  // the previous control thread has ended; release it
  try {
    if (seed && !seed()) return false;
  } catch (...) {
    return false;
  }
  img_.StopFlag = false;
  alive_ = true;
  bool started = thread_.Start(kControlStackSize, [this] {
    RunThreadEntry(img_.ControlRunning, [this] { ControlLoop(img_, plant_, events_, op_); });
    plant_.ControlThreadEnding();
    alive_ = false;
  });
  if (!started) alive_ = false;
  return started;
}

bool TControlThreads::StopControl() {
  img_.StopFlag = true;
  for (int i = 0; i < kStopPolls; ++i) {
    img_.clock.SleepMs(kStopPollMs);
    if (!alive_.load()) return true;
  }
  return false;
}

void TControlThreads::WaitEnded() { thread_.Join(); }

}  // namespace liron
