// V-120 polling: one pass reads every V-120 input signal of the plan through the PCOM link
// into RawValues; the integral counter (a totaliser whose signal name begins with "G_1T") is
// read on every fifth pass only and accumulated as scaled increments, each reading judged
// against the last accepted one (links/counter_reading.h). The polling loop runs
// one pass per 980 ms until StopFlag; the thread entry with its running flag is the engine's.
#pragma once

#include "image/process_image.h"
#include "links/line_keeper.h"
#include "links/vision_link.h"
#include "platform/event_fifo.h"

namespace liron {

// Every booked step of the totaliser is scaled by kV120CounterScale into the accumulator.
constexpr double kV120CounterScale = 0.01;

// Row i is read by V-120 polling: BusName "V120" and Direction "READ", both exact.
bool IsV120ReadRow(const TSignalSet& row);
// A V-120 row whose SignalName begins with "G_1T".
bool IsV120Counter(const TSignalSet& row);

// One pass over the plan; every_fifth lets the integral counter be read. True when every
// selected signal was read; the first failed reading ends the pass and leaves that row and
// the rows after it as they were, with its reason in *reason. Runs on the V-120 polling
// thread only.
bool V120_read(TProcessImage& img, TVisionLink& link, TEventFIFO& events, bool every_fifth,
               std::string* reason = nullptr);

// The body of the V-120 polling thread: raises its priority, zeroes V120CycleCounter and runs
// paced passes (img.clock) until StopFlag, stamping ModuleLastOk or counting ModuleErrors of
// the V-120 module, with a failing and a recovered V-120 reported (TModuleWatch). Outside
// emulation it keeps the link's line open (TLineKeeper); a pass without its line fails.
// Throws nothing.
void V120PollThread(TProcessImage& img, TVisionLink& link, TEventFIFO& events,
                    const JournalSink& journal = {});

}  // namespace liron
