// A two-column value grid (signal name, value) as the emulator and plant-state tabs show it:
// the first two rows and the first column are headings, drawn like fixed cells and never
// editable; the value cells are editable only where the tab allows it.
#pragma once

#include <QTableWidget>

#include "signals/emulator.h"

namespace liron {

// Makes a table look like a value grid: no Qt headers, two columns.
void SetupValueGrid(QTableWidget* grid, bool values_editable);

// Puts the rows of view into the grid. An empty view (no plan) leaves the grid as it was.
void FillValueGrid(QTableWidget* grid, const TValueGrid& view);

// The texts of the value column, one per signal row (the rows below the two heading rows).
std::vector<std::string> ValueGridCells(const QTableWidget* grid);

}  // namespace liron
