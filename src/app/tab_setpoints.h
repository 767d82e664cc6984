// The "Задания" tab: the setpoints last taken and the entry of new ones.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "engine/service.h"

namespace liron {

class TabSetpoints : public QWidget {
  Q_OBJECT
 public:
  TabSetpoints(Service& service, QWidget* parent = nullptr);

  // ShowSetpoint: only a setpoint newer than the one shown replaces the texts, so the
  // operator's typing is kept until then.
  void ShowSetpoint();

 private slots:
  void ButSetNewControlClick();

 private:
  QLabel* LabelControlTime;
  QLineEdit* Edit_PLSZ;
  QLineEdit* Edit_URNSZ;
  QPushButton* ButSetNewControl;
  Service& service_;
};

}  // namespace liron
