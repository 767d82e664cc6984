#include "app/signal_plan_delegates.h"

#include <QComboBox>
#include <QTimer>

#include "app/signal_plan_model.h"

namespace liron {
namespace {

QComboBox* OpeningCombo(QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setEditable(false);
  QTimer::singleShot(0, box, [box] {
    if (box->isVisible()) box->showPopup();
  });
  return box;
}

}  // namespace

QWidget* BusNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const {
  QComboBox* box = OpeningCombo(parent);
  QStringList items = SignalPlanModel::BusNamesOffered();
  const QString stored = index.data(Qt::EditRole).toString().trimmed();
  if (!stored.isEmpty() && !items.contains(stored)) items << stored;
  box->addItems(items);
  // Choosing an item commits it at once; the grid writes it to the table.
  connect(box, &QComboBox::activated, box, [this, box] {
    auto* self = const_cast<BusNameDelegate*>(this);
    emit self->commitData(box);
    emit self->closeEditor(box);
  });
  return box;
}

void BusNameDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* box = static_cast<QComboBox*>(editor);
  box->setCurrentText(index.data(Qt::EditRole).toString().trimmed());
}

void BusNameDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
  auto* box = static_cast<QComboBox*>(editor);
  const QString text = box->currentText();
  if (text != index.data(Qt::EditRole).toString().trimmed())
    model->setData(index, text, Qt::EditRole);
}

QWidget* KindDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                    const QModelIndex& index) const {
  QComboBox* box = OpeningCombo(parent);
  for (int k = 0; k < 4; ++k) box->addItem(QString::fromLatin1(SignalPlanModel::kKindNames[k]), k);
  bool ok = false;
  const int stored = index.data(Qt::EditRole).toInt(&ok);
  if (ok && (stored < 0 || stored > 3)) box->addItem(QString::number(stored), stored);
  connect(box, &QComboBox::activated, box, [this, box] {
    auto* self = const_cast<KindDelegate*>(this);
    emit self->commitData(box);
    emit self->closeEditor(box);
  });
  return box;
}

void KindDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* box = static_cast<QComboBox*>(editor);
  bool ok = false;
  const int stored = index.data(Qt::EditRole).toInt(&ok);
  const int i = ok ? box->findData(stored) : -1;
  box->setCurrentIndex(i);
}

void KindDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
  auto* box = static_cast<QComboBox*>(editor);
  if (box->currentIndex() < 0) return;
  const QString value = QString::number(box->currentData().toInt());
  if (value != index.data(Qt::EditRole).toString()) model->setData(index, value, Qt::EditRole);
}

}  // namespace liron
