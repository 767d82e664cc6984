#include "links/counter_reading.h"

#include <cstdio>

namespace liron {

namespace {

bool Fits(double from, double to, double max_step) { return to >= from && to - from <= max_step; }

// The step from the base to a confirmed lower reading: round the limit when that is within
// max_step, else counted from 0 after a reset when the reading is, else none (the counter
// was set to another value).
double StepBackwards(double base, double reading, double max_step) {
  const double across = kV120CounterWrap - base + reading;
  if (across >= 0 && across <= max_step) return across;
  if (reading <= max_step) return reading;
  return 0;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace

TCounterVerdict TakeCounterReading(double reading, double max_step, double* base,
                                   std::optional<double>* refused) {
  TCounterVerdict v;
  v.From = *base;
  if (Fits(*base, reading, max_step)) {
    v.Step = reading - *base;
    *base = reading;
    if (refused->has_value()) {
      v.What = TCounterVerdict::kDropped;
      v.Dropped = **refused;
      refused->reset();
    }
    return v;
  }
  if (refused->has_value() && Fits(**refused, reading, max_step)) {
    v.What = TCounterVerdict::kConfirmed;
    v.Backwards = reading < *base;
    v.Step = v.Backwards ? StepBackwards(*base, reading, max_step) : reading - *base;
    *base = reading;
    refused->reset();
    return v;
  }
  if (refused->has_value()) {
    v.What = TCounterVerdict::kDropped;
    v.Dropped = **refused;
  } else {
    v.What = TCounterVerdict::kRefused;
  }
  *refused = reading;
  return v;
}

std::string CounterVerdictText(const TCounterVerdict& v, double reading) {
  switch (v.What) {
    case TCounterVerdict::kConfirmed:
      return "### Показание интегрального счетчика подтверждено: " + Number(v.From) + " -> " +
             Number(reading) + " ###";
    case TCounterVerdict::kDropped:
      return "### Показание интегрального счетчика отброшено: " + Number(v.Dropped) +
             ", база " + Number(v.From) + " ###";
    default:
      return "";
  }
}

}  // namespace liron
