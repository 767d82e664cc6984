#include "sim_signals.h"

#include <vector>

namespace liron::simtools {

bool SimSignals::Open(std::initializer_list<int> ending, std::initializer_list<int> others,
                      std::string* error) {
  for (int sig : ending) ending_ |= Bit(sig);
  std::vector<int> all(ending);
  all.insert(all.end(), others.begin(), others.end());
  return descriptor_.Open(all, error);
}

void SimSignals::Take() {
  for (int sig = 0; descriptor_.Take(&sig);) {
    if (ending_ & Bit(sig))
      stop_ = true;
    else
      arrived_ |= Bit(sig);
  }
}

bool SimSignals::Arrived(int sig) {
  const bool was = arrived_ & Bit(sig);
  arrived_ &= ~Bit(sig);
  return was;
}

void SimSignals::SleepUntil(SteadyTime t) {
  while (!stop_ && descriptor_.WaitUntil(t)) Take();
}

}  // namespace liron::simtools
