#include "image/fly_average.h"

#include <cmath>
#include <new>

#include "image/settings.h"

namespace liron {

namespace {
const char kSizeErrorText[] = "Нельзя устанавливать размер среднего менше чем 2.";
const char kSizeTooLongText[] = "Нельзя устанавливать размер среднего больше чем 3600.";
const char kNoMemoryText[] = "Не хватает памяти для скользящего среднего.";
}

TFlyAverage::TFlyAverage(Operator* op) : op_(op) {}

void TFlyAverage::SizeError() {
  if (op_) op_->ShowMessage(kSizeErrorText, "Ошибка", MsgIcon::Error);
}

void TFlyAverage::SetSize(int32_t n) {
  if (n == size_) return;
  if (n < 1) {
    SizeError();
    return;
  }
  if (n > kMaxAverageLen) {
    if (op_) op_->ShowMessage(kSizeTooLongText, "Ошибка", MsgIcon::Error);
    return;
  }
  const int32_t old = size_;
  size_ = n;
  if (!NewRing()) size_ = old;  // no ring of that length: the old one stays
}

void TFlyAverage::SetNewData(double v) {
  new_data_ = v;
  accepted_ = false;
}

void TFlyAverage::SetAccepted(bool v) {
  if (!v || accepted_) return;
  Add(new_data_);
  accepted_ = true;
}

void TFlyAverage::Reset() { NewRing(); }

bool TFlyAverage::NewRing() {
  if (size_ < 1) {
    SizeError();
    return false;
  }
  try {
    std::vector<double> ring(static_cast<size_t>(size_), 0.0);
    items_.swap(ring);
  } catch (const std::bad_alloc&) {
    if (op_) op_->ShowMessage(kNoMemoryText, "Ошибка", MsgIcon::Error);
    return false;
  }
  allocated_ = true;
  accepted_ = false;
  val_count_ = 0;
  write_index_ = 0;
  average_ = 0;
  total_sum_ = 0;
  return true;
}

double TFlyAverage::Add(double v) {
  if (!allocated_) return 0.0;
  if (!std::isfinite(v)) return average_;
  items_[write_index_] = v;
  if (val_count_ < size_) ++val_count_;
  if (++write_index_ >= size_) write_index_ = 0;
  // Summed afresh: a running sum keeps the rounding residue of every large sample that has
  // passed through it. At most 3600 additions, for at most 100 signals a cycle.
  double sum = 0;
  for (int32_t i = 0; i < val_count_; ++i) sum += items_[i];
  total_sum_ = sum;
  average_ = total_sum_ / val_count_;
  return average_;
}

double TFlyAverage::CalcSKO() const {
  if (val_count_ <= 5) return 0.0;
  double mean = 0;
  for (int32_t i = 0; i < val_count_; ++i) mean += items_[i];
  mean /= val_count_;
  double sq = 0;
  for (int32_t i = 0; i < val_count_; ++i) sq += (items_[i] - mean) * (items_[i] - mean);
  return std::sqrt(sq / (val_count_ - 1));
}

void TFlyAverage::SetSigma(double v) {
  if (v == -1) sigma_ = CalcSKO();
}

}  // namespace liron
