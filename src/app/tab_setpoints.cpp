#include "app/tab_setpoints.h"

#include <QFormLayout>
#include <QVBoxLayout>

#include "signals/setpoints.h"

namespace liron {

TabSetpoints::TabSetpoints(Service& service, QWidget* parent)
    : QWidget(parent), service_(service) {
  setObjectName(QStringLiteral("TabSheetControl"));
  LabelControlTime = new QLabel(QStringLiteral("__.__.____ __:__:__"));
  LabelControlTime->setObjectName(QStringLiteral("LabelControlTime"));
  Edit_PLSZ = new QLineEdit;
  Edit_PLSZ->setObjectName(QStringLiteral("Edit_PLSZ"));
  Edit_PLSZ->setMaximumWidth(120);
  Edit_URNSZ = new QLineEdit;
  Edit_URNSZ->setObjectName(QStringLiteral("Edit_URNSZ"));
  Edit_URNSZ->setMaximumWidth(120);
  ButSetNewControl = new QPushButton(QStringLiteral("Установить"));
  ButSetNewControl->setObjectName(QStringLiteral("ButSetNewControl"));
  ButSetNewControl->setAutoDefault(false);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Время установки задания:"), LabelControlTime);
  form->addRow(QStringLiteral("Заданная плотность магнетитовой суспензии:"), Edit_PLSZ);
  form->addRow(QStringLiteral("Заданный уровень в сборнике НС:"), Edit_URNSZ);
  form->addRow(QString(), ButSetNewControl);  // under the two values it enters
  ButSetNewControl->setMaximumWidth(120);
  auto* lay = new QVBoxLayout(this);
  lay->addLayout(form);
  lay->addStretch();

  connect(ButSetNewControl, &QPushButton::clicked, this, &TabSetpoints::ButSetNewControlClick);
}

void TabSetpoints::ShowSetpoint() {
  const std::optional<TSetpointView> view = liron::ShowSetpoint(service_.Image());
  if (!view) return;
  LabelControlTime->setText(QString::fromStdString(view->ControlTime));
  Edit_PLSZ->setText(QString::fromStdString(view->Plsz));
  Edit_URNSZ->setText(QString::fromStdString(view->Urnsz));
}

void TabSetpoints::ButSetNewControlClick() {
  try {
    service_.EnterSetpoint(Edit_PLSZ->text().toStdString(), Edit_URNSZ->text().toStdString());
  } catch (...) {
    service_.Op().Beep();
  }
}

}  // namespace liron
