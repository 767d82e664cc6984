// The "Текущее состояние" tab: the control thread's state and counters, its running time, the
// buttons Старт and Стоп, the module status grid, and the last error text of each field link.
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
  // ShowModuleState: the polling threads' counters, the module status grid and the links'
  // last error texts.
  void ShowModuleState(Service& service);

 signals:
  void StartClicked();  // "Старт"
  void StopClicked();   // "Стоп"

 public slots:
  // "Стоп" from the keyboard (Esc): clicked when it may be pressed, else nothing.
  void PressStop();

 private:
  QLabel* LabelThreadState;
  QLabel* LabelCycleCounter;
  QLabel* LabelV120Cycles;
  QLabel* LabelJumoCycles;
  QLabel* LabelErrorCounter;
  QLabel* LabelRunningTime;
  QLabel* LabelSpool;  // records waiting in the local spool, and the oldest one's moment
  QLabel* LabelJumoError;
  QLabel* LabelV120Error;
  QPushButton* ButStart;
  QPushButton* ButStop;
  QTableWidget* StringGrid_state;
};

}  // namespace liron
