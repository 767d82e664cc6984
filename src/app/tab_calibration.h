// The "Калибровки" tab: the list of the plan's signals, the points of the chosen signal,
// "Добавить", "Удалить" and "Применить", which restarts the control thread with the new
// tables.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

#include "app/calibration_model.h"
#include "engine/service.h"

namespace liron {

class TabCalibration : public QWidget {
  Q_OBJECT
 public:
  TabCalibration(Service& service, QWidget* parent = nullptr);

  // The list from the plan as last loaded, keeping the choice when the name is still there.
  void RefillSignalNames();
  // The plan was reloaded after "Применить" (or the reload was given up): the lists follow.
  void AfterApply();

  // For the tests: the points of the chosen signal, as the grid shows them.
  CalibrationModel* TestModel() { return model_; }

 signals:
  // After "Применить" reloaded the plan (the plan editor reads it again).
  void CalibrationsApplied();

 protected:
  void showEvent(QShowEvent* event) override;

 public slots:
  void TabSheetCalibrShow();
  void ComboBoxSignalNameChange();
  void ButAddRecordClick();
  void ButDelRecordClick();
  void ButSaveClick();

 private:
  QComboBox* ComboBoxSignalName;
  QTableView* DBGridCalibr;
  QPushButton* ButAddRecord;
  QPushButton* ButDelRecord;
  QPushButton* ButSave;
  QLabel* LabelCalibrState;
  Service& service_;
  CalibrationModel* model_;
};

}  // namespace liron
