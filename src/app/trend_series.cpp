#include "app/trend_series.h"

#include <algorithm>
#include <cmath>

namespace liron {
namespace {

// Collects the runs: each column's lowest and highest sample, in time order.
class SegmentBuilder {
 public:
  SegmentBuilder(TDateTime from, TDateTime to, int columns, bool steps)
      : from_(from),
        scale_(columns / std::max(to - from, 1e-9)),
        columns_(columns),
        steps_(steps) {}

  void Add(TDateTime t, double v) {
    const int column = std::clamp(static_cast<int>((t - from_) * scale_), 0, columns_ - 1);
    if (has_ && column != column_) Flush();
    if (!has_) {
      has_ = true;
      column_ = column;
      lo_ = hi_ = {t, v};
      return;
    }
    if (v < lo_.V) lo_ = {t, v};
    if (v > hi_.V) hi_ = {t, v};
  }

  void EndRun() {
    Flush();
    if (!run_.empty()) out_.push_back(std::move(run_));
    run_.clear();
  }

  std::vector<TTrendSegment> Take() {
    EndRun();
    return std::move(out_);
  }

 private:
  void Put(const TTrendPoint& p) {
    if (steps_ && !run_.empty()) run_.push_back({p.T, run_.back().V});
    run_.push_back(p);
  }
  void Flush() {
    if (!has_) return;
    has_ = false;
    if (lo_.T == hi_.T) {
      Put(lo_);
    } else if (lo_.T < hi_.T) {
      Put(lo_);
      Put(hi_);
    } else {
      Put(hi_);
      Put(lo_);
    }
  }

  const TDateTime from_;
  const double scale_;
  const int columns_;
  const bool steps_;
  bool has_ = false;
  int column_ = 0;
  TTrendPoint lo_{}, hi_{};
  TTrendSegment run_;
  std::vector<TTrendSegment> out_;
};

}  // namespace

std::vector<TTrendSegment> TrendSegments(const TTrendSamples& samples, TDateTime from, TDateTime to,
                                         int columns, double max_step, bool steps) {
  const std::vector<TDateTime>& t = *samples.Moments;
  const std::vector<double>& v = *samples.Values;
  SegmentBuilder b(from, to, std::max(columns, 1), steps);
  const size_t n = std::min(t.size(), v.size());
  size_t i =
      std::lower_bound(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n), from) - t.begin();
  TDateTime last = 0;
  bool in_run = false;
  for (; i < n && t[i] <= to; ++i) {
    if (std::isnan(v[i])) {
      b.EndRun();
      in_run = false;
      continue;
    }
    if (in_run && t[i] - last > max_step) b.EndRun();
    b.Add(t[i], v[i]);
    last = t[i];
    in_run = true;
  }
  return b.Take();
}

bool TrendValueAt(const TTrendSamples& samples, TDateTime t, double max_step, double* value) {
  const std::vector<TDateTime>& m = *samples.Moments;
  const std::vector<double>& v = *samples.Values;
  const size_t n = std::min(m.size(), v.size());
  if (n == 0) return false;
  const auto end = m.begin() + static_cast<std::ptrdiff_t>(n);
  size_t i = std::lower_bound(m.begin(), end, t) - m.begin();
  if (i == n || (i > 0 && t - m[i - 1] < m[i] - t)) --i;
  if (std::fabs(m[i] - t) > max_step || std::isnan(v[i])) return false;
  *value = v[i];
  return true;
}

}  // namespace liron
