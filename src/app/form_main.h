// TFormMain: the operator window of the receiving service. Its tabs and a button bar, the
// tray icon, and one timer for each of the event loop's periodic jobs (engine/periodic_jobs.h)
// that drive the Service on the GUI thread, named as the jobs are: TimerUpdate (start-up
// sequence and display), TimerGetLog, TimerMySQL_work and TimerMySQL_select. The window only
// shows and edits; every command is a method of the Service it is given.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <vector>

#include "engine/service.h"

class QSessionManager;

namespace liron {

class TabSettings;
class TabState;
class TabSignalPlan;
class TabEmulator;
class TabPuState;
class TabCalibration;
class TabSetpoints;
class TabTrends;

class TFormMain : public QDialog {
  Q_OBJECT
 public:
  // service is owned by the caller and outlives the window. With start_timers false the
  // timers stay idle and the owner calls the tick slots itself (tests do).
  explicit TFormMain(Service& service, bool start_timers = true, QWidget* parent = nullptr);
  ~TFormMain() override;

  // What ends the process after the session end; by default the application is asked to
  // quit, and half a second later the process ends with exit code 0.
  void SetSessionEndAction(std::function<void()> action) { session_end_action_ = std::move(action); }

  // The program's first showing: shown, or with AutoHide hidden behind the tray icon; without
  // a tray only minimized, so the window can always be reached.
  void ShowAtStart(bool hidden);

  // For the tests: the tray icon's image (0 stopped, 1 and 2 alternating while running) and
  // hint.
  int TestTrayImageIndex() const { return tray_image_; }
  QString TestTrayHintText() const;
  bool TrayAvailable() const;

 private:
  // The window's parts, each with its member's name as object name (tests find them by it).
  QTabWidget* PageControl;
  TabSettings* TabSheetSettings;
  TabState* TabSheetState;
  TabSignalPlan* TabSheetSignals;
  TabEmulator* TabSheetEmul;
  TabPuState* TabSheetPuState;
  TabCalibration* TabSheetCalibr;
  TabSetpoints* TabSheetControl;
  TabTrends* TabSheetTrends = nullptr;  // built with the trends (LIRON_WITH_TRENDS)
  QPushButton* ButClose;
  QPushButton* ButSet;
  QPushButton* ButHide;
  QCheckBox* CheckBoxHardWriteOff;
  QSystemTrayIcon* TrayIcon;

 signals:
  // The program has ended in order ("Закрыть" confirmed) or at the session end.
  void Finished();

 public slots:
  void TimerUpdateTick();
  void ButStartClick();
  void ButStopClick();
  bool ButSetClick();
  void ButHideClick();
  void ButCloseClick();
  void CheckBoxHardWriteOffClick();
  void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
  void RestoreFromTray();
  void SessionEnd();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void reject() override;  // Esc is Стоп here, never "close the dialog"

 private:
  void BuildTabs();
  QLayout* BuildButtonBar();
  void Refresh();                    // the display part of every update tick
  void ShowEmulTabFromSettings();
  void HideWindow();                 // minimize and hide; only minimize without a tray
  void AfterLoad();                  // the plan was (re)loaded: editors read it again

  Service& service_;
  int tray_image_ = -1;
  QIcon tray_icons_[3];
  std::function<void()> session_end_action_;
  std::vector<QTimer*> timers_;  // one for each periodic job, in the table's order
};

}  // namespace liron
