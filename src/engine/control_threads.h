// Starting and stopping the control thread. The control thread itself starts the two polling
// threads (through the plant) and waits for them before it ends.
#pragma once

#include <atomic>
#include <functional>

#include "engine/control_plant.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "platform/operator.h"
#include "platform/threads.h"

namespace liron {

constexpr size_t kControlStackSize = 128000;
constexpr size_t kPollStackSize = 65536;
constexpr int kStopPolls = 10;
constexpr uint32_t kStopPollMs = 50;

class TControlThreads {
 public:
  TControlThreads(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op);
  ~TControlThreads();  // raises StopFlag and waits for the control thread

  // True at once while the control thread runs (or is being started). Otherwise runs seed
  // (the totaliser seed from the newest per-minute row), clears StopFlag and starts the
  // thread. False when seed failed or threw, or the thread could not be created.
  bool StartControl(const std::function<bool()>& seed);
  // Raises StopFlag and polls ControlRunning up to 10 times, 50 ms apart.
  bool StopControl();
  // Raises nothing; waits until a control thread that was told to stop has ended.
  void WaitEnded();
  bool Alive() const { return alive_.load(); }

 private:
  TProcessImage& img_;
  ControlPlant& plant_;
  TEventFIFO& events_;
  Operator& op_;
  WorkerThread thread_;
  std::atomic<bool> alive_{false};  // set before the start, cleared when the body has ended
};

}  // namespace liron
