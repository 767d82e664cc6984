// Service: the object that owns the running system — the process image, both database
// connections and their queues, the event ring, the journal, the field links, the threads and
// the settings — and offers every operator command and timer handler as a plain method. The
// window (or the headless runner) owns one Service, drives its timers and only shows and edits.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/config_file.h"
#include "db/connection_keeper.h"
#include "db/journal.h"
#include "db/mysql_connection.h"
#include "db/records.h"
#include "db/setup_consts.h"
#include "db/sql_queues.h"
#include "engine/control_plant.h"
#include "engine/control_threads.h"
#include "engine/systemd_report.h"
#include "image/process_image.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"
#include "platform/home_dir.h"
#include "platform/operator.h"
#include "platform/threads.h"
#include "spool/spool.h"

namespace liron {

class TModBUS;
class TVisionLink;

constexpr int kEventBufferCapacity = 400;
constexpr int kUserConnectAttempts = 16;
constexpr uint32_t kUserConnectGapMs = 1000;     // between the start-up's first attempts
constexpr uint32_t kUserConnectRetryMs = 5000;   // after them, until the server answers
// An operator command waits at most this long for the check of the user connection; the
// event loop stays answering.
constexpr uint32_t kUserCheckWaitMs = 900;
constexpr uint32_t kApplyStopWaitMs = 15000;     // "Применить" waits for the control thread
constexpr uint32_t kFlushMs = 2000;  // the end flushes the write queue at most this long
// The end waits at most this long for the control thread to journal its stop: it first waits
// for the polling pass in progress, which against silent controllers lasts about half a second
// per JUMO signal.
constexpr uint32_t kEndWaitMs = 3000;

extern const char kAppTitle[];    // "Служба приема ЛИРОН-36"
extern const char kAppCaption[];  // "Служба приема ЛИРОН-36  1.20"
// Caption and tray hint carry it while either emulator is on: entered values are recorded.
extern const char kEmulationMark[];  // "*** ЭМУЛЯЦИЯ ***"

// What the start-up sequence of the update timer asks of the window at this tick.
struct TUpdateActions {
  bool Hide = false;              // tick 2 with AutoHide: minimize and hide the window
  bool SettingsToWindow = false;  // tick 7 with the user connection up
  bool RefillEmulGrid = false;    // tick 7, or the emulator values were applied since
  bool ShowEmulTabFromSettings = false;  // after the load of tick 5
  bool ShowSetpoint = false;      // CycleCounter mod 10 == 1
  bool PlanLoaded = false;           // the start-up has loaded the plan (the server answered)
  bool CalibrationsApplied = false;  // "Применить" has reloaded the plan (or given up)
};

// The module status grid of the current-state tab: 4 rows of 3 cells.
struct TModuleGrid {
  std::string Cells[4][3];
};

class Service : private ControlPlant {
 public:
  // home: the service's folder (liron36.INI, LOG/, the time-out files), empty for the
  // executable's folder. It is created when missing and becomes the current directory.
  Service(const std::string& home, Clock& clock, Operator& op);
  ~Service() override;
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The parts, for the window and for tests.
  TProcessImage& Image() { return img_; }
  TEventFIFO& Events() { return events_; }
  TMySQLConnection& UserConnection() { return user_; }
  TMySQLConnection& WorkConnection() { return work_; }
  TSqlQueues& Queues() { return queues_; }
  TJournal& Journal() { return journal_; }
  TSpool& Spool() { return spool_; }
  Operator& Op() { return op_; }
  Clock& GetClock() { return clock_; }
  const std::string& Home() const { return home_.Dir; }
  const std::string& IniPath() const { return home_.IniPath; }
  const std::string& LogDir() const { return home_.LogDir; }
  // Signal names of the plan, in row order, for the calibration tab's list.
  std::vector<std::string> CalibrationSignalNames();

  // Timers of the event-loop thread.
  void RunWriteQueue();   // every 100 ms: the write queue, then the automatic clean
  void RunSelectQueue();  // every 100 ms: the select queue
  void DrainEvents();     // every 250 ms: up to 10 events into the daily log file
  // Every 250 ms: the start-up sequence (ticks 2, 5, 7, 9). The window then refreshes.
  TUpdateActions OnUpdateTick();
  // Marks that the window (or the headless runner) exists; events are drained from then on.
  void WindowCreated();

  // Start-up. Reads the INI and starts opening the user connection off the event loop: 16
  // attempts a second apart, then every 5 s. The update ticks load the plan once it is open,
  // journal the start record and start the control thread when AutoStart is set.
  void LoadConfig();
  // The start-up has loaded the plan, or its first 16 attempts have failed (it goes on trying
  // in the background), or the INI could not be read.
  bool StartUpSettled() const;
  // Tests shorten the pauses between the start-up's attempts (1 s, then 5 s).
  void SetUserConnectPauses(uint32_t gap_ms, uint32_t retry_ms);
  bool SaveConfig();  // false after posting "Ошибка в SaveConfig"

  // Operator commands.
  // SeedCounter on the user connection, then the control thread. A failure posts its reason.
  // Without the server (a start on the saved copy of the plan, or a plan in force and the user
  // connection failing) the counter seed and the minute's key come from the local store.
  bool StartControl();
  bool StopControl();   // StopFlag, then up to half a second for the control thread to end
  void OperatorStart();  // "Старт"
  void OperatorStop();   // "Стоп"
  bool ApplySettings(SettingsForm& form);  // "Принять изменения"
  void SettingsToWindow(SettingsForm& form);
  // "Применить" on the calibration tab, after the operator said Yes: journal and events, stop
  // the control thread; the update ticks then wait for its end, reload the plan and
  // calibrations (a failed reload keeps the plan in force) and start it again.
  void ApplyCalibrations();
  bool Applying() const { return apply_.Pending; }
  // "Записать" on the setpoint tab: the row on the user connection, journalled.
  bool EnterSetpoint(const std::string& plsz_text, const std::string& urnsz_text);
  // Every use of the user connection asks this first: it makes sure the connection is open
  // and reopens it once when the server dropped it, waiting at most kUserCheckWaitMs. False
  // after an event that says why (the server's error, or a reopening still in progress).
  bool UserReady();
  TConnectionKeeper::Check UserCheck();  // the same, telling a failure from a reopening
  // What "systemctl status" shows: what the service waits for, or its cycles and last record,
  // and the records waiting in the spool when there are any.
  std::string StatusLine();
  // The spool's depth: "0", or "N (с dd.mm.yyyy hh:nn:ss)" with the oldest record's moment.
  std::string SpoolDepthText();
  // "Закрыть" after the operator said Yes, and SIGINT of the headless daemon.
  void OrderlyEnd();
  // The operating-system session ends (SIGTERM, SIGHUP, the session manager). The caller
  // then ends the process with exit code 0.
  void SessionEnd();

  // Display helpers.
  std::string RunningTimeText();  // "hh:nn:ss", "dd hh:nn:ss", empty while stopped
  TModuleGrid ModuleGrid();
  int TrayImage();                // 0 stopped, 1 or 2 alternating with the cycles
  std::string TrayHint();
  std::string Caption();          // the window's caption

  // Waits (bounded) until the control thread has ended; true when it has.
  bool WaitControlEnded(uint32_t timeout_ms);

 private:
  // ControlPlant: what the control thread drives.
  void CopyConnectionParams() override;
  bool OpenWork() override;
  bool WorkConnected() override;
  void CloseWork() override;
  bool StartWorkCheck() override;
  WorkCheck LastWorkCheck() override;
  void Journal(const std::string& text) override;
  bool JournalAt(TDateTime moment, const std::string& text) override;
  void LoadSetupConsts() override;
  LineStart OpenJumoLine(std::string* port) override;
  LineStart OpenV120Link(std::string* port) override;
  void StartPolling() override;
  void StopPollingAndCloseLines() override;
  bool TranslateIn() override;
  bool UpdateStateRecord() override;
  bool CalcWorks() override;
  bool ReadControlVector() override;
  bool UpdatePafRecord() override;
  void ControlThreadEnding() override;

  bool Emulating();               // either emulator is on
  bool LoadSignalPlan();          // on the user connection; events on failure
  // The plan in force, its calibrations and the setup constants into the local store, for a
  // start without the server; a failure is posted and changes nothing else.
  void SavePlanCopy();
  // The start-up's first attempts have failed: the plan of the local copy is put in force.
  // False (nothing changed) when the store holds no copy.
  bool StartOnCopy();
  // The server has answered a start-up that runs on the copy: the server's plan replaces the
  // copy only when it differs, through the stop-and-start path of "Применить".
  void ServerAnsweredOnCopy(TUpdateActions& a);
  void NoteSetpointsInForce();    // the setpoints in force into the local store
  // The setpoints in force from the server, unless an order was taken in this run.
  void TakeServerSetpoints();
  void CheckStartUp(TUpdateActions& a);  // the user connection of the start-up, until open
  void ContinueApply(TUpdateActions& a);
  void Autostart();
  JournalSink LinkJournal();      // where a polling thread journals its line's loss and return
  // After every plan load: the emulated values follow their signals, the setpoint rows that
  // are never written are named, and the first load of the run takes the setpoints in force.
  // A plan from the copy takes the setpoints the local store kept instead.
  void AfterPlanLoad(const std::vector<std::string>& names_before, bool from_copy = false);
  // One pass of the write timer; returns the records written or set aside.
  int PassWrites();
  void FlushWriteQueue(uint32_t ms);
  void Shutdown(const std::string& journal_text, const std::string& event_text);

  Clock& clock_;
  Operator& op_;
  HomeDir home_;
  TEventFIFO events_;
  TProcessImage img_;
  TMySQLConnection user_, work_;
  TConnectionKeeper user_keeper_{user_};  // ends before the connection it keeps
  TConnectionKeeper work_keeper_{work_};  // checks and reopens it for the control thread
  TSqlQueues queues_;
  TJournal journal_;
  TSpool spool_;  // spool.db in the home folder; opened with the home
  TRecordState records_;
  std::unique_ptr<TModBUS> modbus_;  // created by the first start of the control thread
  std::unique_ptr<TVisionLink> vision_;
  WorkerThread v120_thread_, jumo_thread_;
  TAutoClean auto_clean_;
  TControlThreads control_;

  std::atomic<bool> window_created_{false};
  TSystemdReport systemd_;
  enum class StartUp { NotYet, Opening, Done } start_up_ = StartUp::NotYet;
  int start_up_failures_seen_ = 0;
  bool plan_loaded_ = false;  // a plan is in force: loaded from the server or from the copy
  bool on_copy_ = false;      // it came from the copy and the server has not answered since
  TPlanCopy copy_in_force_;   // that copy, to compare with the server's plan
  uint32_t connect_gap_ms_ = kUserConnectGapMs, connect_retry_ms_ = kUserConnectRetryMs;
  bool settings_read_ = false;   // the INI file was read: the settings are real values
  bool settings_shown_ = false;  // the settings tab holds them
  struct {
    bool Pending = false;
    uint32_t Since = 0;
  } apply_;
  std::atomic<double> last_record_{0};  // the moment of the last good cycle's records
  std::mutex run_mu_;  // one timer run of the write queue or the select queue at a time
  int update_ticks_ = 0;
  bool in_update_ = false;
  TDateTime emul_shown_moment_ = 0;
  std::vector<std::string> calib_names_;
};

}  // namespace liron
