#include "engine/thread_entry.h"

namespace liron {

int RunThreadEntry(std::atomic<bool>& running, const std::function<void()>& body) {
  // One indivisible test-and-set, so two entries started together cannot both run.
  if (running.exchange(true)) return 0;
  int result = 1;
  try {
    body();
  } catch (...) {
    result = 0;
  }
  running = false;
  return result;
}

}  // namespace liron
