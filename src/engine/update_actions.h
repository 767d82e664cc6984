// What the update tick asks of the window: the start-up sequence's steps and the plan's loads.
#pragma once

namespace liron {

struct TUpdateActions {
  bool Hide = false;              // tick 2 with AutoHide: minimize and hide the window
  bool SettingsToWindow = false;  // tick 7 with the user connection up
  bool RefillEmulGrid = false;    // tick 7, or the emulator values were applied since
  bool ShowEmulTabFromSettings = false;  // after the load of tick 5
  bool ShowSetpoint = false;      // CycleCounter mod 10 == 1
  bool PlanLoaded = false;           // the start-up has loaded the plan (the server answered)
  bool CalibrationsApplied = false;  // "Применить" has reloaded the plan (or given up)
};

}  // namespace liron
