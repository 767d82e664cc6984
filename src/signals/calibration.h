// Calibration of raw readings into physical values and the per-cycle input translation with
// the two process flags RAB (the circuit is working) and RN (the circuit is under load).
#pragma once

#include "image/process_image.h"
#include "image/signal_set.h"
#include "image/totaliser.h"
#include "platform/event_fifo.h"

namespace liron {

// The physical value of raw through the row's calibration table, by linear interpolation
// between the neighbouring points and by extending the outermost segment beyond the table.
// No table, or a point count outside 1..511, gives 0.0. Never fails, no side effects.
double CalibrateValue(double raw, const TSignalSet* table);

// After a plan is loaded: an event naming each totaliser whose table gives no gain or a gain
// that is not positive ("### Калибровка счетчика без положительного наклона: <name> ###"), or
// whose points are not on one line ("### Калибровка счетчика не линейна: <name> ###": it is
// booked by the first and last points only).
void ReportTotaliserTables(const TProcessImage& img, TEventFIFO& events);

// Control thread, once per cycle: PhysValues of every named READ row from RawValues (of a
// totaliser, its gain times the raw units, 0 without a gain), then
// RabValue from PLS against MinPls and RnValue from TNK1 against MinNagr and RAB, stored at the
// RAB and RN rows (slot 99 for a name outside the plan). False with the event
// "!!! Ошибка в функции TranslateIn() !!!" when it could not finish.
bool TranslateIn(TProcessImage& img, TEventFIFO& events);

}  // namespace liron
