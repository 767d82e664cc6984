// The emulator: values typed by the operator stand in for the field devices. The switches
// choose which link reads EmulValues instead of its device; the grid helpers move values
// between EmulValues (and any other frame) and the two-column grids of the window.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "db/journal.h"
#include "image/process_image.h"
#include "image/signal_values.h"
#include "platform/event_fifo.h"

namespace liron {

// "Включить эмулятор": both links at once. The single switches keep their own check boxes.
void SetEmulFlag(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal);
// "эмулятор V120": the V-120 rows only.
void SetV120Emul(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal);
// "эмулятор Jumo": the JUMO rows only.
void SetJumoEmul(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal);

// "Принять новые значения": cell_texts[i] is the value cell of signal row i. Every row in
// turn takes its number (a decimal point or comma) into EmulValues, and EmulValues.Moment
// becomes now. A cell that is not a number (or missing) stops at that row: rows above keep
// their new values, the rest their old ones, the moment stays, and the result is false with
// error naming the cell.
bool SetNewEmulValues(TProcessImage& img, const std::vector<std::string>& cell_texts,
                      std::string* error = nullptr);

// After a plan load: every emulated value follows its signal by name to the signal's new row
// (a signal new to the plan starts at 0), so a reordered plan never feeds one signal's value to
// another. names_before: the plan's names before the load; empty leaves the values alone.
void KeepEmulValuesByName(TProcessImage& img, const std::vector<std::string>& names_before);

// What a two-column value grid shows: rows of (name, value) texts; the first two rows and the
// first column are headings.
struct TValueGrid {
  static constexpr int kFixedRows = 2;
  static constexpr int kFixedCols = 1;
  std::vector<std::array<std::string, 2>> Rows;
};

// "Сигнал" / "Значение", "Время:" / the frame's time of day, then each signal row's name and
// value as "########0.###". Empty (the grid stays as it was) while the plan is empty.
TValueGrid ShowValueFrame(const TProcessImage& img, const TSignalValues& frame);

}  // namespace liron
