// The simulator's signals as its loop sees them: the ending ones (SIGTERM, SIGINT, ...) set
// the stop flag, each of the others a flag of its own that the loop takes when it gets there.
// Built on the signal descriptor, so a sleep while bytes are paced out wakes for a signal.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "signal_descriptor.h"
#include "sim_wire.h"

namespace liron::simtools {

class SimSignals {
 public:
  // Blocks and listens for the ending signals and the others (numbers below 64); false, with
  // the reason, when it cannot.
  bool Open(std::initializer_list<int> ending, std::initializer_list<int> others,
            std::string* error);
  // For poll: readable while a signal waits.
  int fd() const { return descriptor_.fd(); }

  // Turns every signal that has arrived into its flag. Never blocks.
  void Take();
  bool Stopped() const { return stop_; }
  void Stop() { stop_ = true; }
  // True, once, when sig has arrived since the last time it was asked for.
  bool Arrived(int sig);

  // Sleeps until t; an ending signal cuts it short, the others are taken and wait their turn.
  void SleepUntil(SteadyTime t);
  // SleepUntil for the wire and port helpers.
  SleepUntilFn Sleeper() {
    return [this](SteadyTime t) { SleepUntil(t); };
  }

 private:
  static uint64_t Bit(int sig) { return sig > 0 && sig < 64 ? uint64_t{1} << sig : 0; }

  SignalDescriptor descriptor_;
  uint64_t ending_ = 0;
  uint64_t arrived_ = 0;  // the other signals taken and not yet asked for
  bool stop_ = false;
};

}  // namespace liron::simtools
