#include "signals/process_flags.h"

namespace liron {

void SetProcessFlags(TProcessImage& img, TSignalValues& values) {
  const double rab = values.Get(img.SignalIndex("PLS")) > img.MinPls ? 1.0 : 0.0;
  img.RabValue = rab;
  values.Set(img.SignalIndex("RAB"), rab);
  const double tnk = values.Get(img.SignalIndex("TNK1"));
  values.SetMoment(img.clock.Now());
  const double rn = (tnk > img.MinNagr && rab == 1.0) ? 1.0 : 0.0;
  img.RnValue = rn;
  values.Set(img.SignalIndex("RN"), rn);
}

}  // namespace liron
