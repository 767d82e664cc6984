// JUMO polling: each pass reads every JUMO input signal of the plan through the Modbus master
// (or copies the emulator's values), then delivers the setpoints (links/setpoint_write.h).
// Both run on the JUMO polling thread only; the thread entry with its running flag
// belongs to the engine, which waits for the pass to end before it closes the port.
#pragma once

#include <cstdint>
#include <string>

#include "image/process_image.h"
#include "image/signal_set.h"
#include "links/line_keeper.h"
#include "links/modbus.h"
#include "links/module_watch.h"
#include "platform/event_fifo.h"

namespace liron {

constexpr uint32_t kJumoReadPauseMs = 50;    // after every reading

// A row of bus "JUMO" (exact case) with a signal name.
bool IsJumoSignal(const TSignalSet& s);
// A JUMO signal whose name begins with "_": a setpoint, written and never read.
bool IsJumoWriteSignal(const TSignalSet& s);
// DevNum 1 is module JUMO 1 (0); every other DevNum is JUMO 2 (1).
int JumoModule(int32_t dev_num);
// Points the bus at the row's controller, with the row's byte and word order.
void Address(TModBUS& bus, const TSignalSet& s);

// Reads every JUMO read signal into RawValues, stamping ModuleLastOk or counting ModuleErrors;
// the watch reports failing and recovered modules and signals with the bus's reason. A value
// that is no finite number (a broken sensor, a garbled float) is a failed reading. A read
// that finds the line's device gone ends the pass. False when the bus is missing or not
// connected (outside emulation) or the pass ended on an exception; true however many reads
// failed.
bool ModBUS_read(TProcessImage& img, TModBUS* bus, TEventFIFO& events, TModuleWatch& watch);

// The polling loop: raises its priority, counts JumoCycleCounter from 0, one pass per 980 ms
// until StopFlag. Outside emulation it keeps the bus's line open (TLineKeeper, reporting to
// events and journal); a pass without its line reads and writes nothing, so a pending setpoint
// waits for the line's return. Never throws.
void JumoPollThread(TProcessImage& img, TModBUS* bus, TEventFIFO& events,
                    const JournalSink& journal = {});

}  // namespace liron
