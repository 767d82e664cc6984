#include "engine/service.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "db/event_log.h"
#include "db/setup_consts.h"
#include "db/signal_loader.h"
#include "links/jumo_poll.h"
#include "links/modbus.h"
#include "links/setpoint_write.h"
#include "links/v120_poll.h"
#include "links/vision_link.h"
#include "engine/thread_entry.h"
#include "platform/datetime.h"
#include "platform/home_dir.h"
#include "signals/calc_works.h"
#include "signals/calibration.h"
#include "signals/emulator.h"
#include "signals/setpoints.h"
#include "spool/write_pass.h"

namespace liron {

const char kAppTitle[] = "Служба приема ЛИРОН-36";
const char kAppCaption[] = "Служба приема ЛИРОН-36  1.20";
const char kEmulationMark[] = "*** ЭМУЛЯЦИЯ ***";

namespace {

// "0", or "N (с dd.mm.yyyy hh:nn:ss)" with the oldest record's moment.
std::string DepthText(const TSpoolDepth& d) {
  if (d.Records == 0) return "0";
  return std::to_string(d.Records) + " (с " + FormatDateTime("dd.mm.yyyy hh:nn:ss", d.Oldest) +
         ")";
}

HomeDir MakeHome(const std::string& requested) {
  HomeDir home;
  std::string error;
  if (!SetUpHome(requested, &home, &error)) {
    // The folder cannot be made or entered: the service still runs, from where it stands.
    std::fprintf(stderr, "liron36: %s\n", error.c_str());
    home.Dir = requested.empty() ? "." : requested;
    home.IniPath = home.Dir + "/liron36.INI";
    home.LogDir = home.Dir + "/LOG";
  }
  return home;
}

}  // namespace

Service::Service(const std::string& home, Clock& clock, Operator& op)
    : clock_(clock),
      op_(op),
      home_(MakeHome(home)),
      events_(kEventBufferCapacity, clock, &op),
      img_(clock, &op),
      queues_(events_),
      journal_(queues_, events_, clock),
      spool_(events_),
      vision_(std::make_unique<TVisionLink>(clock, &op)),
      auto_clean_(clock),
      control_(img_, *this, events_, op),
      systemd_(clock) {
  img_.Delivery.SetJournal(
      [this](const std::string& text) { journal_.WriteJournal(text, kServiceOriginator); });
  std::string error;
  if (!spool_.Open(home_.Dir + "/" + kSpoolFileName, &error)) {
    events_.PostEvent("*** Буфер записей недоступен: " + error + " ***");
  } else {
    // What cannot be written now waits in the spool; without one it waits in memory.
    queues_.AttachSpool(&spool_);
    records_.Spool = &spool_;
  }
  queues_.AnswerSelectsOn(&work_);
}

Service::~Service() {
  img_.StopFlag = true;
  control_.WaitEnded();
  v120_thread_.Join();
  jumo_thread_.Join();
}

std::vector<std::string> Service::CalibrationSignalNames() { return calib_names_; }

// ---- timers -------------------------------------------------------------------------------

void Service::RunWriteQueue() {
  if (img_.Closing) return;
  std::unique_lock<std::mutex> l(run_mu_, std::try_to_lock);
  if (!l.owns_lock()) return;
  try {
    PassWrites();
  } catch (...) {
    op_.Beep();
  }
}

int Service::PassWrites() {
  // The automatic clean follows a pass over the queue, only while the work connection is up.
  return liron::PassWrites(queues_, spool_, work_, events_, clock_.Now(), [this] {
    const TSettings s = img_.Settings();
    auto_clean_.Check(queues_, s.AutoCleanFlag, s.DatabaseSize);
  });
}

void Service::RunSelectQueue() {
  if (img_.Closing) return;
  try {
    queues_.RunSelectQueue(work_);
  } catch (...) {
    op_.Beep();
  }
}

void Service::WindowCreated() {
  window_created_ = true;
  events_.PostEvent("--> Запуск программы <---");
  systemd_.Ready();  // the program is up; the server may come later
}

void Service::DrainEvents() {
  if (!window_created_) return;
  try {
    DrainEventsToLog(events_, home_.LogDir, img_.Settings().SaveLogFlag, clock_);
  } catch (...) {
    op_.Beep();
  }
}

TUpdateActions Service::OnUpdateTick() {
  TUpdateActions a;
  if (in_update_) return a;
  try {
    if (++update_ticks_ > 9) {
      update_ticks_ = 10;
    } else if (update_ticks_ == 2) {
      if (img_.Settings().AutoHide) {
        events_.PostEvent("## Скрытый режим ##");
        a.Hide = true;
      }
    } else if (update_ticks_ == 5) {
      in_update_ = true;
      LoadConfig();
      a.ShowEmulTabFromSettings = true;
      in_update_ = false;
      img_.ResetAverages();
    } else if (update_ticks_ == 7) {
      // The INI's values, whether or not the server has answered yet.
      if (settings_read_) a.SettingsToWindow = true;
      a.RefillEmulGrid = true;
    }
    if (update_ticks_ > 5) {
      CheckStartUp(a);
      ContinueApply(a);
    }
    const TDateTime emul_moment = img_.EmulValues.GetMoment();
    if (emul_moment > emul_shown_moment_) {
      emul_shown_moment_ = emul_moment;
      a.RefillEmulGrid = true;
    }
    a.ShowSetpoint = img_.CycleCounter.load() % 10 == 1;
    if (systemd_.Listening())
      systemd_.Tick(StatusLine(), img_.ControlProgress.load(), control_.Alive());
  } catch (...) {
    in_update_ = false;
    op_.Beep();
  }
  return a;
}

void Service::CheckStartUp(TUpdateActions& a) {
  if (start_up_ != StartUp::Opening) return;
  const TConnectionKeeper::Opening o = user_keeper_.OpeningState();
  if (o.Opened) {
    user_keeper_.Reap();
    start_up_ = StartUp::Done;
    events_.PostEvent("Подключение к MySQL произведено успешно.");
    if (on_copy_) {
      ServerAnsweredOnCopy(a);
      journal_.WriteJournal("Программа контроля загружена.", "");
      return;
    }
    if (!LoadSignalPlan()) {
      events_.PostEvent("Ошибка в LoadConfig");
      return;
    }
    journal_.WriteJournal("Программа контроля загружена.", "");
    a.PlanLoaded = true;
    a.RefillEmulGrid = true;
    if (img_.Settings().AutoStart) Autostart();
    return;
  }
  if (o.Failures <= start_up_failures_seen_) return;
  const bool first_round_over =
      start_up_failures_seen_ < kUserConnectAttempts && o.Failures >= kUserConnectAttempts;
  if (start_up_failures_seen_ < kUserConnectAttempts) op_.Beep();
  start_up_failures_seen_ = o.Failures;
  if (first_round_over) {
    // As before: the operator is told and the start record written; the attempts go on,
    // every 5 s, and a server that comes later still gets the plan loaded.
    events_.PostEvent("Не могу подключиться к MySQL cерверу.");
    events_.PostEvent("MySQL: " + o.Error);
    journal_.WriteJournal("Программа контроля загружена.", "");
    if (StartOnCopy()) {
      a.RefillEmulGrid = true;
      if (img_.Settings().AutoStart) Autostart();
    }
  }
}

bool Service::StartOnCopy() {
  TPlanCopy copy;
  std::string error;
  if (!spool_.IsOpen()) return false;
  const TPlanCopyRead read = spool_.PlanCopy().Load(&copy, &error);
  if (read != TPlanCopyRead::kLoaded) {
    if (read == TPlanCopyRead::kUnreadable)
      events_.PostEvent("*** Копия программы контроля не прочитана: " + error + " ***");
    return false;
  }
  const std::vector<std::string> names_before = img_.SignalNames;
  InstallSignals(img_, copy.Signals, &calib_names_);
  ApplySetupRows(copy.Setup, img_);
  img_.Trends.Allocate(img_.SignalCount.load());
  copy_in_force_ = std::move(copy);
  plan_loaded_ = on_copy_ = true;
  events_.PostEvent("*** Сервер MySQL недоступен: план загружен из сохраненной копии ***");
  AfterPlanLoad(names_before, true);
  return true;
}

void Service::ServerAnsweredOnCopy(TUpdateActions& a) {
  on_copy_ = false;
  a.PlanLoaded = true;
  TPlanCopy server;
  std::string error;
  bool too_many = false;
  if (!ReadSignals(user_, events_, &error, &server.Signals, &too_many) ||
      !ReadSetupRows(user_, &server.Setup, &error)) {
    events_.PostEvent("!!! Программа контроля не загружена: " + error + " !!!");
    events_.PostEvent("Работает программа контроля из сохраненной копии.");
    return;
  }
  if (too_many) return;  // the plan in force stays, as at any load
  if (SamePlan(server, copy_in_force_)) {
    events_.PostEvent("Программа контроля на сервере совпадает с сохраненной копией.");
    SavePlanCopy();
    TakeServerSetpoints();
    return;
  }
  events_.PostEvent("*** Программа контроля на сервере отличается от сохраненной копии ***");
  // A running control thread is stopped and started again, as "Применить" does it.
  if (control_.Alive()) {
    ApplyCalibrations();
  } else if (!LoadSignalPlan()) {
    events_.PostEvent("Работает программа контроля из сохраненной копии.");
  }
}

void Service::Autostart() {
  if (StartControl())
    events_.PostEvent("->> Автозапуск контроля аппаратуры <<--");
  else
    events_.PostEvent("!!! Автозапуск контроля аппаратуры не выполнен. !!!");
}

// ---- start-up and settings ----------------------------------------------------------------

void Service::LoadConfig() {
  TSettings s = img_.Settings();
  std::string error;
  if (!ReadConfig(home_.IniPath, s, &error)) {
    img_.SetSettings(s);
    events_.PostEvent("Ошибка в LoadConfig");
    events_.PostEvent(error);
    start_up_ = StartUp::Done;
    return;
  }
  user_.SetConnParam("HostName", s.Comp);
  user_.SetConnParam("User_Name", s.Login);
  user_.SetConnParam("Password", s.Password);
  img_.SetSettings(s);
  spool_.Outbox().SetLimitDays(s.SpoolDays);
  settings_read_ = true;
  // AutoStart stays as the operator set it: a server that answers late still gets it.
  user_keeper_.KeepOpening(kUserConnectAttempts, connect_gap_ms_, connect_retry_ms_);
  start_up_ = StartUp::Opening;
}

bool Service::StartUpSettled() const {
  return start_up_ == StartUp::Done || start_up_failures_seen_ >= kUserConnectAttempts;
}

void Service::SetUserConnectPauses(uint32_t gap_ms, uint32_t retry_ms) {
  connect_gap_ms_ = gap_ms;
  connect_retry_ms_ = retry_ms;
}

bool Service::LoadSignalPlan() {
  std::string error;
  const std::vector<std::string> names_before = img_.SignalNames;
  if (!LoadSignals(user_, img_, events_, &error, &calib_names_)) {
    events_.PostEvent("!!! Программа контроля не загружена: " + error + " !!!");
    return false;
  }
  img_.Trends.Allocate(img_.SignalCount.load());  // the trends of the plan now in force
  plan_loaded_ = true;
  on_copy_ = false;
  AfterPlanLoad(names_before);
  SavePlanCopy();
  return true;
}

void Service::SavePlanCopy() {
  TPlanCopy copy;
  const auto rows = std::min<size_t>(img_.Signals.size(), img_.SignalCount.load());
  copy.Signals.assign(img_.Signals.begin(), img_.Signals.begin() + static_cast<ptrdiff_t>(rows));
  copy.Saved = clock_.Now();
  std::string error = "буфер записей недоступен";
  if (spool_.IsOpen() && ReadSetupRows(user_, &copy.Setup, &error) &&
      spool_.PlanCopy().Save(copy, &error))
    return;
  events_.PostEvent("*** Копия программы контроля не сохранена: " + error + " ***");
}

void Service::AfterPlanLoad(const std::vector<std::string>& names_before, bool from_copy) {
  KeepEmulValuesByName(img_, names_before);
  ReportUnwrittenSetpointRows(img_, events_);
  if (from_copy) {
    const TSpoolSeeds seeds = spool_.Seeds().Read();
    if (seeds.HasSetpoints)
      SeedStoredSetpoints(img_, seeds.SetpointMoment, seeds.Plsz, seeds.Urnsz);
    return;
  }
  TakeServerSetpoints();
}

void Service::TakeServerSetpoints() {
  if (control_.Alive()) {
    // The store held no setpoints: the cycle takes the newest control_vector row as a new one
    // (its moment is older than the start). Unless it has taken a row meanwhile.
    TDateTime start_moment = img_.ControlMoment.load();
    if (!img_.Delivery.Taken()) img_.ControlMoment.compare_exchange_strong(start_moment, 0);
    return;
  }
  std::string error;
  if (SeedSetpoints(img_, user_, journal_, &error))
    NoteSetpointsInForce();
  else
    events_.PostEvent("*** Не удалось прочитать последнее задание: " + error + " ***");
}

void Service::NoteSetpointsInForce() {
  if (!img_.Delivery.Taken() || !spool_.IsOpen()) return;
  if (!spool_.Seeds().NoteSetpoints(img_.ControlMoment.load(), img_.PlszSetpoint.load(),
                                    img_.UrnszSetpoint.load()))
    events_.PostEvent("*** Задание не сохранено в буфере записей: " + spool_.LastError() + " ***");
}

bool Service::SaveConfig() {
  std::string error;
  if (!settings_read_) return true;  // never the design values over an INI not read
  if (WriteConfig(home_.IniPath, img_.Settings(), &error)) return true;
  events_.PostEvent("Ошибка в SaveConfig");
  return false;
}

bool Service::ApplySettings(SettingsForm& form) {
  // A tab never filled from the INI holds design values: nothing to take from it.
  if (!settings_shown_) return true;
  TSettings s = img_.Settings();
  if (!liron::ApplySettings(form, s, op_)) return false;
  img_.SetSettings(s);
  return true;
}

void Service::SettingsToWindow(SettingsForm& form) {
  liron::SettingsToWindow(img_.Settings(), form);
  settings_shown_ = settings_read_;
}

// ---- operator commands --------------------------------------------------------------------

bool Service::UserReady() { return UserCheck() == TConnectionKeeper::Check::Open; }

TConnectionKeeper::Check Service::UserCheck() {
  std::string error;
  switch (user_keeper_.Ensure(kUserCheckWaitMs, &error)) {
    case TConnectionKeeper::Check::Open:
      return TConnectionKeeper::Check::Open;
    case TConnectionKeeper::Check::Busy:
      events_.PostEvent("Соединение с MySQL сервером восстанавливается, команда не выполнена.");
      return TConnectionKeeper::Check::Busy;
    case TConnectionKeeper::Check::Failed:
      break;
  }
  events_.PostEvent("Нет соединения с MySQL сервером: " + error);
  return TConnectionKeeper::Check::Failed;
}

bool Service::StartControl() {
  if (img_.ControlRunning.load() || control_.Alive()) return true;
  if (apply_.Pending) {
    events_.PostEvent("Поток приема не запущен: применяются калибровки.");
    return false;
  }
  // Without the server the plan in force runs on what the local store kept: the start-up on
  // the copy until the server answers, or a plan loaded before the server went away.
  bool from_store = on_copy_;
  if (!from_store) {
    const TConnectionKeeper::Check user = UserCheck();
    from_store = user == TConnectionKeeper::Check::Failed && plan_loaded_ && spool_.IsOpen();
    if (user != TConnectionKeeper::Check::Open && !from_store) {
      events_.PostEvent("Поток приема не запущен.");
      return false;
    }
  }
  if (from_store)
    events_.PostEvent("Поток приема запускается без MySQL сервера: показание счетчика из "
                      "буфера записей.");
  std::string error;
  bool seeded = false;
  const bool started = control_.StartControl([this, &error, &seeded, from_store] {
    if (!from_store) return seeded = SeedCounter(img_, user_, &error, &spool_);
    // Without a minute row in the store the reading known in this run stands; at the
    // program's start there is none, and the first reading of the totaliser starts the count.
    SeedCounterFromSpool(img_, spool_.Seeds());
    return seeded = true;
  });
  if (started) return true;
  events_.PostEvent(seeded ? "Поток приема не запущен: поток не создан."
                           : "Поток приема не запущен: " + error);
  return false;
}

bool Service::EnterSetpoint(const std::string& plsz_text, const std::string& urnsz_text) {
  if (!UserReady()) return false;
  return SetNewControl(user_, journal_, plsz_text, urnsz_text, op_);
}

bool Service::StopControl() { return control_.StopControl(); }

void Service::OperatorStart() {
  events_.PostEvent("Прием запускается по команде оператора.");
  events_.PostEvent("Запускаем поток приема...");
  StartControl();
}

void Service::OperatorStop() {
  events_.PostEvent("Прием прекращается по команде оператора.");
  StopControl();
}

bool Service::WaitControlEnded(uint32_t timeout_ms) {
  for (uint32_t waited = 0; control_.Alive(); waited += 20) {
    if (waited >= timeout_ms) return false;
    SystemClock().SleepMs(20);
  }
  control_.WaitEnded();
  return true;
}

void Service::ApplyCalibrations() {
  journal_.WriteJournal("!!! Изменены калибровки !!!", kServiceOriginator);
  events_.PostEvent("=== В калибровочные таблицы внесены изменения. ===");
  events_.PostEvent("Поток контроля останавливается для применения настроек");
  StopControl();
  apply_.Pending = true;
  apply_.Since = clock_.Ticks();
}

void Service::ContinueApply(TUpdateActions& a) {
  if (!apply_.Pending) return;
  const uint32_t waited = clock_.Ticks() - apply_.Since;
  if (waited < 1000) return;
  // The plan is rebuilt only once every worker has let go of it; a polling pass against
  // silent devices can outlast the stop wait.
  if (control_.Alive()) {
    if (waited < kApplyStopWaitMs) return;
    apply_.Pending = false;
    a.CalibrationsApplied = true;
    events_.PostEvent("!!! Поток контроля не остановился: калибровки не загружены. !!!");
    return;
  }
  control_.WaitEnded();
  apply_.Pending = false;
  a.CalibrationsApplied = true;
  events_.PostEvent("Загружаем новые калибровки...");
  if (!UserReady() || !LoadSignalPlan())
    events_.PostEvent("!!! Калибровки не загружены: работает прежняя программа контроля. !!!");
  events_.PostEvent("Запускаем поток приема...");
  StartControl();
}

// What the server does not take within ms stays in the spool for the next start.
void Service::FlushWriteQueue(uint32_t ms) {
  const uint32_t start = SystemClock().Ticks();
  bool open = work_.Connected();
  if (!open) {
    work_.SetParams(user_.Params());
    open = work_.Open();
  }
  while (open && (queues_.WaitingStatements() > 0 || !spool_.Outbox().Empty()) &&
         SystemClock().Ticks() - start < ms) {
    if (PassWrites() == 0) break;
  }
  MoveToSpool(queues_, clock_.Now());
}

void Service::Shutdown(const std::string& journal_text, const std::string& event_text) {
  systemd_.Stopping();
  img_.StopFlag = true;
  journal_.WriteJournal(journal_text, "");
  events_.PostEvent(event_text);
  img_.Closing = true;
  SaveConfig();
  // Let the control thread journal its stop, then hand everything queued to the server, so
  // the records of the end reach control_log. Its cycle may be waiting for a select that only
  // this thread answers (the select timer is idle from now on): go on answering meanwhile, or
  // the cycle would sit out its 5500 ms and journal the stop after the flush.
  for (uint32_t waited = 0; control_.Alive() && waited < kEndWaitMs; waited += 20) {
    queues_.RunSelectQueue(work_);
    SystemClock().SleepMs(20);
  }
  WaitControlEnded(0);
  {
    std::lock_guard<std::mutex> l(run_mu_);
    FlushWriteQueue(kFlushMs);
  }
  user_.Close();
  work_.Close();
  // The last words of the program reach its log before the process goes.
  for (int i = 0; i < 50 && events_.Count() > 0; ++i) DrainEvents();
}

void Service::OrderlyEnd() {
  Shutdown("*** Завершение работы по команде оператора ***",
           "*** Завершение работы по команде оператора ***");
}

void Service::SessionEnd() {
  try {
    Shutdown("...Завершение работы перед выгрузкой Windows...",
             "--> Завершение работы перед выгрузкой Windows <---");
  } catch (...) {
    op_.Beep();
  }
}

// ---- display ------------------------------------------------------------------------------

std::string Service::RunningTimeText() {
  if (!img_.ControlRunning) return "";
  double d = clock_.Now() - img_.ThreadStartMoment.load();
  if (d < 0) d = 0;
  const double days = std::floor(d);
  std::string time = FormatDateTime("hh:nn:ss", d - days);
  if (days < 1) return time;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02.0f ", days);
  return buf + time;
}

TModuleGrid Service::ModuleGrid() {
  TModuleGrid g;
  g.Cells[0][0] = " Модуль";
  g.Cells[0][1] = "   Последний успешный опрос";
  g.Cells[0][2] = "Ошибок";
  const char* labels[kModuleCount] = {" JUMO 1", " JUMO 2", " V-120"};
  for (int m = 0; m < kModuleCount; ++m) {
    const double last = img_.ModuleLastOk[m].load();
    g.Cells[m + 1][0] = labels[m];
    g.Cells[m + 1][1] = last > 0 ? FormatDateTime("dd.mm.yyyy hh:nn:ss", last) : "";
    g.Cells[m + 1][2] = std::to_string(img_.ModuleErrors[m].load());
  }
  return g;
}

int Service::TrayImage() {
  if (!img_.ControlRunning) return 0;
  return 1 + img_.CycleCounter.load() % 2;
}

std::string Service::TrayHint() {
  std::string hint = img_.ControlRunning ? "Служба приема ЛИРОН-36.\nПоток контроля активен."
                                         : "Служба приема ЛИРОН-36.\nКонтроль остановлен.";
  if (Emulating()) hint += std::string("\n") + kEmulationMark;
  return hint;
}

std::string Service::Caption() {
  return Emulating() ? std::string(kAppCaption) + "  " + kEmulationMark : kAppCaption;
}

bool Service::Emulating() { return img_.JumoEmul.load() || img_.V120Emul.load(); }

// ---- what the control thread drives -------------------------------------------------------

void Service::CopyConnectionParams() { work_.SetParams(user_.Params()); }
bool Service::OpenWork() { return work_.Open(); }
bool Service::WorkConnected() { return work_.IsOpen(); }
void Service::CloseWork() {
  work_keeper_.Reap();  // a check in progress ends first, or it might reopen the connection
  work_.Close();
}
bool Service::StartWorkCheck() { return work_keeper_.StartCheck(); }
ControlPlant::WorkCheck Service::LastWorkCheck() {
  const TConnectionKeeper::Result r = work_keeper_.LastCheck();
  return {r.Finished, r.Ok};
}
void Service::Journal(const std::string& text) { journal_.WriteJournal(text, kServiceOriginator); }
bool Service::JournalAt(TDateTime moment, const std::string& text) {
  return journal_.WriteJournal(text, kServiceOriginator, moment);
}
void Service::LoadSetupConsts() { liron::LoadSetupConsts(queues_, img_); }

LineStart Service::OpenJumoLine(std::string* port) {
  if (!modbus_) modbus_ = std::make_unique<TModBUS>(clock_, &op_);
  if (modbus_->Connected.load()) return LineStart::Open;
  const TSettings s = img_.Settings();
  // Set in emulation too: the polling thread opens this line when emulation is switched off.
  modbus_->PortName = s.ModBUS_PortName;
  modbus_->Speed = s.ModBUS_PortSpeed;
  if (img_.JumoEmul) return LineStart::Open;
  *port = s.ModBUS_PortName;
  return OpenLineAtStart([this, &s] { return modbus_->OpenPort(s.ModBUS_PortSpeed); },
                         [this] { return modbus_->Line().OpenErrno(); }, clock_, img_.StopFlag);
}

LineStart Service::OpenV120Link(std::string* port) {
  if (!vision_->Active()) {
    const TSettings s = img_.Settings();
    vision_->SetPortName(s.V120_PortName);
    vision_->SetSpeed(s.V120_PortSpeed);
    vision_->SetStatus("");
  }
  *port = vision_->PortName();
  auto open = [this] {
    vision_->SetActive(true);
    return vision_->Active();
  };
  if (img_.V120Emul) {
    open();  // a port that fails to open is tolerated in emulation
    return LineStart::Open;
  }
  return OpenLineAtStart(open, [this] { return vision_->OpenErrno(); }, clock_, img_.StopFlag);
}

JournalSink Service::LinkJournal() {
  return [this](const std::string& text) { journal_.WriteJournal(text, kServiceOriginator); };
}

void Service::StartPolling() {
  // An earlier pair has ended with the previous control thread; release it first.
  v120_thread_.Join();
  jumo_thread_.Join();
  v120_thread_.Start(kPollStackSize, [this] {
    RunThreadEntry(img_.V120PollRunning,
                   [this] { V120PollThread(img_, *vision_, events_, LinkJournal()); });
  });
  jumo_thread_.Start(kPollStackSize, [this] {
    RunThreadEntry(img_.JumoPollRunning,
                   [this] { JumoPollThread(img_, modbus_.get(), events_, LinkJournal()); });
  });
}

void Service::StopPollingAndCloseLines() {
  v120_thread_.Join();
  jumo_thread_.Join();
  if (modbus_) modbus_->ClosePort();
  vision_->SetActive(false);
}

void Service::ControlThreadEnding() { MySqlThreadEnd(); }

bool Service::TranslateIn() { return liron::TranslateIn(img_, events_); }
bool Service::UpdateStateRecord() { return liron::UpdateStateRecord(img_, records_, queues_, events_); }
bool Service::CalcWorks() { return liron::CalcWorks(img_, events_); }
bool Service::ReadControlVector() {
  const TDateTime before = img_.ControlMoment.load();
  const bool ok = liron::ReadControlVector(img_, queues_, journal_);
  if (img_.ControlMoment.load() != before) NoteSetpointsInForce();
  return ok;
}
bool Service::UpdatePafRecord() {
  const bool ok = Update_PAF_record(img_, records_, queues_, events_);
  if (ok) last_record_ = clock_.Now();
  return ok;
}

std::string Service::StatusLine() {
  if (start_up_ == StartUp::NotYet) return "Загрузка настроек";
  if (start_up_ == StartUp::Opening && !on_copy_) {
    const TConnectionKeeper::Opening o = user_keeper_.OpeningState();
    return "Ждем MySQL сервер " + img_.Settings().Comp + (o.Error.empty() ? "" : ": " + o.Error);
  }
  const double last = last_record_.load();
  const std::string record =
      last > 0 ? "последняя запись " + FormatDateTime("dd.mm.yyyy hh:nn:ss", last) : "записей нет";
  const TSpoolDepth depth = spool_.Outbox().Depth();
  const std::string spool = depth.Records == 0 ? "" : ", записей в буфере " + DepthText(depth);
  if (!control_.Alive()) return "Контроль остановлен, " + record + spool;
  const std::string counts = std::to_string(img_.CycleCounter.load()) + ", неудачных " +
                             std::to_string(img_.CycleErrorCounter.load()) + ", " + record + spool;
  if (!work_.IsOpen()) return "Нет связи с MySQL сервером, циклов " + counts;
  return "Циклов " + counts;
}

std::string Service::SpoolDepthText() { return DepthText(spool_.Outbox().Depth()); }

}  // namespace liron
