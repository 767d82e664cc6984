// The control thread: start-up of the links and polling threads, then one paced cycle per
// 980 ms until StopFlag, whether or not the server answers (the work connection is checked and
// reopened off the thread), then an orderly shutdown.
#pragma once

#include "engine/control_plant.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "platform/operator.h"

namespace liron {

constexpr int kConnectAttemptsAtStart = 11;
// Failed reconnections in a row retried every cycle; the 302nd says the server is unavailable
// and from then on the thread tries every 10 s until the server is back.
constexpr int kReconnectFailuresTolerated = 300;
constexpr uint32_t kUnavailableRetryMs = 10000;
constexpr uint32_t kAfterCycleSleepMs = 50;
constexpr uint64_t kReadinessWindowMs = 5000;  // every module read within this long
constexpr int kMaxCycleSignals = 90;

// A cycle runs only with 1 to 90 signals and every module read within the last 5 s.
bool CheckCycleReady(TProcessImage& img);

// The body of the control thread.
void ControlLoop(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op);

// One pass of the cycle loop; exposed for tests. Returns false when the loop must end.
bool ControlCycle(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op);

}  // namespace liron
