// TSignalValues: a value frame, one double per signal row index plus the frame's moment.
// Each slot is read and written whole by any thread; Add is one indivisible read-modify-write,
// which the integral counter needs (increased by V-120 polling, decreased by the record writer).
#pragma once

#include <array>
#include <atomic>

#include "platform/clock.h"

namespace liron {

constexpr int kMaxSignals = 100;  // value slots; slot 99 answers names outside the plan
constexpr int kSpareSlot = 99;

class TSignalValues {
 public:
  TSignalValues() { Clear(); }
  TSignalValues(const TSignalValues&) = delete;
  TSignalValues& operator=(const TSignalValues&) = delete;

  double Get(int i) const { return Value[Slot(i)].load(std::memory_order_relaxed); }
  void Set(int i, double v) { Value[Slot(i)].store(v, std::memory_order_relaxed); }
  void Add(int i, double delta) {
    std::atomic<double>& a = Value[Slot(i)];
    double cur = a.load(std::memory_order_relaxed);
    while (!a.compare_exchange_weak(cur, cur + delta, std::memory_order_relaxed)) {
    }
  }
  TDateTime GetMoment() const { return Moment.load(std::memory_order_relaxed); }
  void SetMoment(TDateTime m) { Moment.store(m, std::memory_order_relaxed); }

  void Clear() {
    Moment.store(0.0, std::memory_order_relaxed);
    for (auto& v : Value) v.store(0.0, std::memory_order_relaxed);
  }

  std::atomic<double> Moment{0.0};
  std::array<std::atomic<double>, kMaxSignals> Value;

 private:
  // An index outside 0..99 cannot come from the plan; it lands on the spare slot.
  static int Slot(int i) { return (i < 0 || i >= kMaxSignals) ? kSpareSlot : i; }
};

}  // namespace liron
