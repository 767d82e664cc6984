// The "Тренды" tab: the plan's READ and CALC signals and the setpoints _PLSZ and _URNSZ as
// curves. Up to four are chosen with their check boxes. The last hour comes from the trend ring
// of the process image, instantaneous or averaged ("Мгновенное", "Усредненное"); 8 hours,
// 24 hours and 7 days come from the per-minute rows of pu_data, read on a connection and a
// thread of the tab's own: one query when the period or the choice changes, then the new rows
// once a minute. Nothing runs while the tab is not shown.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/trend_chart.h"
#include "db/trend_history.h"
#include "engine/service.h"

namespace liron {

class TabTrends : public QWidget {
  Q_OBJECT
 public:
  enum Period { kHour, k8Hours, k24Hours, k7Days };

  // Tells the process image to keep the trend ring from the next plan load on.
  explicit TabTrends(Service& service, QWidget* parent = nullptr);
  ~TabTrends() override;

  // The check box of a signal of the list, or null.
  QCheckBox* SignalBox(const QString& name) const;
  Period CurrentPeriod() const;

 public slots:
  // The timer: the last hour again from the ring, or the new minute rows from pu_data.
  void RefreshTrends();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Choice {
    std::string Name;
    int Row;        // in the plan: the ring's row
    bool Steps;     // RAB, RN
    bool Setpoint;  // _PLSZ, _URNSZ
    QCheckBox* Box;
    int Colour = -1;  // while chosen: one of the four colours (and value axes)
  };

  bool RefillSignals();  // from the plan, keeping the choice by name; true when it changed
  void BoxToggled(size_t i);
  void ShowChoice();       // colours of the chosen boxes; the others disabled at four
  void SettingsChanged();  // the period, the frame or the choice
  std::vector<const Choice*> Chosen() const;
  void AskHistory(bool new_rows_only);
  void TakeHistory();
  void ShowCurves();

  QRadioButton* RadioButtonHour;
  QRadioButton* RadioButton8Hours;
  QRadioButton* RadioButton24Hours;
  QRadioButton* RadioButton7Days;
  QRadioButton* RadioButtonInstant;
  QRadioButton* RadioButtonAverage;
  TrendChart* ChartTrends;
  QLabel* LabelCursor;
  QLabel* LabelTrendsState;
  QTimer* TimerTrends;
  Service& service_;
  QWidget* box_list_;
  std::vector<Choice> choices_;
  std::vector<std::string> plan_names_;  // the plan the list was made from
  bool chose_before_ = false;            // the first list gets a default choice

  // pu_data rows of the longer periods.
  std::unique_ptr<TTrendHistory> history_;
  TTrendRows rows_;
  std::vector<std::string> rows_columns_;
  Period rows_period_ = kHour;
  uint64_t full_request_ = 0;  // replies of older requests are stale
  bool full_pending_ = false;
  bool rows_loaded_ = false;
};

}  // namespace liron
