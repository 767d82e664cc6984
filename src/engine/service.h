// Service: the object that owns the running system — the process image, both database
// connections and their queues, the event ring, the journal, the local spool and the settings
// — and offers every operator command and timer handler as a plain method. It is the thin
// owner of the rooms that keep their own state: the start-up sequence (StartUp), the plan in
// force and its source (PlanSource), and the field links, threads and records behind the
// control thread (ServicePlant). The window (or the headless runner) owns one Service, drives
// its timers (periodic_jobs.h) and only shows and edits.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "db/config_file.h"
#include "db/connection_keeper.h"
#include "db/journal.h"
#include "db/mysql_connection.h"
#include "spool/spool.h"
#include "db/sql_queues.h"
#include "engine/plan_source.h"
#include "engine/service_plant.h"
#include "engine/start_up.h"
#include "engine/status_texts.h"
#include "engine/systemd_report.h"
#include "engine/update_actions.h"
#include "engine/user_check.h"
#include "image/process_image.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"
#include "platform/home_dir.h"
#include "platform/operator.h"

namespace liron {

constexpr int kEventBufferCapacity = 400;

class Service {
 public:
  // home: the service's folder (liron36.INI, LOG/, the time-out files), empty for the
  // executable's folder. It is created when missing and becomes the current directory.
  Service(const std::string& home, Clock& clock, Operator& op);
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The parts, for the window and for tests.
  TProcessImage& Image() { return img_; }
  TEventFIFO& Events() { return events_; }
  TMySQLConnection& UserConnection() { return user_; }
  TJournal& Journal() { return journal_; }
  Operator& Op() { return op_; }
  Clock& GetClock() { return clock_; }
  const std::string& Home() const { return home_.Dir; }
  const std::string& IniPath() const { return home_.IniPath; }
  const std::string& LogDir() const { return home_.LogDir; }
  // Signal names of the plan, in row order, for the calibration tab's list.
  std::vector<std::string> CalibrationSignalNames() { return plan_.CalibrationSignalNames(); }

  // For tests only.
  TMySQLConnection& TestWorkConnection() { return work_; }
  TSqlQueues& TestQueues() { return queues_; }
  TSpool& TestSpool() { return spool_; }
  // The start-up has loaded the plan, or its first 16 attempts have failed (it goes on trying
  // in the background), or the INI could not be read.
  bool TestStartUpSettled() const { return start_up_.Settled(); }
  // Shortens the pauses between the start-up's attempts (1 s, then 5 s).
  void TestSetUserConnectPauses(uint32_t gap_ms, uint32_t retry_ms) {
    start_up_.SetConnectPauses(gap_ms, retry_ms);
  }
  bool TestApplying() const { return plan_.Applying(); }  // "Применить" waits or reloads
  // Waits (bounded) until the control thread has ended; true when it has.
  bool TestWaitControlEnded(uint32_t timeout_ms) { return plant_.WaitControlEnded(timeout_ms); }

  // Timers of the event-loop thread (periodic_jobs.h).
  void RunWriteQueue() { plant_.RunWriteQueue(); }  // the write queue, then the automatic clean
  void RunSelectQueue();  // the select queue
  void DrainEvents();     // up to 10 events into the daily log file
  // The start-up sequence (ticks 2, 5, 7, 9) and "Применить". The window then refreshes.
  TUpdateActions OnUpdateTick();
  // Marks that the window (or the headless runner) exists; events are drained from then on.
  void WindowCreated();

  // Operator commands.
  // SeedCounter on the user connection, then the control thread. A failure posts its reason.
  // Without the server (a start on the saved copy of the plan, or a plan in force and the user
  // connection failing) the counter seed and the minute's key come from the local store.
  bool StartControl();
  // StopFlag, then up to half a second for the control thread to end.
  bool StopControl() { return plant_.Control().StopControl(); }
  void OperatorStart();  // "Старт"
  void OperatorStop();   // "Стоп"
  bool ApplySettings(SettingsForm& form) { return start_up_.ApplySettings(form); }  // "Принять изменения"
  void SettingsToWindow(SettingsForm& form) { start_up_.SettingsToWindow(form); }
  // "Применить" on the calibration tab, after the operator said Yes: journal and events, stop
  // the control thread; the update ticks then wait for its end, reload the plan and
  // calibrations (a failed reload keeps the plan in force) and start it again.
  void ApplyCalibrations() { plan_.ApplyCalibrations(); }
  // "Записать" on the setpoint tab: the row on the user connection, journalled.
  bool EnterSetpoint(const std::string& plsz_text, const std::string& urnsz_text);
  // Every use of the user connection asks this first (CheckUserConnection): false after an
  // event that says why (the server's error, or a reopening still in progress).
  bool UserReady();
  // "Закрыть" after the operator said Yes, and SIGINT of the headless daemon.
  void OrderlyEnd();
  // The operating-system session ends (SIGTERM, SIGHUP, the session manager). The caller
  // then ends the process with exit code 0.
  void SessionEnd();

  // Display: the texts of status_texts.h on the state of now.
  std::string StatusLine();
  std::string SpoolDepthText();
  std::string RunningTimeText();
  TModuleGrid ModuleGrid();
  int TrayImage();                // 0 stopped, 1 or 2 alternating with the cycles
  std::string TrayHint();
  std::string Caption();          // the window's caption

 private:
  bool Emulating();               // either emulator is on
  void Shutdown(const std::string& journal_text, const std::string& event_text);

  Clock& clock_;
  Operator& op_;
  HomeDir home_;
  TEventFIFO events_;
  TProcessImage img_;
  TMySQLConnection user_, work_;
  TConnectionKeeper user_keeper_{user_};  // ends before the connection it keeps
  TSqlQueues queues_;
  TJournal journal_;
  TSpool spool_;  // spool.db in the home folder; opened with the home
  ServicePlant plant_;  // its threads end before any part above goes
  PlanSource plan_;
  StartUp start_up_;
  std::atomic<bool> window_created_{false};
  TSystemdReport systemd_;
  TDateTime emul_shown_moment_ = 0;
};

}  // namespace liron
