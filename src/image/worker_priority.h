// Real-time priority of the worker threads. SCHED_FIFO needs root, or an RLIMIT_RTPRIO at least
// as high as the level a thread asks for (the systemd unit's LimitRTPRIO=). Without it a thread
// keeps the normal policy, and the event log says so once per run of the program, so a station
// that lost its priorities (a changed unit, a desktop start) shows it.
#pragma once

#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "platform/threads.h"

namespace liron {

extern const char kRealtimeRefusedEvent[];

// Raises the calling thread; false (and the event, the first time) when the system refused.
bool RaiseWorkerPriority(TProcessImage& img, TEventFIFO& events, ThreadPriority priority);

}  // namespace liron
