// The setpoint write of the JUMO polling thread: each pass writes the order in force to every
// controller that still owes confirmed writes, and reports each controller's answer to the
// delivery (image/setpoint_delivery.h), which counts, repeats, gives up and journals.
#pragma once

#include <cstdint>

#include "image/process_image.h"
#include "links/modbus.h"
#include "platform/event_fifo.h"

namespace liron {

constexpr uint32_t kJumoIdleWriteMs = 100;   // a write pass with nothing to write
constexpr uint32_t kJumoWritePauseMs = 200;  // after every setpoint written

// One write pass. With HardWriteOff set, or nothing owed, it only waits 100 ms. Under JUMO
// emulation nothing is written: the order waits (journalled once) until emulation ends.
// Otherwise each owing controller receives, at every JUMO row that carries a setpoint of the
// order, the setpoint's value (never a value of a frame), and its answer is reported: a
// controller that answers every write has confirmed; one that does not (or a closed line)
// has failed, with the event "Сбой записи задания в контроллер JUMO <n>" once. False when a
// write failed or the line is closed.
bool HardWrite(TProcessImage& img, TModBUS* bus, TEventFIFO& events);

// The plan load's warning for every JUMO row whose name begins with "_" but carries no
// setpoint: it is never written. Posts "### Сигнал без задания не записывается: <name> ###".
void ReportUnwrittenSetpointRows(const TProcessImage& img, TEventFIFO& events);

}  // namespace liron
