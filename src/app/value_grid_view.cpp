#include "app/value_grid_view.h"

#include <QHeaderView>

namespace liron {
namespace {

const QColor kFixedBack(0xf0, 0xf0, 0xf0);

QTableWidgetItem* Cell(QTableWidget* grid, int r, int c) {
  QTableWidgetItem* item = grid->item(r, c);
  if (!item) {
    item = new QTableWidgetItem;
    grid->setItem(r, c, item);
  }
  return item;
}

}  // namespace

void SetupValueGrid(QTableWidget* grid, bool values_editable) {
  grid->setColumnCount(2);
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setColumnWidth(0, 160);
  grid->verticalHeader()->setDefaultSectionSize(22);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(values_editable ? QAbstractItemView::AllEditTriggers
                                        : QAbstractItemView::NoEditTriggers);
  grid->setProperty("valuesEditable", values_editable);
}

void FillValueGrid(QTableWidget* grid, const TValueGrid& view) {
  if (view.Rows.empty()) return;
  const bool editable = grid->property("valuesEditable").toBool();
  grid->setRowCount(static_cast<int>(view.Rows.size()));
  for (int r = 0; r < static_cast<int>(view.Rows.size()); ++r) {
    for (int c = 0; c < 2; ++c) {
      QTableWidgetItem* item = Cell(grid, r, c);
      item->setText(QString::fromStdString(view.Rows[r][c]));
      const bool fixed = r < TValueGrid::kFixedRows || c < TValueGrid::kFixedCols;
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (!fixed && editable) flags |= Qt::ItemIsEditable;
      item->setFlags(flags);
      item->setBackground(fixed ? QBrush(kFixedBack) : QBrush(Qt::white));
      if (!fixed) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
  }
}

std::vector<std::string> ValueGridCells(const QTableWidget* grid) {
  std::vector<std::string> out;
  for (int r = TValueGrid::kFixedRows; r < grid->rowCount(); ++r) {
    const QTableWidgetItem* item = grid->item(r, 1);
    out.push_back(item ? item->text().toStdString() : std::string());
  }
  return out;
}

}  // namespace liron
