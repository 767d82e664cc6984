// The "Текущее состояние" tab: the control thread's state and counters, its running time, the
// buttons Старт and Стоп, and the module status grid.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include "engine/service.h"

namespace liron {

class TabState : public QWidget {
  Q_OBJECT
 public:
  explicit TabState(QWidget* parent = nullptr);

  // Every update tick: thread state, counters, running time, the buttons by turns, the grid.
  void Refresh(Service& service);
  // ShowModuleState: the polling threads' counters and the module status grid.
  void ShowModuleState(Service& service);

  QLabel* LabelThreadState;
  QLabel* LabelCycleCounter;
  QLabel* LabelV120Cycles;
  QLabel* LabelJumoCycles;
  QLabel* LabelErrorCounter;
  QLabel* LabelRunningTime;
  QPushButton* ButStart;
  QPushButton* ButStop;
  QTableWidget* StringGrid_state;
};

}  // namespace liron
