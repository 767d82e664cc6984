// The simulators' signals, read from a descriptor (signalfd) rather than caught by a handler.
// They are blocked before the simulator publishes its line, so a signal sent the moment the
// line appears is never lost, whatever runtime the simulator is built with (the
// ThreadSanitizer runtime drops a handled signal that arrives before the program's first
// blocking call), and the loop's poll wakes up on a signal at once.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace liron::simtools {

class SignalDescriptor {
 public:
  SignalDescriptor() = default;
  SignalDescriptor(const SignalDescriptor&) = delete;
  SignalDescriptor& operator=(const SignalDescriptor&) = delete;
  ~SignalDescriptor();

  // Blocks sigs (in this thread and every thread it starts later) and opens the descriptor;
  // false, with the reason, when it cannot.
  bool Open(const std::vector<int>& sigs, std::string* error);
  // For poll: readable while a signal waits.
  int fd() const { return fd_; }
  // The next signal that has arrived; false when none waits. Never blocks.
  bool Take(int* sig);
  // Waits up to ms milliseconds for a signal to arrive; true when one waits.
  bool Wait(int ms);
  // Waits until t (to the microsecond: the last stretch is slept exactly, for byte pacing), or
  // until a signal arrives: true then, and the caller takes it and decides.
  bool WaitUntil(std::chrono::steady_clock::time_point t);

 private:
  int fd_ = -1;
};

}  // namespace liron::simtools
