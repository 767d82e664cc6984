// TEventFIFO: the bounded ring of events that any thread posts into and the GUI thread drains
// into the daily log file. Posting never waits for a file or the database.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/operator.h"

namespace liron {

struct TEventFIFO_Rec {
  std::string Text;
  TDateTime Moment = 0;
  uint32_t TickSeconds = 0;
};

class TEventFIFO {
 public:
  // A capacity below 10 gives 10 slots. The beeper sounds when an event is refused (may be null).
  TEventFIFO(int capacity, Clock& clock, Operator* beeper = nullptr);

  bool Push(const std::string& text);
  bool Pop(std::string& text, TDateTime& moment, uint32_t& tick_seconds);
  int Count() const;
  int Capacity() const { return capacity_; }

  // Pushes an event; false without a beep for an empty text, false with a beep when full.
  bool PostEvent(const std::string& text);
  void SetBeeper(Operator* beeper);

 private:
  Clock& clock_;
  const int capacity_;
  mutable std::mutex mu_;
  std::vector<TEventFIFO_Rec> items_;
  int count_ = 0;
  int push_index_ = 0;
  int pop_index_ = 0;
  Operator* beeper_;
};

}  // namespace liron
