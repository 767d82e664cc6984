#include "app/tab_calibration.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QHeaderView>
#include <QVBoxLayout>

namespace liron {

namespace {
const char kApplyQuestion[] =
    "Для применения настроек понадобиться перезапуск\r\nпотока контроля аппаратуры.\r\n"
    "   Применить изменение настроек?";
}  // namespace

TabCalibration::TabCalibration(Service& service, QWidget* parent)
    : QWidget(parent), service_(service) {
  setObjectName(QStringLiteral("TabSheetCalibr"));
  model_ = new CalibrationModel(service.UserConnection(), service.Op(), this);
  model_->SetReadyCheck([&service] { return service.UserReady(); });
  ComboBoxSignalName = new QComboBox;
  ComboBoxSignalName->setObjectName(QStringLiteral("ComboBoxSignalName"));
  ComboBoxSignalName->setEditable(false);  // choice only
  ComboBoxSignalName->setMinimumWidth(160);
  DBGridCalibr = new QTableView;
  DBGridCalibr->setTabKeyNavigation(false);
  DBGridCalibr->setObjectName(QStringLiteral("DBGridCalibr"));
  DBGridCalibr->setModel(model_);
  DBGridCalibr->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGridCalibr->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGridCalibr->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  DBGridCalibr->verticalHeader()->setDefaultSectionSize(22);
  ButAddRecord = new QPushButton(QStringLiteral("Добавить"));
  ButAddRecord->setObjectName(QStringLiteral("ButAddRecord"));
  ButDelRecord = new QPushButton(QStringLiteral("Удалить"));
  ButDelRecord->setObjectName(QStringLiteral("ButDelRecord"));
  ButSave = new QPushButton(QStringLiteral("Применить"));
  ButSave->setObjectName(QStringLiteral("ButSave"));
  for (QPushButton* b : {ButAddRecord, ButDelRecord, ButSave}) b->setAutoDefault(false);
  LabelCalibrState = new QLabel;
  LabelCalibrState->setObjectName(QStringLiteral("LabelCalibrState"));
  LabelCalibrState->setStyleSheet(QStringLiteral("color: red;"));

  auto* top = new QHBoxLayout;
  top->addWidget(ComboBoxSignalName);
  top->addStretch();
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ButAddRecord);
  buttons->addWidget(ButDelRecord);
  buttons->addStretch();
  buttons->addWidget(ButSave);
  auto* middle = new QHBoxLayout;
  middle->addWidget(DBGridCalibr, 1);
  middle->addLayout(buttons);
  auto* lay = new QVBoxLayout(this);
  lay->addLayout(top);
  lay->addLayout(middle, 1);
  lay->addWidget(LabelCalibrState);

  connect(ComboBoxSignalName, &QComboBox::currentIndexChanged, this,
          &TabCalibration::ComboBoxSignalNameChange);
  connect(ButAddRecord, &QPushButton::clicked, this, &TabCalibration::ButAddRecordClick);
  connect(ButDelRecord, &QPushButton::clicked, this, &TabCalibration::ButDelRecordClick);
  connect(ButSave, &QPushButton::clicked, this, &TabCalibration::ButSaveClick);
}

void TabCalibration::RefillSignalNames() {
  QStringList names;
  for (const std::string& n : service_.CalibrationSignalNames())
    names << QString::fromStdString(n);
  QStringList shown;
  for (int i = 0; i < ComboBoxSignalName->count(); ++i) shown << ComboBoxSignalName->itemText(i);
  if (names == shown) return;
  const QString chosen = ComboBoxSignalName->currentText();
  {
    const QSignalBlocker block(ComboBoxSignalName);
    ComboBoxSignalName->clear();
    ComboBoxSignalName->addItems(names);
    ComboBoxSignalName->setCurrentIndex(names.isEmpty() ? -1 : std::max<int>(0, static_cast<int>(names.indexOf(chosen))));
  }
  ComboBoxSignalNameChange();
}

void TabCalibration::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  TabSheetCalibrShow();
}

void TabCalibration::TabSheetCalibrShow() {
  try {
    RefillSignalNames();
    // Every showing starts at the first signal of the list.
    if (ComboBoxSignalName->count() > 0) {
      if (ComboBoxSignalName->currentIndex() != 0)
        ComboBoxSignalName->setCurrentIndex(0);  // loads through the change handler
      else
        ComboBoxSignalNameChange();
    }
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabCalibration::ComboBoxSignalNameChange() {
  try {
    std::string error;
    if (model_->SetSignal(ComboBoxSignalName->currentText().toStdString(), &error))
      LabelCalibrState->clear();
    else
      LabelCalibrState->setText(QString::fromStdString(error));
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabCalibration::ButAddRecordClick() {
  try {
    if (ComboBoxSignalName->currentIndex() < 0) return;  // no signal to add a point to
    const int r = model_->AddRow();
    const QModelIndex first = model_->index(r, CalibrationModel::kAVal);
    DBGridCalibr->setCurrentIndex(first);
    DBGridCalibr->edit(first);
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabCalibration::ButDelRecordClick() {
  try {
    const QModelIndex current = DBGridCalibr->currentIndex();
    if (current.isValid()) model_->DeleteRow(current.row());
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabCalibration::ButSaveClick() {
  try {
    if (!service_.Op().Ask(kApplyQuestion, "Калибровки", MsgIcon::Warning, true)) return;
    // The edit in progress and a pending point go to the table first.
    // (an open cell editor commits when it loses the focus).
    if (QWidget* w = DBGridCalibr->focusWidget(); w && w != DBGridCalibr) w->clearFocus();
    if (!model_->PostPending()) return;  // refused: the operator was told, nothing restarts
    service_.ApplyCalibrations();  // goes on in the update ticks; then AfterApply
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabCalibration::AfterApply() {
  try {
    RefillSignalNames();
    ComboBoxSignalNameChange();
    emit CalibrationsApplied();
  } catch (...) {
    service_.Op().Beep();
  }
}

}  // namespace liron
