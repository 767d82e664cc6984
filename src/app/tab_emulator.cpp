#include "app/tab_emulator.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/value_grid_view.h"
#include "signals/emulator.h"

namespace liron {

TabEmulator::TabEmulator(Service& service, QWidget* parent) : QWidget(parent), service_(service) {
  setObjectName(QStringLiteral("TabSheetEmul"));
  CheckBoxEmulFlag = new QCheckBox(QStringLiteral("Включить эмулятор"));
  CheckBoxEmulFlag->setObjectName(QStringLiteral("CheckBoxEmulFlag"));
  ButSetNewEmulVal = new QPushButton(QStringLiteral("Принять новые значения"));
  ButSetNewEmulVal->setObjectName(QStringLiteral("ButSetNewEmulVal"));
  ButSetNewEmulVal->setAutoDefault(false);
  CheckBoxV120_emul = new QCheckBox(QStringLiteral("эмулятор V120"));
  CheckBoxV120_emul->setObjectName(QStringLiteral("CheckBoxV120_emul"));
  CheckBoxEmulJumo = new QCheckBox(QStringLiteral("эмулятор Jumo"));
  CheckBoxEmulJumo->setObjectName(QStringLiteral("CheckBoxEmulJumo"));
  StringGridEmulSet = new QTableWidget;
  StringGridEmulSet->setTabKeyNavigation(false);
  StringGridEmulSet->setObjectName(QStringLiteral("StringGridEmulSet"));
  SetupValueGrid(StringGridEmulSet, true);

  auto* side = new QVBoxLayout;
  side->addWidget(CheckBoxEmulFlag);
  side->addWidget(CheckBoxV120_emul);
  side->addWidget(CheckBoxEmulJumo);
  side->addSpacing(12);
  side->addWidget(ButSetNewEmulVal);
  side->addStretch();
  auto* lay = new QHBoxLayout(this);
  lay->addWidget(StringGridEmulSet, 1);
  lay->addLayout(side);

  // clicked: only the operator's click switches, not a state set by the program.
  connect(CheckBoxEmulFlag, &QCheckBox::clicked, this, &TabEmulator::CheckBoxEmulFlagClick);
  connect(CheckBoxV120_emul, &QCheckBox::clicked, this, &TabEmulator::CheckBoxV120_emulClick);
  connect(CheckBoxEmulJumo, &QCheckBox::clicked, this, &TabEmulator::CheckBoxEmulJumoClick);
  connect(ButSetNewEmulVal, &QPushButton::clicked, this, &TabEmulator::ButSetNewEmulValClick);
}

void TabEmulator::RefillGrid() {
  FillValueGrid(StringGridEmulSet, ShowValueFrame(service_.Image(), service_.Image().EmulValues));
}

void TabEmulator::CheckBoxEmulFlagClick() {
  try {
    SetEmulFlag(service_.Image(), CheckBoxEmulFlag->isChecked(), service_.Events(),
                service_.Journal());
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabEmulator::CheckBoxV120_emulClick() {
  try {
    SetV120Emul(service_.Image(), CheckBoxV120_emul->isChecked(), service_.Events(),
                service_.Journal());
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabEmulator::CheckBoxEmulJumoClick() {
  try {
    SetJumoEmul(service_.Image(), CheckBoxEmulJumo->isChecked(), service_.Events(),
                service_.Journal());
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabEmulator::ButSetNewEmulValClick() {
  try {
    std::string error;
    if (!SetNewEmulValues(service_.Image(), ValueGridCells(StringGridEmulSet), &error))
      service_.Op().ShowMessage(error, "Ошибка", MsgIcon::Error);
  } catch (...) {
    service_.Op().Beep();
  }
}

}  // namespace liron
