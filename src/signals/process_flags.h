// The two process flags of the circuit: RAB (the circuit is working, the density PLS is above
// MinPls) and RN (the circuit is under load, the load TNK1 is above MinNagr while RAB holds).
#pragma once

#include "image/process_image.h"
#include "image/signal_values.h"

namespace liron {

// Reads PLS and TNK1 from values, sets RabValue and RnValue and stores them at the RAB and RN
// rows of values (slot 99 for a name outside the plan), stamping values with the clock's time.
// The order is the flags' own: PLS is read, RAB stored, then TNK1 read, so a plan without RAB
// and TNK1 reads the RAB just stored in slot 99 as the load. Never fails.
void SetProcessFlags(TProcessImage& img, TSignalValues& values);

}  // namespace liron
