// The "Состояние ПУ" tab: every signal of the plan with its instantaneous ("Мгновенное",
// PhysValues) or averaged ("Усредненное", AvgValues) value, rebuilt on every update tick.
#pragma once

#include <QRadioButton>
#include <QTableWidget>
#include <QWidget>

#include "engine/service.h"

namespace liron {

class TabPuState : public QWidget {
  Q_OBJECT
 public:
  explicit TabPuState(QWidget* parent = nullptr);

  void ShowPuState(Service& service);

 private:
  QRadioButton* RadioButtonInstant;
  QRadioButton* RadioButtonAverage;
  QTableWidget* StringGridPuState;
};

}  // namespace liron
