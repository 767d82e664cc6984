#include "signals/calc_works.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "signals/process_flags.h"

namespace liron {

const char kCounterName[] = "G_1T1";

void PutSetpointsOut(TProcessImage& img) {
  img.OutValues.Set(img.SignalIndex(kPlszName), img.PlszSetpoint);
  img.OutValues.Set(img.SignalIndex(kUrnszName), img.UrnszSetpoint);
}

bool CalcWorks(TProcessImage& img, TEventFIFO& events) {
  try {
    const int count = static_cast<int>(img.PlanRows());
    for (int i = 0; i < count; ++i) {
      const TSignalSet& row = img.Signals[i];
      if (row.SignalName.empty() || row.Direction != "READ" || row.SignalName == kCounterName)
        continue;
      TFlyAverage* avg = i < kMaxSignals ? img.Averages[i].get() : nullptr;
      if (avg == nullptr) throw std::runtime_error("row without its average");
      avg->SetNewData(img.PhysValues.Get(i));
      avg->SetAccepted(true);
      img.AvgValues.Set(i, avg->Average());
    }
    // The totaliser's increments are summed per minute, so its instant value is what counts.
    const int counter = img.SignalIndex(kCounterName);
    img.AvgValues.Set(counter, img.PhysValues.Get(counter));

    SetProcessFlags(img, img.AvgValues);

    const struct {
      const char* name;
      double value;
    } setpoints[] = {{kPlszName, img.PlszSetpoint}, {kUrnszName, img.UrnszSetpoint}};
    for (const auto& sp : setpoints) {
      const int k = img.SignalIndex(sp.name);
      img.AvgValues.Set(k, sp.value);
      img.PhysValues.Set(k, sp.value);
      img.OutValues.Set(k, sp.value);
    }
    img.AvgValues.SetMoment(img.clock.Now());
    return true;
  } catch (const std::exception&) {
    events.PostEvent("!!! Ошибка в функции CalcWorks() !!!");
    return false;
  }
}

}  // namespace liron
