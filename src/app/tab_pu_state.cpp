#include "app/tab_pu_state.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/value_grid_view.h"
#include "signals/emulator.h"

namespace liron {

TabPuState::TabPuState(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetPuState"));
  RadioButtonInstant = new QRadioButton(QStringLiteral("Мгновенное"));
  RadioButtonInstant->setObjectName(QStringLiteral("RadioButtonInstant"));
  RadioButtonInstant->setChecked(true);
  RadioButtonAverage = new QRadioButton(QStringLiteral("Усредненное"));
  RadioButtonAverage->setObjectName(QStringLiteral("RadioButtonAverage"));
  StringGridPuState = new QTableWidget;
  StringGridPuState->setTabKeyNavigation(false);
  StringGridPuState->setObjectName(QStringLiteral("StringGridPuState"));
  SetupValueGrid(StringGridPuState, false);

  auto* radios = new QHBoxLayout;
  radios->addWidget(RadioButtonInstant);
  radios->addWidget(RadioButtonAverage);
  radios->addStretch();
  auto* lay = new QVBoxLayout(this);
  lay->addLayout(radios);
  lay->addWidget(StringGridPuState, 1);
}

void TabPuState::ShowPuState(Service& service) {
  TProcessImage& img = service.Image();
  const TSignalValues& frame = RadioButtonAverage->isChecked() ? img.AvgValues : img.PhysValues;
  FillValueGrid(StringGridPuState, ShowValueFrame(img, frame));
}

}  // namespace liron
