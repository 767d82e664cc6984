#include "signals/calibration.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "platform/event_fifo.h"
#include "signals/process_flags.h"

namespace liron {

namespace {

double Line(double raw, double a0, double f0, double a1, double f1) {
  const double d = a1 - a0;
  if (d == 0) return f0;
  return f0 + (raw - a0) * (f1 - f0) / d;
}

}  // namespace

double CalibrateValue(double raw, const TSignalSet* table) {
  if (table == nullptr) return 0.0;
  const int n = table->CalibCount;
  if (n < 1 || n >= kMaxCalibPoints) return 0.0;
  const auto& a = table->AVal;
  const auto& f = table->FVal;
  if (n == 1) return f[0];
  if (n == 2) return Line(raw, a[0], f[0], a[1], f[1]);

  // The points need not be sorted: look at all of them for the nearest one on either side.
  // Among points with equal hardware values the earlier one stays.
  int lower = -1, upper = -1;
  for (int k = 0; k < n; ++k) {
    if (raw == a[k]) return f[k];
    if (a[k] < raw) {
      if (lower < 0 || a[k] > a[lower]) lower = k;
    } else if (a[k] > raw) {
      if (upper < 0 || a[k] < a[upper]) upper = k;
    }
  }
  if (upper < 0 && lower < 0) return 0.0;  // raw is not a number: no side to stand on
  if (upper < 0) {
    // Above the table: extend the last segment, from the point just below the topmost one.
    upper = lower;
    lower = -1;
    for (int k = 0; k < n; ++k) {
      if (k == upper || !(a[k] < a[upper])) continue;
      if (lower < 0 || a[k] > a[lower]) lower = k;
    }
    if (lower < 0) return f[upper];
  } else if (lower < 0) {
    // Below the table: extend the first segment, up to the point just above the lowest one.
    lower = upper;
    upper = -1;
    for (int k = 0; k < n; ++k) {
      if (k == lower || !(a[k] > a[lower])) continue;
      if (upper < 0 || a[k] < a[upper]) upper = k;
    }
    if (upper < 0) return f[lower];
  }
  return Line(raw, a[lower], f[lower], a[upper], f[upper]);
}

void ReportTotaliserTables(const TProcessImage& img, TEventFIFO& events) {
  const int count = static_cast<int>(img.PlanRows());
  for (int i = 0; i < count; ++i) {
    const TSignalSet& t = img.Signals[i];
    if (!IsTotaliserName(t.SignalName)) continue;
    const std::optional<double> g = TotaliserGain(t);
    if (!g || *g <= 0) {
      events.PostEvent("### Калибровка счетчика без положительного наклона: " + t.SignalName +
                       " ###");
      continue;
    }
    for (int k = 1; k + 1 < t.CalibCount; ++k) {
      const double on_line = t.FVal[0] + (t.AVal[k] - t.AVal[0]) * *g;
      const double scale = std::fabs(t.FVal[0]) + std::fabs(t.FVal[t.CalibCount - 1]) + 1;
      if (std::fabs(t.FVal[k] - on_line) > 1e-9 * scale) {
        events.PostEvent("### Калибровка счетчика не линейна: " + t.SignalName + " ###");
        break;
      }
    }
  }
}

bool TranslateIn(TProcessImage& img, TEventFIFO& events) {
  try {
    const int count = static_cast<int>(img.PlanRows());
    for (int i = 0; i < count; ++i) {
      const TSignalSet& row = img.Signals[i];
      if (row.SignalName.empty() || row.Direction != "READ") continue;
      const double raw = img.RawValues.Get(i);
      if (IsTotaliserName(row.SignalName))
        img.PhysValues.Set(i, TotaliserGain(row).value_or(0.0) * raw);
      else
        img.PhysValues.Set(i, CalibrateValue(raw, &row));
    }
    SetProcessFlags(img, img.PhysValues);
    return true;
  } catch (const std::exception&) {
    events.PostEvent("!!! Ошибка в функции TranslateIn() !!!");
    return false;
  }
}

}  // namespace liron
