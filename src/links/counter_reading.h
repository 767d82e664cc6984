// How one reading of the V-120 totaliser is booked against the last accepted reading (the
// base). A step that is an increase of at most MAX_G_STEP raw counts is booked as it comes.
// Any other reading (a decrease, which may be a wrap or a reset, or a larger increase) books
// nothing and is held as refused until the next reading decides: one that fits the base drops
// the refused reading, one that fits the refused reading confirms it, and the step from the
// base to that confirmed reading is booked once. A garbled frame that passed the link's byte-sum
// check, or a stale lower reading, therefore never books an amount, nor moves the base.
#pragma once

#include <optional>
#include <string>

namespace liron {

// The controller's totaliser wraps at kV120CounterWrap.
constexpr double kV120CounterWrap = 999999900.0;

struct TCounterVerdict {
  enum Outcome { kBooked, kRefused, kConfirmed, kDropped };
  Outcome What = kBooked;
  double Step = 0;          // raw counts to book (kBooked, kConfirmed)
  bool Backwards = false;   // kConfirmed: the counter went round its limit or was reset
  double From = 0;          // the base the reading was judged against
  double Dropped = 0;       // kDropped: the refused reading let go
};

// Takes reading into *base and *refused by the rule above; max_step is MAX_G_STEP. A refused
// reading dropped by another that does not fit either gives kDropped, the new one held.
TCounterVerdict TakeCounterReading(double reading, double max_step, double* base,
                                   std::optional<double>* refused);

// The event that says what a verdict did: "" for a plain booking or a refusal.
std::string CounterVerdictText(const TCounterVerdict& v, double reading);

}  // namespace liron
