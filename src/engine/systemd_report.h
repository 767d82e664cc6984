// What the program tells systemd from its event loop: READY=1 once its own start-up is done,
// the status line of "systemctl status" when it changes, and the watchdog's ping while the
// control thread shows progress (or is stopped). A wedged control thread or a wedged event
// loop stops the pings, and systemd restarts the service; an outage of the server does not,
// since the control thread's reconnection attempts are progress too.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace liron {

constexpr uint32_t kWatchdogPingMs = 5000;  // WatchdogSec=30 in the unit: pings well within
constexpr uint32_t kStatusMinGapMs = 1000;

class TSystemdReport {
 public:
  explicit TSystemdReport(Clock& clock);

  bool Listening() const { return listening_; }
  void Ready();
  void Stopping();
  // Every update tick. progress: the control thread's ControlProgress; control_alive: the
  // control thread exists.
  void Tick(const std::string& status, uint64_t progress, bool control_alive);

 private:
  Clock& clock_;
  const bool listening_;
  std::string status_sent_;
  uint32_t status_ticks_ = 0;
  bool pinged_ = false;
  uint32_t ping_ticks_ = 0;
  uint64_t ping_progress_ = 0;
};

}  // namespace liron
