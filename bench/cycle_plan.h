// The largest plan a control cycle runs (90 rows) in the shape of a plant: JUMO and V-120 READ
// rows with two-point calibrations, the totaliser G_1T1, the calculated RAB and RN, the two
// setpoint rows written to the controllers. EmulateReadings stands in for the polling threads
// (and the emulator): fresh raw values and module stamps before each cycle.
#pragma once

#include <cmath>
#include <string>

#include "image/process_image.h"

namespace liron::bench {

constexpr int kPlanRows = 90;

inline void BuildPlantPlan(TProcessImage& img) {
  img.Signals.clear();
  img.SignalNames.clear();
  for (int i = 0; i < kPlanRows; ++i) {
    TSignalSet s;
    s.BusName = i % 3 == 2 ? "V120" : "JUMO";
    s.Direction = "READ";
    switch (i) {
      case 0: s.SignalName = "PLS"; break;
      case 1: s.SignalName = "TNK1"; break;
      case 2: s.SignalName = "G_1T1"; break;
      case 3: s.SignalName = "RAB"; s.BusName = "CALC"; s.Direction = ""; break;
      case 4: s.SignalName = "RN"; s.BusName = "CALC"; s.Direction = ""; break;
      case 5: s.SignalName = "_PLSZ"; s.Direction = "WRITE"; break;
      case 6: s.SignalName = "_URNSZ"; s.Direction = "WRITE"; break;
      default: s.SignalName = "S" + std::to_string(i); break;
    }
    s.CalibCount = 2;
    s.AVal[0] = 0;
    s.FVal[0] = 1.0;
    s.AVal[1] = 100;
    s.FVal[1] = 2.0;
    img.Signals.push_back(s);
    img.SignalNames.push_back(s.SignalName);
  }
  img.SignalCount = kPlanRows;
  img.EnsureAverages(kPlanRows);
  img.ResetAverages();
}

// Readings of cycle k, stamped now, and every module seen now.
inline void EmulateReadings(TProcessImage& img, int64_t k) {
  for (int i = 0; i < kPlanRows; ++i)
    img.RawValues.Set(i, 50.0 + 10.0 * std::sin(0.01 * static_cast<double>(k) + i));
  const TDateTime now = img.clock.Now();
  for (auto& stamp : img.ModuleLastOk) stamp = now;
}

}  // namespace liron::bench
