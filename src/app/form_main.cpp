#include "app/form_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSessionManager>
#include <QThread>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/qt_operator.h"
#include "app/tab_calibration.h"
#include "app/tab_emulator.h"
#include "app/tab_pu_state.h"
#include "app/tab_settings.h"
#include "app/tab_setpoints.h"
#include "app/tab_signal_plan.h"
#include "app/tab_state.h"
#ifdef LIRON_WITH_TRENDS
#include "app/tab_trends.h"
#endif
#include "app/tray_images.h"
#include "engine/periodic_jobs.h"
#include "signals/setpoints.h"

namespace liron {
namespace {

const char kCloseQuestion[] = "Прекратить прием данных и завершить работу с программой?";

void DefaultSessionEndAction() {
  QCoreApplication::exit(0);
  QThread::msleep(500);
  std::_Exit(0);
}

}  // namespace

TFormMain::TFormMain(Service& service, bool start_timers, QWidget* parent)
    : QDialog(parent), service_(service), session_end_action_(DefaultSessionEndAction) {
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(QString::fromUtf8(kAppCaption));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  if (auto* qt_op = dynamic_cast<QtOperator*>(&service_.Op())) qt_op->SetOwner(this);
  for (int i = 0; i < 3; ++i) tray_icons_[i] = TrayIconAt(i);
  setWindowIcon(tray_icons_[0]);

  BuildTabs();
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(PageControl);
  lay->addLayout(BuildButtonBar());
  lay->setSizeConstraint(QLayout::SetFixedSize);  // a fixed-size window

  TrayIcon = new QSystemTrayIcon(this);
  TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
  connect(TrayIcon, &QSystemTrayIcon::activated, this, &TFormMain::TrayIconActivated);

  for (const TPeriodicJob& job : kPeriodicJobs) {
    auto* timer = new QTimer(this);
    timer->setObjectName(QString::fromUtf8(job.Name));
    timer->setInterval(static_cast<int>(job.PeriodMs));
    if (job.UpdateTick) {
      connect(timer, &QTimer::timeout, this, &TFormMain::TimerUpdateTick);
    } else {
      connect(timer, &QTimer::timeout, this, [this, job] { RunPeriodicJob(job, service_); });
    }
    timers_.push_back(timer);
  }

  // The window creation handler: the mark, the emulator tab, the session-end watcher.
  try {
    service_.WindowCreated();
  } catch (...) {
    service_.Op().Beep();
  }
  ShowEmulTabFromSettings();
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SessionEnd(); },
            Qt::DirectConnection);

  Refresh();
  if (TrayAvailable()) TrayIcon->show();
  if (start_timers)
    for (QTimer* timer : timers_) timer->start();
}

TFormMain::~TFormMain() {
  if (auto* qt_op = dynamic_cast<QtOperator*>(&service_.Op())) qt_op->SetOwner(nullptr);
}

void TFormMain::BuildTabs() {
  PageControl = new QTabWidget;
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setFixedSize(880, 480);
  TabSheetSettings = new TabSettings;
  TabSheetState = new TabState;
  TabSheetSignals = new TabSignalPlan(service_);
  TabSheetEmul = new TabEmulator(service_);
  TabSheetPuState = new TabPuState;
  TabSheetCalibr = new TabCalibration(service_);
  TabSheetControl = new TabSetpoints(service_);
  PageControl->addTab(TabSheetSettings, QStringLiteral("Настройки"));
  PageControl->addTab(TabSheetState, QStringLiteral("Текущее состояние"));
  PageControl->addTab(TabSheetSignals, QStringLiteral("Планировка сигналов"));
  PageControl->addTab(TabSheetEmul, QStringLiteral("Эмулятор"));
  PageControl->addTab(TabSheetPuState, QStringLiteral("Состояние ПУ"));
#ifdef LIRON_WITH_TRENDS
  TabSheetTrends = new TabTrends(service_);
  PageControl->addTab(TabSheetTrends, QStringLiteral("Тренды"));
#endif
  PageControl->addTab(TabSheetCalibr, QStringLiteral("Калибровки"));
  PageControl->addTab(TabSheetControl, QStringLiteral("Задания"));
  PageControl->setCurrentWidget(TabSheetState);

  connect(TabSheetState, &TabState::StartClicked, this, &TFormMain::ButStartClick);
  connect(TabSheetState, &TabState::StopClicked, this, &TFormMain::ButStopClick);
  connect(TabSheetCalibr, &TabCalibration::CalibrationsApplied, this, [this] {
    TabSheetSignals->Open();
    TabSheetEmul->RefillGrid();
    Refresh();
  });
}

QLayout* TFormMain::BuildButtonBar() {
  CheckBoxHardWriteOff = new QCheckBox(QStringLiteral("Отключить HardWrite()"));
  CheckBoxHardWriteOff->setObjectName(QStringLiteral("CheckBoxHardWriteOff"));
  CheckBoxHardWriteOff->setVisible(false);  // a switch for the commissioning engineer only
  ButClose = new QPushButton(QStringLiteral("Закрыть"));
  ButClose->setObjectName(QStringLiteral("ButClose"));
  ButClose->setAutoDefault(false);
  ButSet = new QPushButton(QStringLiteral("Принять изменения"));
  ButSet->setObjectName(QStringLiteral("ButSet"));
  ButSet->setAutoDefault(false);
  ButHide = new QPushButton(QStringLiteral("Скрыть"));
  ButHide->setObjectName(QStringLiteral("ButHide"));
  ButHide->setDefault(true);

  connect(ButClose, &QPushButton::clicked, this, &TFormMain::ButCloseClick);
  connect(ButSet, &QPushButton::clicked, this, &TFormMain::ButSetClick);
  connect(ButHide, &QPushButton::clicked, this, &TFormMain::ButHideClick);
  connect(CheckBoxHardWriteOff, &QCheckBox::clicked, this, &TFormMain::CheckBoxHardWriteOffClick);

  auto* bar = new QHBoxLayout;
  bar->addWidget(CheckBoxHardWriteOff);
  bar->addStretch();
  bar->addWidget(ButClose);
  bar->addWidget(ButSet);
  bar->addWidget(ButHide);
  return bar;
}

void TFormMain::ShowAtStart(bool hidden) {
  if (!hidden)
    show();
  else if (!TrayAvailable())
    showMinimized();
}

bool TFormMain::TrayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

QString TFormMain::TestTrayHintText() const { return TrayIcon->toolTip(); }

// ---- timers ---------------------------------------------------------------------------------

void TFormMain::TimerUpdateTick() {
  try {
    const TUpdateActions a = service_.OnUpdateTick();
    if (a.Hide) HideWindow();
    if (a.ShowEmulTabFromSettings) {
      ShowEmulTabFromSettings();
      AfterLoad();
    }
    if (a.SettingsToWindow) {
      SettingsForm f = TabSheetSettings->Form();
      service_.SettingsToWindow(f);
      TabSheetSettings->SetForm(f);
    }
    if (a.RefillEmulGrid) TabSheetEmul->RefillGrid();
    if (a.PlanLoaded) AfterLoad();
    if (a.CalibrationsApplied) TabSheetCalibr->AfterApply();
    Refresh();
    if (a.ShowSetpoint) TabSheetControl->ShowSetpoint();
  } catch (...) {
    service_.Op().Beep();
  }
}

void TFormMain::Refresh() {
  TabSheetState->Refresh(service_);
  TabSheetPuState->ShowPuState(service_);
  const int image = service_.TrayImage();
  if (image != tray_image_) {
    tray_image_ = image;
    TrayIcon->setIcon(tray_icons_[(image >= 0 && image < 3) ? image : 0]);
  }
  const QString caption = QString::fromStdString(service_.Caption());
  if (windowTitle() != caption) setWindowTitle(caption);
  QString hint = QString::fromStdString(service_.TrayHint());
  hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (TrayIcon->toolTip() != hint) TrayIcon->setToolTip(hint);
  // A panel that starts after the program still gets the icon.
  if (!TrayIcon->isVisible() && !service_.Image().Closing.load() && TrayAvailable())
    TrayIcon->show();
}

void TFormMain::ShowEmulTabFromSettings() {
  PageControl->setTabVisible(PageControl->indexOf(TabSheetEmul),
                             service_.Image().Settings().ShowEmulTab);
}

void TFormMain::AfterLoad() {
  TabSheetSignals->Open();
  TabSheetCalibr->RefillSignalNames();
  TabSheetEmul->RefillGrid();  // the grid's rows follow the plan just loaded
}

// ---- operator commands ----------------------------------------------------------------------

void TFormMain::ButStartClick() {
  try {
    service_.OperatorStart();
    Refresh();
  } catch (...) {
    service_.Op().Beep();
  }
}

void TFormMain::ButStopClick() {
  try {
    service_.OperatorStop();
    Refresh();
  } catch (...) {
    service_.Op().Beep();
  }
}

bool TFormMain::ButSetClick() {
  try {
    SettingsForm f = TabSheetSettings->Form();
    const bool ok = service_.ApplySettings(f);
    if (ok) TabSheetSettings->SetForm(f);  // DatabaseSize below 60 shows "60"
    return ok;
  } catch (...) {
    service_.Op().Beep();
    return false;
  }
}

void TFormMain::ButHideClick() {
  // With numbers to correct the window stays, so the operator can correct them.
  if (ButSetClick()) HideWindow();
}

void TFormMain::HideWindow() {
  showMinimized();
  // Without a tray icon a hidden window could not be brought back: it stays minimized.
  if (TrayAvailable()) hide();
}

void TFormMain::RestoreFromTray() {
  show();
  showNormal();
  raise();
  activateWindow();
}

void TFormMain::TrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) RestoreFromTray();
}

void TFormMain::CheckBoxHardWriteOffClick() {
  try {
    SetHardWriteOff(service_.Image(), CheckBoxHardWriteOff->isChecked(), service_.Events(),
                    service_.Journal());
  } catch (...) {
    service_.Op().Beep();
  }
}

void TFormMain::ButCloseClick() {
  try {
    if (!service_.Op().Ask(kCloseQuestion, "Выход", MsgIcon::Question, false)) return;
    service_.OrderlyEnd();  // StopFlag, journal, Closing, SaveConfig, connections closed
    for (int i = 0; i < 10; ++i) {
      QCoreApplication::processEvents();
      QThread::msleep(100);
    }
    QCoreApplication::processEvents();
    for (QTimer* timer : timers_) timer->stop();
    TrayIcon->hide();
    close();
    emit Finished();
    QCoreApplication::quit();
  } catch (...) {
    service_.Op().Beep();
  }
}

void TFormMain::SessionEnd() {
  try {
    service_.SessionEnd();
    TrayIcon->hide();
    close();
    emit Finished();
    if (session_end_action_) session_end_action_();
  } catch (...) {
    QApplication::beep();
  }
}

// ---- window events --------------------------------------------------------------------------

void TFormMain::closeEvent(QCloseEvent* event) {
  if (service_.Image().Closing.load()) {
    event->accept();
    return;
  }
  // The close box only puts the window aside; "Закрыть" ends the program.
  event->ignore();
  showMinimized();
}

void TFormMain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    TabSheetState->PressStop();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFormMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowEmulTabFromSettings();
}

void TFormMain::reject() {}

}  // namespace liron
