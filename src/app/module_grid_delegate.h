// StringGrid_stateDrawCell: how the module status grid draws its cells. The heading row and
// the module column in bold navy Courier New; the other cells on white, the poll time navy,
// the error count red; every text centred. No thresholds: a stale time or growing error count
// is not highlighted.
#pragma once

#include <QColor>
#include <QFont>
#include <QStyledItemDelegate>

namespace liron {

struct TModuleCellStyle {
  QFont Font;
  QColor Text;
  QColor Back;   // invalid: the grid's own fixed-cell background
  bool Fixed;    // heading row or module column
};

TModuleCellStyle ModuleCellStyle(int row, int col, const QFont& base);

class ModuleGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace liron
