#include "app/trend_chart.h"

#include <QCategoryAxis>
#include <QGraphicsLineItem>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/trend_series.h"
#include "platform/datetime.h"
#include "signals/number_text.h"

namespace liron {
namespace {

constexpr double kMinutesPerDay = 1440.0;

// Axis x of a moment: seconds of local time, so the axis needs no conversion per point.
double AxisX(TDateTime t) { return t * 86400.0; }

// Minutes between the labels of the time axis: about six to eight of them over the period.
long long LabelStepMinutes(double span_days) {
  if (span_days <= 1.5 / 24) return 10;
  if (span_days <= 9.0 / 24) return 60;
  if (span_days <= 1.5) return 180;
  return 1440;
}

struct Range {
  bool Any = false;
  double Lo = 0, Hi = 0;
  void Add(double v) {
    Lo = Any ? std::min(Lo, v) : v;
    Hi = Any ? std::max(Hi, v) : v;
    Any = true;
  }
  void Add(const Range& r) {
    if (r.Any) {
      Add(r.Lo);
      Add(r.Hi);
    }
  }
};

// A setpoint and a signal are of one magnitude when their means differ by less than a factor 2.
double MagnitudeRatio(const Range& a, const Range& b) {
  const double x = std::fabs((a.Lo + a.Hi) / 2), y = std::fabs((b.Lo + b.Hi) / 2);
  if (x <= 0 || y <= 0) return INFINITY;
  return std::max(x, y) / std::min(x, y);
}

}  // namespace

TrendChart::TrendChart(QWidget* parent) : QChartView(parent) {
  setObjectName(QStringLiteral("ChartTrends"));
  setRenderHint(QPainter::Antialiasing);
  setMouseTracking(true);
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->setBackgroundRoundness(0);
  setChart(chart);  // the view owns it

  time_axis_ = new QCategoryAxis;
  time_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  chart->addAxis(time_axis_, Qt::AlignBottom);
  for (int k = 0; k < kMaxCurves; ++k) {
    value_axes_[k] = new QValueAxis;
    value_axes_[k]->setLabelFormat(QStringLiteral("%.5g"));
    value_axes_[k]->setVisible(false);
    chart->addAxis(value_axes_[k], k % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
  }
  cursor_ = new QGraphicsLineItem(chart);
  cursor_->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
  cursor_->setZValue(100);
  cursor_->hide();
}

void TrendChart::Show(View view) {
  view_ = std::move(view);
  if (view_.Curves.size() > static_cast<size_t>(kMaxCurves)) view_.Curves.resize(kMaxCurves);
  Redraw();
}

QList<QLineSeries*> TrendChart::CurveSeries(int k) const {
  QList<QLineSeries*> out;
  if (k < 0 || k >= kMaxCurves) return out;
  for (QLineSeries* s : pool_[k])
    if (s->count() > 0) out.push_back(s);
  return out;
}

void TrendChart::Redraw() {
  const double width = chart()->plotArea().width();
  const int columns = std::max(50, static_cast<int>(width > 10 ? width : this->width() - 120));
  const int n = static_cast<int>(view_.Curves.size());

  // Each curve's runs and value range.
  std::vector<std::vector<TTrendSegment>> runs(n);
  std::vector<Range> ranges(n);
  for (int k = 0; k < n; ++k) {
    const Curve& c = view_.Curves[k];
    runs[k] = TrendSegments({&view_.Moments, &c.Values}, view_.From, view_.To, columns,
                            view_.MaxStep, c.Steps);
    for (const TTrendSegment& run : runs[k])
      for (const TTrendPoint& p : run) ranges[k].Add(p.V);
  }
  // Axes: a curve's own, but a setpoint goes onto the axis of the signal of its magnitude.
  std::vector<int> axis_of(n);
  for (int k = 0; k < n; ++k) {
    axis_of[k] = k;
    if (!view_.Curves[k].Setpoint || !ranges[k].Any) continue;
    double best = 2.0;
    for (int j = 0; j < n; ++j) {
      const Curve& c = view_.Curves[j];
      if (j == k || c.Setpoint || c.Steps || !ranges[j].Any) continue;
      const double r = MagnitudeRatio(ranges[k], ranges[j]);
      if (r < best) {
        best = r;
        axis_of[k] = j;
      }
    }
  }

  for (int a = 0; a < kMaxCurves; ++a) {
    QValueAxis* axis = value_axes_[a];
    Range r;
    bool used = false, steps = true;
    for (int k = 0; k < n; ++k) {
      if (axis_of[k] != a) continue;
      used = true;
      steps = steps && view_.Curves[k].Steps;
      r.Add(ranges[k]);
    }
    axis->setVisible(used);
    if (!used) continue;
    const QColor colour = view_.Curves[a].Color;
    axis->setLinePenColor(colour);
    axis->setLabelsColor(colour);
    if (steps) {  // a flag: 0 and 1, with room above and below
      axis->setTickType(QValueAxis::TicksDynamic);
      axis->setTickAnchor(0);
      axis->setTickInterval(1);
      axis->setRange(std::min(r.Any ? r.Lo : 0.0, 0.0) - 0.2,
                     std::max(r.Any ? r.Hi : 1.0, 1.0) + 0.2);
      continue;
    }
    axis->setTickType(QValueAxis::TicksFixed);
    axis->setTickCount(5);
    double lo = r.Any ? r.Lo : 0, hi = r.Any ? r.Hi : 1;
    if (hi - lo < 1e-9) {
      const double pad = std::max(std::fabs(lo) * 0.05, 0.5);
      lo -= pad;
      hi += pad;
    } else {
      const double pad = (hi - lo) * 0.05;
      lo -= pad;
      hi += pad;
    }
    axis->setRange(lo, hi);
    axis->applyNiceNumbers();
  }

  SetTimeLabels();
  for (int k = 0; k < kMaxCurves; ++k) {
    std::vector<QLineSeries*>& pool = pool_[k];
    const size_t used = k < n ? runs[k].size() : 0;
    while (pool.size() < used) {
      auto* s = new QLineSeries;
      chart()->addSeries(s);
      s->attachAxis(time_axis_);
      pool.push_back(s);
    }
    for (size_t i = 0; i < pool.size(); ++i) {
      QLineSeries* s = pool[i];
      if (i >= used) {
        if (s->count() > 0) s->clear();
        continue;
      }
      const Curve& c = view_.Curves[k];
      QValueAxis* axis = value_axes_[axis_of[k]];
      for (QAbstractAxis* a : s->attachedAxes())
        if (a != time_axis_ && a != axis) s->detachAxis(a);
      if (!s->attachedAxes().contains(axis)) s->attachAxis(axis);
      QPen pen(c.Color, 1.5, c.Setpoint ? Qt::DashLine : Qt::SolidLine);
      if (s->pen() != pen) s->setPen(pen);
      s->setName(c.Name);
      QList<QPointF> points;
      points.reserve(static_cast<qsizetype>(runs[k][i].size()));
      for (const TTrendPoint& p : runs[k][i]) points.append(QPointF(AxisX(p.T), p.V));
      s->replace(points);
    }
  }
}

void TrendChart::SetTimeLabels() {
  if (view_.To <= view_.From) return;  // nothing shown yet
  const long long step = LabelStepMinutes(view_.To - view_.From);
  const char* format = !view_.WithDate ? "hh:nn" : step >= 1440 ? "dd.mm" : "dd.mm hh:nn";
  std::vector<TDateTime> at;
  long long m = static_cast<long long>(std::ceil(view_.From * kMinutesPerDay / step - 1e-6)) * step;
  for (; m / kMinutesPerDay <= view_.To + 1e-9; m += step) at.push_back(m / kMinutesPerDay);
  if (at != labels_at_) {
    labels_at_ = at;
    for (const QString& label : time_axis_->categoriesLabels()) time_axis_->remove(label);
    for (TDateTime t : at)
      time_axis_->append(QString::fromStdString(FormatDateTime(format, t)), AxisX(t));
  }
  time_axis_->setStartValue(AxisX(view_.From));
  time_axis_->setRange(AxisX(view_.From), AxisX(view_.To));
}

bool TrendChart::MomentAt(QPoint view_pos, TDateTime* t) const {
  const QPointF p = chart()->mapFromScene(mapToScene(view_pos));
  const QRectF plot = chart()->plotArea();
  if (!plot.contains(p) || plot.width() <= 0) return false;
  *t = view_.From + (p.x() - plot.left()) / plot.width() * (view_.To - view_.From);
  return true;
}

QString TrendChart::CursorText(TDateTime t) const {
  std::string text = FormatDateTime(view_.WithDate ? "dd.mm.yyyy hh:nn" : "hh:nn:ss", t);
  for (const Curve& c : view_.Curves) {
    double v = 0;
    const bool has = TrendValueAt({&view_.Moments, &c.Values}, t, view_.MaxStep, &v);
    text += "   " + c.Name.toStdString() + " " + (has ? FormatDecimals(v, 3) : "---");
  }
  return QString::fromStdString(text);
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  QChartView::mouseMoveEvent(event);
  TDateTime t = 0;
  if (!MomentAt(event->position().toPoint(), &t)) {
    cursor_->hide();
    emit CursorMoved(QString());
    return;
  }
  const QPointF p = chart()->mapFromScene(mapToScene(event->position().toPoint()));
  const QRectF plot = chart()->plotArea();
  cursor_->setLine(p.x(), plot.top(), p.x(), plot.bottom());
  cursor_->show();
  emit CursorMoved(CursorText(t));
}

void TrendChart::leaveEvent(QEvent* event) {
  QChartView::leaveEvent(event);
  cursor_->hide();
  emit CursorMoved(QString());
}

void TrendChart::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  Redraw();  // the curves are thinned to the new width
}

}  // namespace liron
