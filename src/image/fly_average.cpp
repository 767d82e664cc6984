#include "image/fly_average.h"

#include <cmath>

namespace liron {

namespace {
const char kSizeErrorText[] = "Нельзя устанавливать размер среднего менше чем 2.";
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
  size_ = n;
  Reset();
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

void TFlyAverage::Reset() {
  if (size_ < 1) {
    SizeError();
    return;
  }
  items_.assign(static_cast<size_t>(size_), 0.0);
  allocated_ = true;
  accepted_ = false;
  val_count_ = 0;
  write_index_ = 0;
  average_ = 0;
  total_sum_ = 0;
}

double TFlyAverage::Add(double v) {
  if (!allocated_) return 0.0;
  if (val_count_ == 0) {
    average_ = v;
    total_sum_ = v;
    val_count_ = 1;
    items_[0] = v;
    write_index_ = size_ > 1 ? 1 : 0;
    return average_;
  }
  if (val_count_ < size_) {
    items_[write_index_] = v;
    total_sum_ += v;
    ++val_count_;
  } else {
    total_sum_ -= items_[write_index_];
    items_[write_index_] = v;
    total_sum_ += v;
  }
  if (++write_index_ >= size_) write_index_ = 0;
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
