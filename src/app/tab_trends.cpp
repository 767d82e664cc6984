#include "app/tab_trends.h"

#include <strings.h>

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace liron {
namespace {

const QColor kColours[TrendChart::kMaxCurves] = {QColor(0x1f, 0x5f, 0xbf), QColor(0xc8, 0x28, 0x1e),
                                                 QColor(0x1e, 0x8c, 0x32),
                                                 QColor(0x8c, 0x3c, 0xb4)};
const double kPeriodDays[] = {1.0 / 24, 8.0 / 24, 1.0, 7.0};
// Two samples further apart than this are not joined: a cycle of the ring that did not come
// (the readiness window of a cycle), a minute without its pu_data row.
constexpr double kRingMaxStep = 5.0 / 86400;
constexpr double kRowsMaxStep = 90.0 / 86400;
constexpr int kNewRowsMs = 60000;

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

QRadioButton* Radio(const char* name, const char* text) {
  auto* b = new QRadioButton(QString::fromUtf8(text));
  b->setObjectName(QString::fromLatin1(name));
  return b;
}

}  // namespace

TabTrends::TabTrends(Service& service, QWidget* parent) : QWidget(parent), service_(service) {
  setObjectName(QStringLiteral("TabSheetTrends"));
  service_.Image().Trends.Enable();

  RadioButtonHour = Radio("RadioButtonHour", "1 час");
  RadioButton8Hours = Radio("RadioButton8Hours", "8 часов");
  RadioButton24Hours = Radio("RadioButton24Hours", "24 часа");
  RadioButton7Days = Radio("RadioButton7Days", "7 суток");
  RadioButtonInstant = Radio("RadioButtonTrendInstant", "Мгновенное");
  RadioButtonAverage = Radio("RadioButtonTrendAverage", "Усредненное");
  RadioButtonHour->setChecked(true);
  RadioButtonInstant->setChecked(true);
  auto* periods = new QButtonGroup(this);
  auto* frames = new QButtonGroup(this);
  auto* top = new QHBoxLayout;
  for (QRadioButton* b :
       {RadioButtonHour, RadioButton8Hours, RadioButton24Hours, RadioButton7Days}) {
    periods->addButton(b);
    top->addWidget(b);
  }
  top->addSpacing(24);
  for (QRadioButton* b : {RadioButtonInstant, RadioButtonAverage}) {
    frames->addButton(b);
    top->addWidget(b);
  }
  top->addStretch();
  connect(periods, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
    if (on) SettingsChanged();
  });
  connect(frames, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
    if (on) SettingsChanged();
  });

  box_list_ = new QWidget;
  box_list_->setObjectName(QStringLiteral("PanelTrendSignals"));
  auto* list_layout = new QVBoxLayout(box_list_);
  list_layout->setContentsMargins(4, 4, 4, 4);
  list_layout->addStretch();
  auto* scroll = new QScrollArea;
  scroll->setWidget(box_list_);
  scroll->setWidgetResizable(true);
  scroll->setFixedWidth(130);
  ChartTrends = new TrendChart;
  auto* middle = new QHBoxLayout;
  middle->addWidget(scroll);
  middle->addWidget(ChartTrends, 1);

  LabelCursor = new QLabel;
  LabelCursor->setObjectName(QStringLiteral("LabelCursor"));
  LabelTrendsState = new QLabel;
  LabelTrendsState->setObjectName(QStringLiteral("LabelTrendsState"));
  LabelTrendsState->setStyleSheet(QStringLiteral("color: red;"));
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(LabelCursor, 1);
  bottom->addWidget(LabelTrendsState);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(top);
  lay->addLayout(middle, 1);
  lay->addLayout(bottom);
  connect(ChartTrends, &TrendChart::CursorMoved, LabelCursor, &QLabel::setText);

  TimerTrends = new QTimer(this);
  TimerTrends->setObjectName(QStringLiteral("TimerTrends"));
  connect(TimerTrends, &QTimer::timeout, this, &TabTrends::RefreshTrends);
  // Replies of pu_data come on the history's thread; they are taken on this one.
  history_ = std::make_unique<TTrendHistory>([this] {
    QMetaObject::invokeMethod(
        this, [this] { TakeHistory(); }, Qt::QueuedConnection);
  });
}

TabTrends::~TabTrends() { history_.reset(); }  // its thread ends before the tab does

TabTrends::Period TabTrends::CurrentPeriod() const {
  if (RadioButton8Hours->isChecked()) return k8Hours;
  if (RadioButton24Hours->isChecked()) return k24Hours;
  if (RadioButton7Days->isChecked()) return k7Days;
  return kHour;
}

QCheckBox* TabTrends::SignalBox(const QString& name) const {
  for (const Choice& c : choices_)
    if (QString::fromStdString(c.Name) == name) return c.Box;
  return nullptr;
}

void TabTrends::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  try {
    RefillSignals();
    SettingsChanged();
    if (CurrentPeriod() != kHour && rows_loaded_) AskHistory(true);
    TimerTrends->start();
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabTrends::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  TimerTrends->stop();  // no work while the tab is not shown
}

void TabTrends::RefreshTrends() {
  try {
    if (!isVisible()) {
      TimerTrends->stop();
      return;
    }
    if (RefillSignals())
      SettingsChanged();
    else if (CurrentPeriod() == kHour)
      ShowCurves();
    else if (rows_loaded_)
      AskHistory(true);
    else if (!full_pending_)
      AskHistory(false);  // the last attempt failed: once a minute again
  } catch (...) {
    service_.Op().Beep();
  }
}

bool TabTrends::RefillSignals() {
  const TProcessImage& img = service_.Image();
  const int count = static_cast<int>(img.PlanRows());
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(img.Signals[i].SignalName);
  if (names == plan_names_) return false;
  plan_names_ = names;

  std::vector<std::pair<std::string, int>> kept;  // chosen names with their colours
  for (const Choice& c : choices_)
    if (c.Colour >= 0) kept.emplace_back(c.Name, c.Colour);
  for (Choice& c : choices_) delete c.Box;
  choices_.clear();

  auto* list = static_cast<QVBoxLayout*>(box_list_->layout());
  for (int i = 0; i < count; ++i) {
    const TSignalSet& s = img.Signals[i];
    const bool setpoint = SameName(s.SignalName, "_PLSZ") || SameName(s.SignalName, "_URNSZ");
    if (s.SignalName.empty() || !(s.Direction == "READ" || s.BusName == "CALC" || setpoint))
      continue;
    Choice c{s.SignalName, i, SameName(s.SignalName, "RAB") || SameName(s.SignalName, "RN"),
             setpoint, new QCheckBox(QString::fromStdString(s.SignalName))};
    c.Box->setObjectName(QStringLiteral("CheckBoxTrend_") + QString::fromStdString(s.SignalName));
    for (const auto& [name, colour] : kept)
      if (name == s.SignalName) c.Colour = colour;
    list->insertWidget(list->count() - 1, c.Box);
    choices_.push_back(c);
  }
  // The first list opens with density against its setpoint and the work flag, or with the
  // first signal when the plan has none of them.
  if (!chose_before_ && !choices_.empty()) {
    chose_before_ = true;
    int colour = 0;
    for (const char* name : {"PLS", "_PLSZ", "RAB"})
      for (Choice& c : choices_)
        if (SameName(c.Name, name)) c.Colour = colour++;
    if (colour == 0) choices_.front().Colour = 0;
  }
  for (size_t i = 0; i < choices_.size(); ++i) {
    choices_[i].Box->setChecked(choices_[i].Colour >= 0);
    connect(choices_[i].Box, &QCheckBox::toggled, this, [this, i] { BoxToggled(i); });
  }
  ShowChoice();
  return true;
}

void TabTrends::BoxToggled(size_t i) {
  Choice& c = choices_[i];
  c.Colour = -1;
  if (c.Box->isChecked()) {
    bool taken[TrendChart::kMaxCurves] = {};
    for (const Choice& o : choices_)
      if (o.Colour >= 0) taken[o.Colour] = true;
    for (int k = 0; k < TrendChart::kMaxCurves && c.Colour < 0; ++k)
      if (!taken[k]) c.Colour = k;
  }
  ShowChoice();
  SettingsChanged();
}

void TabTrends::ShowChoice() {
  const size_t chosen = Chosen().size();
  for (Choice& c : choices_) {
    c.Box->setEnabled(c.Colour >= 0 || chosen < static_cast<size_t>(TrendChart::kMaxCurves));
    c.Box->setStyleSheet(c.Colour >= 0 ? QStringLiteral("color: %1;").arg(kColours[c.Colour].name())
                                       : QString());
  }
}

std::vector<const TabTrends::Choice*> TabTrends::Chosen() const {
  std::vector<const Choice*> out;
  for (const Choice& c : choices_)
    if (c.Colour >= 0) out.push_back(&c);
  std::sort(out.begin(), out.end(),
            [](const Choice* a, const Choice* b) { return a->Colour < b->Colour; });
  return out;
}

void TabTrends::SettingsChanged() {
  try {
    const Period p = CurrentPeriod();
    RadioButtonInstant->setEnabled(p == kHour);  // pu_data holds averages only
    RadioButtonAverage->setEnabled(p == kHour);
    // A new point a pixel: an hour over the plot's width, and at most every second.
    const int width = std::max(100, ChartTrends->width() - 120);
    TimerTrends->setInterval(p == kHour ? std::clamp(3600000 / width, 1000, 10000) : kNewRowsMs);
    if (!isVisible()) return;  // the showing does the rest
    if (p != kHour) {
      std::vector<std::string> names;
      for (const Choice* c : Chosen()) names.push_back(c->Name);
      if (p != rows_period_ || names != rows_columns_ || (!rows_loaded_ && !full_pending_))
        AskHistory(false);
    }
    ShowCurves();
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabTrends::AskHistory(bool new_rows_only) {
  const Period p = CurrentPeriod();
  const TDateTime now = service_.GetClock().Now();
  const std::vector<std::string> params = service_.UserConnection().Params();
  if (new_rows_only) {
    const TDateTime from = rows_.Moments.empty() ? now - kPeriodDays[p] : rows_.Moments.back();
    if (!rows_columns_.empty()) history_->Request(params, rows_columns_, from);
    return;
  }
  rows_ = TTrendRows{};
  rows_columns_.clear();
  for (const Choice* c : Chosen()) rows_columns_.push_back(c->Name);
  rows_period_ = p;
  rows_loaded_ = rows_columns_.empty();  // nothing to read for an empty choice
  rows_.Values.assign(rows_columns_.size(), {});
  full_pending_ = !rows_loaded_;
  if (full_pending_) full_request_ = history_->Request(params, rows_columns_, now - kPeriodDays[p]);
}

void TabTrends::TakeHistory() {
  try {
    TTrendReply r;
    bool changed = false;
    while (history_->Take(&r)) {
      if (r.Id < full_request_) continue;  // asked for another period or choice
      if (r.Id == full_request_) full_pending_ = false;
      if (!r.Ok) {
        LabelTrendsState->setText(
            QString::fromStdString("*** Тренды: ошибка чтения pu_data: " + r.Error));
        continue;
      }
      LabelTrendsState->clear();
      if (r.Id == full_request_) {
        rows_ = std::move(r.Rows);
        rows_loaded_ = true;
      } else if (rows_loaded_) {
        // The newest row held was still being updated when it was read: it comes again.
        const auto keep = std::lower_bound(rows_.Moments.begin(), rows_.Moments.end(), r.From) -
                          rows_.Moments.begin();
        rows_.Moments.resize(static_cast<size_t>(keep));
        rows_.Moments.insert(rows_.Moments.end(), r.Rows.Moments.begin(), r.Rows.Moments.end());
        for (size_t c = 0; c < rows_.Values.size() && c < r.Rows.Values.size(); ++c) {
          rows_.Values[c].resize(static_cast<size_t>(keep));
          rows_.Values[c].insert(rows_.Values[c].end(), r.Rows.Values[c].begin(),
                                 r.Rows.Values[c].end());
        }
      }
      changed = true;
    }
    // Rows that left the period.
    const TDateTime from = service_.GetClock().Now() - kPeriodDays[rows_period_];
    const auto old =
        std::lower_bound(rows_.Moments.begin(), rows_.Moments.end(), from) - rows_.Moments.begin();
    if (old > 0) {
      rows_.Moments.erase(rows_.Moments.begin(), rows_.Moments.begin() + old);
      for (auto& v : rows_.Values)
        v.erase(v.begin(),
                v.begin() + std::min<std::ptrdiff_t>(old, static_cast<std::ptrdiff_t>(v.size())));
    }
    if (changed && isVisible() && CurrentPeriod() != kHour) ShowCurves();
  } catch (...) {
    service_.Op().Beep();
  }
}

void TabTrends::ShowCurves() {
  const Period p = CurrentPeriod();
  const TDateTime now = service_.GetClock().Now();
  TrendChart::View v;
  v.From = now - kPeriodDays[p];
  v.To = now;
  v.WithDate = p >= k24Hours;
  const std::vector<const Choice*> chosen = Chosen();
  for (const Choice* c : chosen)
    v.Curves.push_back(
        {QString::fromStdString(c->Name), kColours[c->Colour], c->Steps, c->Setpoint, {}});
  if (p == kHour) {
    std::vector<int> rows;
    for (const Choice* c : chosen) rows.push_back(c->Row);
    TTrendRing::TSnapshot snap;
    service_.Image().Trends.Read(rows, RadioButtonAverage->isChecked(), now,
                                 service_.GetClock().MonotonicMs(), &snap);
    v.MaxStep = kRingMaxStep;
    v.Moments = std::move(snap.Moments);
    for (size_t k = 0; k < chosen.size(); ++k) v.Curves[k].Values = std::move(snap.Values[k]);
  } else {
    v.MaxStep = kRowsMaxStep;
    v.Moments = rows_.Moments;
    for (size_t k = 0; k < chosen.size(); ++k) {
      const auto col = std::find(rows_columns_.begin(), rows_columns_.end(), chosen[k]->Name);
      const size_t c = static_cast<size_t>(col - rows_columns_.begin());
      v.Curves[k].Values = c < rows_.Values.size() && p == rows_period_
                               ? rows_.Values[c]
                               : std::vector<double>(v.Moments.size(), NAN);
    }
  }
  ChartTrends->Show(std::move(v));
}

}  // namespace liron
