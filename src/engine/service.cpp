#include "engine/service.h"

#include <cstdio>

#include "db/event_log.h"
#include "signals/setpoints.h"
#include "platform/home_dir.h"

namespace liron {

namespace {

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
      plant_(img_, events_, journal_, queues_, user_, work_, spool_, clock, op),
      plan_({img_, events_, journal_, user_, user_keeper_, spool_}, plant_.Control(), clock),
      start_up_({img_, events_, journal_, user_, user_keeper_, spool_}, plan_, op, home_.IniPath,
                [this] { return StartControl(); }),
      systemd_(clock) {
  img_.Delivery.SetJournal(
      [this](const std::string& text) { journal_.WriteJournal(text, kServiceOriginator); });
  std::string error;
  if (!spool_.Open(home_.Dir + "/" + kSpoolFileName, &error)) {
    events_.PostEvent("*** Буфер записей недоступен: " + error + " ***");
  } else {
    // What cannot be written now waits in the spool; without one it waits in memory.
    queues_.AttachSpool(&spool_);
    plant_.SpoolOpened();
  }
  queues_.AnswerSelectsOn(&work_);
}

// ---- timers -------------------------------------------------------------------------------

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
  if (start_up_.InUpdate()) return a;
  try {
    start_up_.Tick(a);
    const TDateTime emul_moment = img_.EmulValues.GetMoment();
    if (emul_moment > emul_shown_moment_) {
      emul_shown_moment_ = emul_moment;
      a.RefillEmulGrid = true;
    }
    a.ShowSetpoint = img_.CycleCounter.load() % 10 == 1;
    if (systemd_.Listening())
      systemd_.Tick(StatusLine(), img_.ControlProgress.load(), plant_.Control().Alive());
  } catch (...) {
    start_up_.Interrupted();
    op_.Beep();
  }
  return a;
}

// ---- operator commands --------------------------------------------------------------------

bool Service::UserReady() {
  return CheckUserConnection(user_keeper_, events_) == TConnectionKeeper::Check::Open;
}

bool Service::StartControl() {
  if (img_.ControlRunning.load() || plant_.Control().Alive()) return true;
  if (plan_.Applying()) {
    events_.PostEvent("Поток приема не запущен: применяются калибровки.");
    return false;
  }
  // Without the server the plan in force runs on what the local store kept: the start-up on
  // the copy until the server answers, or a plan loaded before the server went away.
  bool from_store = start_up_.CurrentPhase() == StartUp::Phase::OnCopy;
  if (!from_store) {
    const TConnectionKeeper::Check user = CheckUserConnection(user_keeper_, events_);
    from_store = user == TConnectionKeeper::Check::Failed && plan_.InForce() && spool_.IsOpen();
    if (user != TConnectionKeeper::Check::Open && !from_store) {
      events_.PostEvent("Поток приема не запущен.");
      return false;
    }
  }
  return plant_.StartControl(from_store);
}

bool Service::EnterSetpoint(const std::string& plsz_text, const std::string& urnsz_text) {
  if (!UserReady()) return false;
  return SetNewControl(user_, journal_, plsz_text, urnsz_text, op_);
}

void Service::OperatorStart() {
  events_.PostEvent("Прием запускается по команде оператора.");
  events_.PostEvent("Запускаем поток приема...");
  StartControl();
}

void Service::OperatorStop() {
  events_.PostEvent("Прием прекращается по команде оператора.");
  StopControl();
}

void Service::Shutdown(const std::string& journal_text, const std::string& event_text) {
  systemd_.Stopping();
  img_.StopFlag = true;
  journal_.WriteJournal(journal_text, "");
  events_.PostEvent(event_text);
  img_.Closing = true;
  start_up_.SaveConfig();
  plant_.EndAndFlush();
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

std::string Service::StatusLine() {
  TStatusInputs in;
  const StartUp::Phase phase = start_up_.CurrentPhase();
  in.LoadingSettings = phase == StartUp::Phase::LoadingSettings;
  in.WaitingForServer = phase == StartUp::Phase::WaitingForServer;
  if (in.WaitingForServer) {
    in.Server = img_.Settings().Comp;
    in.ServerError = user_keeper_.OpeningState().Error;
  } else if (!in.LoadingSettings) {
    in.LastRecord = plant_.LastRecord();
    const TSpoolDepth depth = spool_.Outbox().Depth();
    in.SpoolRecords = depth.Records;
    in.SpoolOldest = depth.Oldest;
    in.ControlAlive = plant_.Control().Alive();
    in.Cycles = img_.CycleCounter.load();
    in.CycleErrors = img_.CycleErrorCounter.load();
    in.WorkOpen = work_.IsOpen();
  }
  return liron::StatusLine(in);
}

std::string Service::SpoolDepthText() {
  const TSpoolDepth depth = spool_.Outbox().Depth();
  return liron::SpoolDepthText(depth.Records, depth.Oldest);
}

std::string Service::RunningTimeText() {
  return liron::RunningTimeText(img_.ControlRunning, clock_.Now(), img_.ThreadStartMoment.load());
}

TModuleGrid Service::ModuleGrid() {
  std::array<TModuleState, kModuleCount> modules;
  for (size_t m = 0; m < modules.size(); ++m)
    modules[m] = {img_.ModuleLastOk[m].load(), img_.ModuleErrors[m].load()};
  return liron::ModuleGrid(modules);
}

int Service::TrayImage() {
  if (!img_.ControlRunning) return 0;
  return 1 + img_.CycleCounter.load() % 2;
}

std::string Service::TrayHint() { return liron::TrayHint(img_.ControlRunning, Emulating()); }

std::string Service::Caption() { return liron::Caption(Emulating()); }

bool Service::Emulating() { return img_.JumoEmul.load() || img_.V120Emul.load(); }

}  // namespace liron
