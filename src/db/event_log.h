// The daily log files: every event leaves the ring buffer through the drain and, while
// SaveLogFlag is on, becomes one line of LogDir/yyyy_mm_dd.log, in Windows-1251 bytes as the
// station's older log readers expect.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/event_fifo.h"

namespace liron {

constexpr int kEventsPerDrain = 10;

// "TickSeconds | dd.mm.yyyy | hh:nn:ss | text", without the line end.
std::string FormatLogLine(uint32_t tick_seconds, TDateTime moment, const std::string& text);
// LogDir + "/" + yyyy_mm_dd + ".log" for the given day.
std::string LogFileName(const std::string& log_dir, TDateTime day);
// Appends the line (UTF-8, written as Windows-1251) and CR LF to the file of the day `now`,
// creating LogDir and its parents when missing. False when the file cannot be opened or
// written; nothing is reported.
bool AppendLogLine(const std::string& log_dir, TDateTime now, const std::string& line);

// One run of the drain timer: takes up to ten events out of the buffer and, when save is on,
// appends each to the file of the current day (by clock). Returns the number taken.
int DrainEventsToLog(TEventFIFO& events, const std::string& log_dir, bool save, Clock& clock);

}  // namespace liron
