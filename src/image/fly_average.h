// TFlyAverage: a moving average over the last Size accepted samples, kept as a ring. The sum
// is taken over the ring at every sample, so one huge sample leaves no trace once it has left
// the ring; a sample that is no finite number is not taken at all.
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
  // The current size does nothing; 1 <= n <= kMaxAverageLen sets it and resets; any other
  // size shows the error box and keeps the ring.
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

  // Empties the ring at the current size. When the ring cannot be allocated the error box
  // says so and the average stays as it was.
  void Reset();
  // Adds a finite sample and gives the new average; anything else changes nothing.
  double Add(double v);
  double CalcSKO() const;

  double Sigma() const { return sigma_; }
  void SetSigma(double v);  // only -1 computes it

 private:
  void SizeError();
  bool NewRing();  // Reset; false when the size is refused or the ring cannot be allocated

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
