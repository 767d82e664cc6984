#include "app/tab_signal_plan.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "app/signal_plan_delegates.h"

namespace liron {

TabSignalPlan::TabSignalPlan(Service& service, QWidget* parent)
    : QWidget(parent), service_(service) {
  setObjectName(QStringLiteral("TabSheetSignals"));
  model_ = new SignalPlanModel(service.UserConnection(), service.Op(), this);
  model_->SetReadyCheck([&service] { return service.UserReady(); });
  DBGridSigEdit = new QTableView;
  DBGridSigEdit->setObjectName(QStringLiteral("DBGridSigEdit"));
  DBGridSigEdit->setModel(model_);
  DBGridSigEdit->setItemDelegateForColumn(SignalPlanModel::kBusName,
                                          new BusNameDelegate(DBGridSigEdit));
  DBGridSigEdit->setItemDelegateForColumn(SignalPlanModel::kKind, new KindDelegate(DBGridSigEdit));
  DBGridSigEdit->setEditTriggers(QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::SelectedClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
  DBGridSigEdit->setTabKeyNavigation(false);  // Tab and Ctrl+Tab move between controls and tabs
  DBGridSigEdit->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGridSigEdit->verticalHeader()->setDefaultSectionSize(22);
  DBGridSigEdit->horizontalHeader()->setMinimumSectionSize(40);
  const int widths[SignalPlanModel::kColumnCount] = {75, 135, 105, 65, 105, 130, 130, 100};
  for (int c = 0; c < SignalPlanModel::kColumnCount; ++c) DBGridSigEdit->setColumnWidth(c, widths[c]);
  LabelSigEditState = new QLabel;
  LabelSigEditState->setObjectName(QStringLiteral("LabelSigEditState"));
  LabelSigEditState->setStyleSheet(QStringLiteral("color: red;"));

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(DBGridSigEdit, 1);
  lay->addWidget(LabelSigEditState);
}

void TabSignalPlan::Open() {
  std::string error;
  if (model_->Load(&error))
    LabelSigEditState->clear();
  else
    LabelSigEditState->setText(QString::fromStdString(error));
}

}  // namespace liron
