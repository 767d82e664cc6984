#include "platform/event_fifo.h"

namespace liron {

TEventFIFO::TEventFIFO(int capacity, Clock& clock, Operator* beeper)
    : clock_(clock), capacity_(capacity < 10 ? 10 : capacity), items_(capacity_), beeper_(beeper) {}

bool TEventFIFO::Push(const std::string& text) {
  TDateTime moment = clock_.Now();
  uint32_t tick_seconds = clock_.Ticks() / 1000;
  std::lock_guard<std::mutex> l(mu_);
  if (count_ >= capacity_) return false;
  TEventFIFO_Rec& rec = items_[push_index_];
  rec.Text = text;
  rec.Moment = moment;
  rec.TickSeconds = tick_seconds;
  push_index_ = (push_index_ + 1) % capacity_;
  ++count_;
  return true;
}

bool TEventFIFO::Pop(std::string& text, TDateTime& moment, uint32_t& tick_seconds) {
  std::lock_guard<std::mutex> l(mu_);
  if (count_ < 1) return false;
  TEventFIFO_Rec& rec = items_[pop_index_];
  text = std::move(rec.Text);
  moment = rec.Moment;
  tick_seconds = rec.TickSeconds;
  pop_index_ = (pop_index_ + 1) % capacity_;
  --count_;
  return true;
}

int TEventFIFO::Count() const {
  std::lock_guard<std::mutex> l(mu_);
  return count_;
}

bool TEventFIFO::PostEvent(const std::string& text) {
  if (text.empty()) return false;
  if (Push(text)) return true;
  Operator* beeper;
  {
    std::lock_guard<std::mutex> l(mu_);
    beeper = beeper_;
  }
  if (beeper) beeper->Beep();
  return false;
}

void TEventFIFO::SetBeeper(Operator* beeper) {
  std::lock_guard<std::mutex> l(mu_);
  beeper_ = beeper;
}

}  // namespace liron
