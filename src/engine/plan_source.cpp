#include "engine/plan_source.h"

#include <algorithm>

#include "db/setup_consts.h"
#include "db/signal_loader.h"
#include "engine/user_check.h"
#include "links/setpoint_write.h"
#include "signals/calibration.h"
#include "signals/emulator.h"
#include "signals/setpoints.h"

namespace liron {

void NoteSetpointsInForce(TProcessImage& img, TSpool& spool, TEventFIFO& events) {
  if (!img.Delivery.Taken() || !spool.IsOpen()) return;
  if (!spool.Seeds().NoteSetpoints(img.ControlMoment.load(), img.PlszSetpoint.load(),
                           img.UrnszSetpoint.load()))
    events.PostEvent("*** Задание не сохранено в буфере записей: " + spool.LastError() + " ***");
}

PlanSource::PlanSource(const TUserSide& side, TControlThreads& control, Clock& clock)
    : u_(side),
      control_(control),
      clock_(clock) {}

bool PlanSource::LoadFromServer() {
  std::string error;
  const std::vector<std::string> names_before = u_.img.SignalNames;
  if (!LoadSignals(u_.user, u_.img, u_.events, &error, &calib_names_)) {
    u_.events.PostEvent("!!! Программа контроля не загружена: " + error + " !!!");
    return false;
  }
  u_.img.Trends.Allocate(u_.img.SignalCount.load());  // the trends of the plan now in force
  origin_ = Origin::Server;
  AfterPlanLoad(names_before);
  SavePlanCopy();
  return true;
}

bool PlanSource::StartOnCopy() {
  TPlanCopy copy;
  std::string error;
  if (!u_.spool.IsOpen()) return false;
  const TPlanCopyRead read = u_.spool.PlanCopy().Load(&copy, &error);
  if (read != TPlanCopyRead::kLoaded) {
    if (read == TPlanCopyRead::kUnreadable)  // a copy is there but cannot be read
      u_.events.PostEvent("*** Копия программы контроля не прочитана: " + error + " ***");
    return false;
  }
  const std::vector<std::string> names_before = u_.img.SignalNames;
  InstallSignals(u_.img, copy.Signals, &calib_names_);
  ApplySetupRows(copy.Setup, u_.img);
  u_.img.Trends.Allocate(u_.img.SignalCount.load());
  copy_in_force_ = std::move(copy);
  origin_ = Origin::Copy;
  u_.events.PostEvent("*** Сервер MySQL недоступен: план загружен из сохраненной копии ***");
  AfterPlanLoad(names_before, true);
  return true;
}

void PlanSource::ServerAnsweredOnCopy(TUpdateActions& a) {
  a.PlanLoaded = true;
  TPlanCopy server;
  std::string error;
  bool too_many = false;
  if (!ReadSignals(u_.user, u_.events, &error, &server.Signals, &too_many) ||
      !ReadSetupRows(u_.user, &server.Setup, &error)) {
    u_.events.PostEvent("!!! Программа контроля не загружена: " + error + " !!!");
    u_.events.PostEvent("Работает программа контроля из сохраненной копии.");
    return;
  }
  if (too_many) return;  // the plan in force stays, as at any load
  if (SamePlan(server, copy_in_force_)) {
    u_.events.PostEvent("Программа контроля на сервере совпадает с сохраненной копией.");
    SavePlanCopy();
    TakeServerSetpoints();
    return;
  }
  u_.events.PostEvent("*** Программа контроля на сервере отличается от сохраненной копии ***");
  // A running control thread is stopped and started again, as "Применить" does it.
  if (control_.Alive()) {
    ApplyCalibrations();
  } else if (!LoadFromServer()) {
    u_.events.PostEvent("Работает программа контроля из сохраненной копии.");
  }
}

void PlanSource::SavePlanCopy() {
  TPlanCopy copy;
  const size_t rows = u_.img.PlanRows();
  copy.Signals.assign(u_.img.Signals.begin(), u_.img.Signals.begin() + static_cast<ptrdiff_t>(rows));
  copy.Saved = clock_.Now();
  std::string error = "буфер записей недоступен";
  if (u_.spool.IsOpen() && ReadSetupRows(u_.user, &copy.Setup, &error) &&
      u_.spool.PlanCopy().Save(copy, &error))
    return;
  u_.events.PostEvent("*** Копия программы контроля не сохранена: " + error + " ***");
}

void PlanSource::AfterPlanLoad(const std::vector<std::string>& names_before, bool from_copy) {
  KeepEmulValuesByName(u_.img, names_before);
  ReportUnwrittenSetpointRows(u_.img, u_.events);
  ReportTotaliserTables(u_.img, u_.events);
  if (from_copy) {
    const TSpoolSeeds seeds = u_.spool.Seeds().Read();
    if (seeds.HasSetpoints)
      SeedStoredSetpoints(u_.img, seeds.SetpointMoment, seeds.Plsz, seeds.Urnsz);
    return;
  }
  TakeServerSetpoints();
}

void PlanSource::TakeServerSetpoints() {
  if (control_.Alive()) {
    // The store held no setpoints: the cycle takes the newest control_vector row as a new one
    // (its moment is older than the start). Unless it has taken a row meanwhile.
    TDateTime start_moment = u_.img.ControlMoment.load();
    if (!u_.img.Delivery.Taken()) u_.img.ControlMoment.compare_exchange_strong(start_moment, 0);
    return;
  }
  std::string error;
  if (SeedSetpoints(u_.img, u_.user, u_.journal, &error))
    NoteSetpointsInForce(u_.img, u_.spool, u_.events);
  else
    u_.events.PostEvent("*** Не удалось прочитать последнее задание: " + error + " ***");
}

// ---- "Применить" ---------------------------------------------------------------------------

void PlanSource::ApplyCalibrations() {
  u_.journal.WriteJournal("!!! Изменены калибровки !!!", kServiceOriginator);
  u_.events.PostEvent("=== В калибровочные таблицы внесены изменения. ===");
  u_.events.PostEvent("Поток контроля останавливается для применения настроек");
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
    u_.events.PostEvent("!!! Поток контроля не остановился: калибровки не загружены. !!!");
    return false;
  }
  control_.WaitEnded();
  apply_.Pending = false;
  a.CalibrationsApplied = true;
  u_.events.PostEvent("Загружаем новые калибровки...");
  if (CheckUserConnection(u_.user_keeper, u_.events) != TConnectionKeeper::Check::Open ||
      !LoadFromServer())
    u_.events.PostEvent("!!! Калибровки не загружены: работает прежняя программа контроля. !!!");
  u_.events.PostEvent("Запускаем поток приема...");
  return true;
}

}  // namespace liron
