#include "engine/systemd_report.h"

#include "platform/systemd_notify.h"

namespace liron {

TSystemdReport::TSystemdReport(Clock& clock) : clock_(clock), listening_(SystemdListening()) {}

void TSystemdReport::Ready() {
  if (listening_) SystemdNotify("READY=1");
}

void TSystemdReport::Stopping() {
  if (listening_) SystemdNotify("STOPPING=1");
}

void TSystemdReport::Tick(const std::string& status, uint64_t progress, bool control_alive) {
  if (!listening_) return;
  const uint32_t now = clock_.Ticks();
  if (status != status_sent_ && now - status_ticks_ >= kStatusMinGapMs) {
    SystemdNotify("STATUS=" + status);
    status_sent_ = status;
    status_ticks_ = now;
  }
  // A control thread that has not moved since the last ping gets no further ping.
  const bool moving = !control_alive || progress != ping_progress_;
  if (moving && (!pinged_ || now - ping_ticks_ >= kWatchdogPingMs)) {
    SystemdNotify("WATCHDOG=1");
    pinged_ = true;
    ping_ticks_ = now;
    ping_progress_ = progress;
  }
}

}  // namespace liron
