// TrendChart: the plot of the "Тренды" tab, on Qt Charts. Up to four curves, each on a value
// axis of its own in its colour (left, right, left, right); a setpoint shares the axis of a
// chosen signal of its magnitude, so density reads against its setpoint. The time axis is local
// time with labels at round times; the runs between gaps are separate line series, so a gap
// stays a gap; the curves are thinned to the plot's width. A cursor follows the mouse: a
// vertical line, and the time and every curve's value there as text (CursorMoved).
#pragma once

#include <QChartView>
#include <QColor>
#include <QList>
#include <QString>
#include <vector>

#include "platform/clock.h"

class QCategoryAxis;
class QGraphicsLineItem;
class QLineSeries;
class QValueAxis;

namespace liron {

class TrendChart : public QChartView {
  Q_OBJECT
 public:
  static constexpr int kMaxCurves = 4;

  struct Curve {
    QString Name;
    QColor Color;
    bool Steps = false;          // a flag: the value holds until the next sample
    bool Setpoint = false;       // may share the axis of a signal of its magnitude
    std::vector<double> Values;  // one per moment of the view; NaN: a failed cycle
  };
  struct View {
    TDateTime From = 0, To = 0;
    double MaxStep = 0;     // two samples further apart than this: a gap between them
    bool WithDate = false;  // time labels with the date
    std::vector<TDateTime> Moments;
    std::vector<Curve> Curves;  // at most kMaxCurves
  };

  explicit TrendChart(QWidget* parent = nullptr);

  void Show(View view);
  const View& Shown() const { return view_; }

  // The line series that draw curve k, one per run, and the axes; for tests and the tab.
  QList<QLineSeries*> CurveSeries(int k) const;
  QCategoryAxis* TimeAxis() const { return time_axis_; }
  // What the cursor shows at moment t: "hh:nn:ss  NAME value  ..." ("---" in a gap).
  QString CursorText(TDateTime t) const;
  // Moment at a horizontal position of the view, inside the plot; false outside it.
  bool MomentAt(QPoint view_pos, TDateTime* t) const;

 signals:
  void CursorMoved(const QString& text);  // empty: the mouse left the plot

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Redraw();
  void SetTimeLabels();
  double X(TDateTime t) const { return (t - view_.From) * 86400.0; }

  View view_;
  QCategoryAxis* time_axis_;
  QValueAxis* value_axes_[kMaxCurves];
  std::vector<QLineSeries*> pool_[kMaxCurves];  // runs of curve k, reused
  QGraphicsLineItem* cursor_;
  std::vector<TDateTime> labels_at_;  // the round times the time axis shows
};

}  // namespace liron
