// Process signals into the event loop: SIGINT, SIGTERM and SIGHUP are caught by a handler that
// only writes the signal's number into a pipe; the loop reads it and calls the action, where
// anything may be done safely.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace liron {

class SignalPipe {
 public:
  // Installs the handlers. action runs on the event loop's thread, once per signal.
  explicit SignalPipe(std::function<void(int)> action);
  ~SignalPipe();
  bool Ok() const { return notifier_ != nullptr; }
  // Stops delivering further signals (they stay caught and are dropped).
  void Disable();

 private:
  std::function<void(int)> action_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace liron
