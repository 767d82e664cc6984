// The calculated signals of one control cycle: the moving averages of the READ signals, the
// RAB and RN flags from the averaged density and load, and the operator setpoints in the
// rows of _PLSZ and _URNSZ.
#pragma once

#include "image/process_image.h"
#include "platform/event_fifo.h"

namespace liron {

// Name of the totaliser signal that is booked, not averaged (the setpoint names kPlszName and
// kUrnszName come with the process image).
extern const char kCounterName[];  // "G_1T1"

// Control thread, once per cycle after TranslateIn: every named READ row except G_1T1 offers
// its PhysValues value to its average and takes the average into AvgValues; G_1T1 is copied
// unaveraged; RabValue and RnValue are recomputed from the averaged PLS and TNK1 into the RAB
// and RN rows; PlszSetpoint and UrnszSetpoint go into AvgValues, PhysValues and OutValues at
// _PLSZ and _URNSZ (slot 99 for a name outside the plan). False with the event
// "!!! Ошибка в функции CalcWorks() !!!" when it could not finish, for example when a READ row
// has no average.
bool CalcWorks(TProcessImage& img, TEventFIFO& events);

// Puts both setpoints into OutValues at the _PLSZ and _URNSZ rows (slot 99 when absent).
void PutSetpointsOut(TProcessImage& img);

}  // namespace liron
