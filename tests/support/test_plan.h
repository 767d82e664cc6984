// Builds a signal plan in a process image the way the loader leaves it: rows in order, names
// for SignalIndex, an average per row and the identity calibration (0, 0), (100, 100).
#pragma once

#include <initializer_list>
#include <string>

#include "image/process_image.h"

namespace liron::test {

struct PlanRow {
  std::string bus, name, direction;
  int32_t dev = 0;  // where a polling thread reads it
  uint16_t addr = 0;
  int32_t kind = 0;
};

inline void SetPlan(TProcessImage& img, std::initializer_list<PlanRow> rows) {
  img.Signals.clear();
  img.SignalNames.clear();
  for (const PlanRow& r : rows) {
    TSignalSet s;
    s.BusName = r.bus;
    s.SignalName = r.name;
    s.Direction = r.direction;
    s.DevNum = r.dev;
    s.Addr = r.addr;
    s.Kind = r.kind;
    s.CalibCount = 2;
    s.AVal[1] = 100;
    s.FVal[1] = 100;
    img.Signals.push_back(s);
    img.SignalNames.push_back(r.name);
  }
  img.SignalCount = static_cast<int32_t>(img.Signals.size());
  img.EnsureAverages(static_cast<int>(img.Signals.size()));
  img.ResetAverages();
}

}  // namespace liron::test
