#include "app/tab_state.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/module_grid_delegate.h"

namespace liron {
namespace {

QLabel* ValueLabel(const char* name, const QString& text) {
  auto* l = new QLabel(text);
  l->setObjectName(QString::fromLatin1(name));
  l->setMinimumWidth(120);
  return l;
}

}  // namespace

TabState::TabState(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetState"));
  LabelThreadState = ValueLabel("LabelThreadState", QString());
  LabelCycleCounter = ValueLabel("LabelCycleCounter", QStringLiteral("0"));
  LabelV120Cycles = ValueLabel("LabelV120Cycles", QStringLiteral("0"));
  LabelJumoCycles = ValueLabel("LabelJumoCycles", QStringLiteral("0"));
  LabelErrorCounter = ValueLabel("LabelErrorCounter", QStringLiteral("0"));
  LabelRunningTime = ValueLabel("LabelRunningTime", QStringLiteral("00:00:00"));
  LabelSpool = ValueLabel("LabelSpool", QStringLiteral("0"));
  LabelJumoError = ValueLabel("LabelJumoError", QString());
  LabelV120Error = ValueLabel("LabelV120Error", QString());
  LabelJumoError->setWordWrap(true);
  LabelV120Error->setWordWrap(true);
  QFont bold = LabelThreadState->font();
  bold.setBold(true);
  LabelThreadState->setFont(bold);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Поток контроля аппаратуры:"), LabelThreadState);
  form->addRow(QStringLiteral("Количество циклов опроса:"), LabelCycleCounter);
  form->addRow(QStringLiteral("Циклов опроса V-120:"), LabelV120Cycles);
  form->addRow(QStringLiteral("Циклов опроса JUMO:"), LabelJumoCycles);
  form->addRow(QStringLiteral("Количество ошибок:"), LabelErrorCounter);
  form->addRow(QStringLiteral("Время работы потока:"), LabelRunningTime);
  form->addRow(QStringLiteral("Записей в буфере:"), LabelSpool);

  ButStart = new QPushButton(QStringLiteral("Старт"));
  ButStart->setObjectName(QStringLiteral("ButStart"));
  ButStart->setAutoDefault(false);
  ButStop = new QPushButton(QStringLiteral("Стоп"));
  ButStop->setObjectName(QStringLiteral("ButStop"));
  ButStop->setAutoDefault(false);
  ButStop->setEnabled(false);
  connect(ButStart, &QPushButton::clicked, this, &TabState::StartClicked);
  connect(ButStop, &QPushButton::clicked, this, &TabState::StopClicked);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ButStart);
  buttons->addWidget(ButStop);
  buttons->addStretch();

  auto* top = new QHBoxLayout;
  top->addLayout(form, 1);
  top->addLayout(buttons);

  StringGrid_state = new QTableWidget(4, 3);
  StringGrid_state->setObjectName(QStringLiteral("StringGrid_state"));
  StringGrid_state->horizontalHeader()->hide();
  StringGrid_state->verticalHeader()->hide();
  StringGrid_state->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid_state->setSelectionMode(QAbstractItemView::NoSelection);
  StringGrid_state->setFocusPolicy(Qt::NoFocus);
  StringGrid_state->setItemDelegate(new ModuleGridDelegate(StringGrid_state));
  StringGrid_state->setColumnWidth(0, 110);
  StringGrid_state->setColumnWidth(1, 290);
  StringGrid_state->setColumnWidth(2, 90);
  StringGrid_state->verticalHeader()->setDefaultSectionSize(24);
  StringGrid_state->setFixedSize(110 + 290 + 90 + 4, 4 * 24 + 4);
  StringGrid_state->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid_state->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) StringGrid_state->setItem(r, c, new QTableWidgetItem);

  auto* errors = new QFormLayout;
  errors->addRow(QStringLiteral("Последняя ошибка связи JUMO:"), LabelJumoError);
  errors->addRow(QStringLiteral("Последняя ошибка связи V-120:"), LabelV120Error);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(top);
  lay->addWidget(StringGrid_state);
  lay->addLayout(errors);
  lay->addStretch();
}

void TabState::Refresh(Service& service) {
  TProcessImage& img = service.Image();
  const bool running = img.ControlRunning.load();
  if (running) {
    LabelThreadState->setText(QStringLiteral("Активен"));
    LabelThreadState->setStyleSheet(QStringLiteral("color: green;"));
  } else {
    LabelThreadState->setText(QStringLiteral("Остановлен"));
    LabelThreadState->setStyleSheet(QStringLiteral("color: red;"));
  }
  LabelCycleCounter->setText(QString::number(img.CycleCounter.load()));
  LabelErrorCounter->setText(QString::number(img.CycleErrorCounter.load()));
  ButStart->setEnabled(!running);
  ButStop->setEnabled(running);
  LabelRunningTime->setText(QString::fromStdString(service.RunningTimeText()));
  LabelSpool->setText(QString::fromStdString(service.SpoolDepthText()));
  ShowModuleState(service);
}

void TabState::PressStop() {
  if (ButStop->isEnabled()) ButStop->click();
}

void TabState::ShowModuleState(Service& service) {
  TProcessImage& img = service.Image();
  LabelV120Cycles->setText(QString::number(img.V120CycleCounter.load()));
  LabelJumoCycles->setText(QString::number(img.JumoCycleCounter.load()));
  const TModuleGrid grid = service.ModuleGrid();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) {
      QTableWidgetItem* item = StringGrid_state->item(r, c);
      const QString text = QString::fromStdString(grid.Cells[r][c]);
      if (item->text() != text) item->setText(text);
    }
  LabelJumoError->setText(QString::fromStdString(img.LinkError(kLinkJumo)));
  LabelV120Error->setText(QString::fromStdString(img.LinkError(kLinkV120)));
}

}  // namespace liron
