#include "image/worker_priority.h"

namespace liron {

const char kRealtimeRefusedEvent[] =
    "=== Приоритет реального времени не разрешен (RLIMIT_RTPRIO): потоки приема работают с "
    "обычным приоритетом. ===";

bool RaiseWorkerPriority(TProcessImage& img, TEventFIFO& events, ThreadPriority priority) {
  if (SetCurrentThreadPriority(priority)) return true;
  if (!img.RealtimeRefusalPosted.exchange(true)) events.PostEvent(kRealtimeRefusedEvent);
  return false;
}

}  // namespace liron
