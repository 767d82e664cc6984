// The drop-down editors of the signal plan grid: "Источник" offers CALC, ICP and V120 (and the
// row's own value when it is another, such as JUMO, so it is never lost by opening the list);
// "Тип значения" shows INT, FLOAT, LONG and BIT for the stored 0 to 3. Both lists open as the
// cell is entered.
#pragma once

#include <QStyledItemDelegate>

namespace liron {

class BusNameDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
};

class KindDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
};

}  // namespace liron
