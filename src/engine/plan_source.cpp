#include "engine/plan_source.h"

#include <algorithm>

#include "db/setup_consts.h"
#include "db/signal_loader.h"
#include "engine/user_check.h"
#include "links/setpoint_write.h"
#include "signals/emulator.h"
#include "signals/setpoints.h"

namespace liron {

void NoteSetpointsInForce(TProcessImage& img, TSpool& spool, TEventFIFO& events) {
  if (!img.Delivery.Taken() || !spool.IsOpen()) return;
  if (!spool.Seeds().NoteSetpoints(img.ControlMoment.load(), img.PlszSetpoint.load(),
                           img.UrnszSetpoint.load()))
    events.PostEvent("*** Задание не сохранено в буфере записей: " + spool.LastError() + " ***");
}

PlanSource::PlanSource(TProcessImage& img, TEventFIFO& events, TJournal& journal,
                       TMySQLConnection& user, TConnectionKeeper& user_keeper, TSpool& spool,
                       TControlThreads& control, Clock& clock)
    : img_(img),
      events_(events),
      journal_(journal),
      user_(user),
      user_keeper_(user_keeper),
      spool_(spool),
      control_(control),
      clock_(clock) {}

bool PlanSource::LoadFromServer() {
  std::string error;
  const std::vector<std::string> names_before = img_.SignalNames;
  if (!LoadSignals(user_, img_, events_, &error, &calib_names_)) {
    events_.PostEvent("!!! Программа контроля не загружена: " + error + " !!!");
    return false;
  }
  img_.Trends.Allocate(img_.SignalCount.load());  // the trends of the plan now in force
  origin_ = Origin::Server;
  AfterPlanLoad(names_before);
  SavePlanCopy();
  return true;
}

bool PlanSource::StartOnCopy() {
  TPlanCopy copy;
  std::string error;
  if (!spool_.IsOpen()) return false;
  const TPlanCopyRead read = spool_.PlanCopy().Load(&copy, &error);
  if (read != TPlanCopyRead::kLoaded) {
    if (read == TPlanCopyRead::kUnreadable)  // a copy is there but cannot be read
      events_.PostEvent("*** Копия программы контроля не прочитана: " + error + " ***");
    return false;
  }
  const std::vector<std::string> names_before = img_.SignalNames;
  InstallSignals(img_, copy.Signals, &calib_names_);
  ApplySetupRows(copy.Setup, img_);
  img_.Trends.Allocate(img_.SignalCount.load());
  copy_in_force_ = std::move(copy);
  origin_ = Origin::Copy;
  events_.PostEvent("*** Сервер MySQL недоступен: план загружен из сохраненной копии ***");
  AfterPlanLoad(names_before, true);
  return true;
}

void PlanSource::ServerAnsweredOnCopy(TUpdateActions& a) {
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
  } else if (!LoadFromServer()) {
    events_.PostEvent("Работает программа контроля из сохраненной копии.");
  }
}

void PlanSource::SavePlanCopy() {
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

void PlanSource::AfterPlanLoad(const std::vector<std::string>& names_before, bool from_copy) {
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

void PlanSource::TakeServerSetpoints() {
  if (control_.Alive()) {
    // The store held no setpoints: the cycle takes the newest control_vector row as a new one
    // (its moment is older than the start). Unless it has taken a row meanwhile.
    TDateTime start_moment = img_.ControlMoment.load();
    if (!img_.Delivery.Taken()) img_.ControlMoment.compare_exchange_strong(start_moment, 0);
    return;
  }
  std::string error;
  if (SeedSetpoints(img_, user_, journal_, &error))
    NoteSetpointsInForce(img_, spool_, events_);
  else
    events_.PostEvent("*** Не удалось прочитать последнее задание: " + error + " ***");
}

// ---- "Применить" ---------------------------------------------------------------------------

void PlanSource::ApplyCalibrations() {
  journal_.WriteJournal("!!! Изменены калибровки !!!", kServiceOriginator);
  events_.PostEvent("=== В калибровочные таблицы внесены изменения. ===");
  events_.PostEvent("Поток контроля останавливается для применения настроек");
  control_.StopControl();
  apply_.Pending = true;
  apply_.Since = clock_.Ticks();
}

bool PlanSource::ContinueApply(TUpdateActions& a) {
  if (!apply_.Pending) return false;
  const uint32_t waited = clock_.Ticks() - apply_.Since;
  if (waited < 1000) return false;
  // The plan is rebuilt only once every worker has let go of it; a polling pass against
  // silent devices can outlast the stop wait.
  if (control_.Alive()) {
    if (waited < kApplyStopWaitMs) return false;
    apply_.Pending = false;
    a.CalibrationsApplied = true;
    events_.PostEvent("!!! Поток контроля не остановился: калибровки не загружены. !!!");
    return false;
  }
  control_.WaitEnded();
  apply_.Pending = false;
  a.CalibrationsApplied = true;
  events_.PostEvent("Загружаем новые калибровки...");
  if (CheckUserConnection(user_keeper_, events_) != TConnectionKeeper::Check::Open ||
      !LoadFromServer())
    events_.PostEvent("!!! Калибровки не загружены: работает прежняя программа контроля. !!!");
  events_.PostEvent("Запускаем поток приема...");
  return true;
}

}  // namespace liron
