#include "image/totaliser.h"

#include <cmath>

namespace liron {

bool IsTotaliserName(const std::string& name) { return name.find("G_1T") != std::string::npos; }

std::optional<double> TotaliserGain(const TSignalSet& table) {
  const int n = table.CalibCount;
  if (n < 2 || n >= kMaxCalibPoints) return std::nullopt;
  const double da = table.AVal[n - 1] - table.AVal[0];
  if (da == 0) return std::nullopt;
  const double g = (table.FVal[n - 1] - table.FVal[0]) / da;
  if (!std::isfinite(g)) return std::nullopt;
  return g;
}

}  // namespace liron
