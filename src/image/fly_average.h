// TFlyAverage: a moving average over the last Size accepted samples, kept as a ring with a
// running sum so that adding a sample costs the same whatever the length.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/operator.h"

namespace liron {

class TFlyAverage {
 public:
  // The operator receives the error box for a size below 1 (may be null in tests of the ring).
  explicit TFlyAverage(Operator* op = nullptr);

  int32_t Size() const { return size_; }
  // The current size does nothing; n >= 1 sets it and resets; n < 1 shows the error box.
  void SetSize(int32_t n);

  double NewData() const { return new_data_; }
  void SetNewData(double v);  // stores the sample and clears Accepted

  bool Accepted() const { return accepted_; }
  // true while not yet accepted adds NewData once; anything else changes nothing.
  void SetAccepted(bool v);

  double Average() const { return average_; }
  double TotalSum() const { return total_sum_; }
  int32_t ValCount() const { return val_count_; }
  int32_t WriteIndex() const { return write_index_; }

  void Reset();
  double Add(double v);
  double CalcSKO() const;

  double Sigma() const { return sigma_; }
  void SetSigma(double v);  // only -1 computes it

 private:
  void SizeError();

  Operator* op_;
  std::vector<double> items_;
  bool allocated_ = false;
  int32_t size_ = 10;
  double new_data_ = 0;
  bool accepted_ = false;
  int32_t write_index_ = 0;
  double average_ = 0;
  double total_sum_ = 0;
  int32_t val_count_ = 0;
  double sigma_ = 0;
};

}  // namespace liron
