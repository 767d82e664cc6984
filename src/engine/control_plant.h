// What the control thread drives: the work connection, the journal, the two field links, the
// polling threads and the steps of one cycle. The service wires the real parts behind it;
// tests of the loop's own rules (pacing, readiness, reconnection, stop) plug in their own.
#pragma once

#include <cstdint>
#include <string>

#include "links/line_keeper.h"
#include "platform/clock.h"

namespace liron {

class ControlPlant {
 public:
  virtual ~ControlPlant() = default;

  // Work connection: copy the user connection's parameters, open, state, close.
  virtual void CopyConnectionParams() = 0;
  virtual bool OpenWork() = 0;  // true when it is connected afterwards; start-up only
  // Whether the connection is held, without asking the server: never waits.
  virtual bool WorkConnected() = 0;
  virtual void CloseWork() = 0;
  // Asks the server, off the control thread, whether the work connection still stands, and
  // reopens it when it does not; false while the check before is still going on.
  virtual bool StartWorkCheck() = 0;
  struct WorkCheck {
    uint64_t Finished = 0;  // checks ended so far
    bool Ok = false;        // how the last one ended
  };
  virtual WorkCheck LastWorkCheck() = 0;

  virtual void Journal(const std::string& text) = 0;  // originator: the service itself
  // A record of an earlier moment; false when it could not be queued.
  virtual bool JournalAt(TDateTime moment, const std::string& text) = 0;
  virtual void LoadSetupConsts() = 0;

  // Field links. Each tells how opening its line went (a device not there yet is Awaited by
  // its polling thread); *port names the line when it is not open.
  virtual LineStart OpenJumoLine(std::string* port) = 0;
  virtual LineStart OpenV120Link(std::string* port) = 0;
  // Starts the V-120 and then the JUMO polling thread.
  virtual void StartPolling() = 0;
  // Waits until both polling threads have finished their pass and ended, then closes both
  // lines: a line is never closed under a running exchange.
  virtual void StopPollingAndCloseLines() = 0;

  // Steps of one cycle, in the order they run.
  virtual bool TranslateIn() = 0;
  virtual bool UpdateStateRecord() = 0;
  virtual bool CalcWorks() = 0;
  virtual bool ReadControlVector() = 0;
  virtual bool UpdatePafRecord() = 0;

  // Last call on the control thread before it ends (release per-thread library state).
  virtual void ControlThreadEnding() {}
};

}  // namespace liron
