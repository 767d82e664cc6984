// The totaliser rows of a plan and the gain that turns their raw counter units into the
// production amount.
#pragma once

#include <optional>
#include <string>

#include "image/signal_set.h"

namespace liron {

// A totaliser row: its name contains "G_1T". Its raw value is an accumulator of counter units
// not yet booked, so its physical value is the gain times the raw units, not a point on a curve.
bool IsTotaliserName(const std::string& name);

// The gain of a totaliser's table: physical units per raw counter unit, the slope between the
// table's first and last points. None without two points at different raw values, or when the
// slope is not a finite number; the totaliser then books nothing and its raw units wait.
std::optional<double> TotaliserGain(const TSignalSet& table);

}  // namespace liron
