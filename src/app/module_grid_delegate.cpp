#include "app/module_grid_delegate.h"

#include <QApplication>
#include <QPainter>

namespace liron {

namespace {
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kRed(0xff, 0x00, 0x00);
const QColor kFixedBack(0xf0, 0xf0, 0xf0);
}  // namespace

TModuleCellStyle ModuleCellStyle(int row, int col, const QFont& base) {
  TModuleCellStyle st{base, kNavy, Qt::white, false};
  if (col < 1 || row < 1) {
    st.Fixed = true;
    st.Font = QFont(QStringLiteral("Courier New"), base.pointSize());
    st.Font.setStyleHint(QFont::Monospace);
    st.Font.setBold(true);
    st.Text = kNavy;
    st.Back = kFixedBack;
    return st;
  }
  st.Text = col == 1 ? kNavy : kRed;
  return st;
}

void ModuleGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const TModuleCellStyle st = ModuleCellStyle(index.row(), index.column(), option.font);
  const QString text = index.data(Qt::DisplayRole).toString();
  painter->save();
  painter->fillRect(option.rect, st.Back);
  painter->setFont(st.Font);
  painter->setPen(st.Text);
  // Centred, the halves rounded toward zero as the grid always drew them.
  const QFontMetrics fm(st.Font);
  const int w = fm.horizontalAdvance(text);
  const int h = fm.height();
  const int left = option.rect.left() + (option.rect.width() - w) / 2;
  const int top = option.rect.top() + (option.rect.height() - h) / 2;
  painter->drawText(QRect(left, top, w, h), Qt::AlignLeft | Qt::AlignTop, text);
  painter->restore();
}

}  // namespace liron
