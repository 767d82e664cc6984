// The curves of the trends tab as points: samples cut into runs at the gaps and thinned to the
// width of the plot, so a week of minute rows costs no more to draw than an hour of cycles.
#pragma once

#include <vector>

#include "platform/clock.h"

namespace liron {

struct TTrendPoint {
  TDateTime T;
  double V;
};
using TTrendSegment = std::vector<TTrendPoint>;

// What one curve is cut from: samples in time order; NaN marks a failed cycle.
struct TTrendSamples {
  const std::vector<TDateTime>* Moments;
  const std::vector<double>* Values;
};

// The runs of the samples within [from, to]. A run ends at a NaN value and where two samples
// lie more than max_step apart (the service stood still, a minute has no row). Each run keeps
// at most its lowest and highest value (in time order) per column of the plot, of which there
// are `columns` over [from, to], so no spike is lost. steps: the value holds until the next
// sample, as the flags RAB and RN do.
std::vector<TTrendSegment> TrendSegments(const TTrendSamples& samples, TDateTime from, TDateTime to,
                                         int columns, double max_step, bool steps);

// The value shown at moment t: that of the nearest sample within max_step; false when there is
// none or it is a gap.
bool TrendValueAt(const TTrendSamples& samples, TDateTime t, double max_step, double* value);

}  // namespace liron
