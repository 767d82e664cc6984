// TClockCheck: the station's clock against the server's, compared at each opening of a
// connection. Minute keys and setpoint rows are dated by one clock and compared with the
// other, so a station clock that runs away from the server's is said in the journal: once
// when the two first differ by more than 60 s, and again only after they have been back
// within 60 s in between.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace liron {

constexpr double kClockToleranceSec = 60;

class TClockCheck {
 public:
  using Sink = std::function<void(const std::string&)>;
  TClockCheck(Clock& clock, Sink journal);

  // The server's NOW() as a connection just opened read it. Any thread.
  void Compare(TDateTime server_now);
  // The server's time now: its NOW() at the latest comparison moved on by the monotonic
  // clock, so a step of the station's wall clock does not move it; nullopt before the first.
  std::optional<TDateTime> ServerNow() const;

 private:
  Clock& clock_;
  Sink journal_;
  mutable std::mutex mu_;
  // The latest comparison: the server's NOW() and the monotonic count when it was read.
  std::optional<TDateTime> server_at_;
  uint64_t mono_at_ = 0;
  bool apart_ = false;  // in an episode of more than the tolerance
};

}  // namespace liron
