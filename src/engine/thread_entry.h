// The entry of each worker thread: one copy at a time, guarded by its running flag, and no
// exception ever leaves it.
#pragma once

#include <atomic>
#include <functional>

namespace liron {

// Returns 0 at once when running is already set; otherwise sets it, runs body and clears it.
// The result is 1 after a normal return and 0 after an exception.
int RunThreadEntry(std::atomic<bool>& running, const std::function<void()>& body);

}  // namespace liron
