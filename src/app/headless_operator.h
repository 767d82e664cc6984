// The operator seam of the daemon: nobody is there to click, so a message goes to the event
// log and to stderr, a question takes its default answer, and a beep is only counted.
#pragma once

#include <atomic>

#include "platform/event_fifo.h"
#include "platform/operator.h"

namespace liron {

class HeadlessOperator : public Operator {
 public:
  HeadlessOperator() = default;
  // Messages are also posted here once the service's event buffer exists.
  void SetEvents(TEventFIFO* events) { events_ = events; }

  void ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon) override;
  bool Ask(const std::string& text, const std::string& caption, MsgIcon icon,
           bool default_yes) override;
  void Beep() override { ++beeps_; }
  int Beeps() const { return beeps_.load(); }

 private:
  std::atomic<TEventFIFO*> events_{nullptr};
  std::atomic<int> beeps_{0};
};

}  // namespace liron
