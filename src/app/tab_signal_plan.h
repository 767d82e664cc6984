// The "Планировка сигналов" tab: the signal plan editor over table `signal`.
#pragma once

#include <QLabel>
#include <QTableView>
#include <QWidget>

#include "app/signal_plan_model.h"
#include "engine/service.h"

namespace liron {

class TabSignalPlan : public QWidget {
  Q_OBJECT
 public:
  TabSignalPlan(Service& service, QWidget* parent = nullptr);

  // Opens (or reopens) the editor's data through the user connection.
  void Open();

  // For the tests: the plan rows, as the grid shows them.
  SignalPlanModel* TestModel() { return model_; }

 private:
  QTableView* DBGridSigEdit;
  QLabel* LabelSigEditState;  // why the plan could not be read, else empty
  Service& service_;
  SignalPlanModel* model_;
};

}  // namespace liron
