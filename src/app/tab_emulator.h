// The "Эмулятор" tab: the master switch and the two single switches, the grid of emulated raw
// values and "Принять новые значения".
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include "engine/service.h"

namespace liron {

class TabEmulator : public QWidget {
  Q_OBJECT
 public:
  TabEmulator(Service& service, QWidget* parent = nullptr);

  // ShowValueFrame(EmulValues, StringGridEmulSet).
  void RefillGrid();

 private slots:
  void CheckBoxEmulFlagClick();
  void CheckBoxV120_emulClick();
  void CheckBoxEmulJumoClick();
  void ButSetNewEmulValClick();

 private:
  QCheckBox* CheckBoxEmulFlag;
  QPushButton* ButSetNewEmulVal;
  QCheckBox* CheckBoxV120_emul;
  QCheckBox* CheckBoxEmulJumo;
  QTableWidget* StringGridEmulSet;
  Service& service_;
};

}  // namespace liron
