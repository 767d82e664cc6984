#include "engine/start_up.h"

#include <utility>

namespace liron {

StartUp::StartUp(TProcessImage& img, TEventFIFO& events, TJournal& journal, TMySQLConnection& user,
                 TConnectionKeeper& user_keeper, TSpool& spool, PlanSource& plan, Operator& op,
                 std::string ini_path, std::function<bool()> start_control)
    : img_(img),
      events_(events),
      journal_(journal),
      user_(user),
      user_keeper_(user_keeper),
      spool_(spool),
      plan_(plan),
      op_(op),
      ini_path_(std::move(ini_path)),
      start_control_(std::move(start_control)) {}

void StartUp::Tick(TUpdateActions& a) {
  if (++ticks_ > 9) {
    ticks_ = 10;
  } else if (ticks_ == 2) {
    if (img_.Settings().AutoHide) {
      events_.PostEvent("## Скрытый режим ##");
      a.Hide = true;
    }
  } else if (ticks_ == 5) {
    in_update_ = true;
    LoadConfig();
    a.ShowEmulTabFromSettings = true;
    in_update_ = false;
    img_.ResetAverages();
  } else if (ticks_ == 7) {
    // The INI's values, whether or not the server has answered yet.
    if (SettingsRead()) a.SettingsToWindow = true;
    a.RefillEmulGrid = true;
  }
  if (ticks_ <= 5) return;
  CheckServer(a);
  if (!plan_.ContinueApply(a)) return;
  // A reload of "Применить" while on the copy has put the server's plan in force: the start-up
  // waits for its own opening of the user connection as before the copy.
  if (phase_ == Phase::OnCopy && !plan_.FromCopy()) phase_ = Phase::WaitingForServer;
  start_control_();
}

void StartUp::CheckServer(TUpdateActions& a) {
  if (phase_ != Phase::WaitingForServer && phase_ != Phase::OnCopy) return;
  const TConnectionKeeper::Opening o = user_keeper_.OpeningState();
  if (o.Opened) {
    user_keeper_.Reap();
    const bool on_copy = phase_ == Phase::OnCopy;
    phase_ = Phase::ServerAnswered;
    events_.PostEvent("Подключение к MySQL произведено успешно.");
    if (on_copy) {
      plan_.ServerAnsweredOnCopy(a);
      journal_.WriteJournal("Программа контроля загружена.", "");
      return;
    }
    if (!plan_.LoadFromServer()) {
      events_.PostEvent("Ошибка в LoadConfig");
      return;
    }
    journal_.WriteJournal("Программа контроля загружена.", "");
    a.PlanLoaded = true;
    a.RefillEmulGrid = true;
    if (img_.Settings().AutoStart) Autostart();
    return;
  }
  if (o.Failures <= failures_seen_) return;
  const bool first_round_over =
      failures_seen_ < kUserConnectAttempts && o.Failures >= kUserConnectAttempts;
  if (failures_seen_ < kUserConnectAttempts) op_.Beep();
  failures_seen_ = o.Failures;
  if (first_round_over) {
    // As before: the operator is told and the start record written; the attempts go on,
    // every 5 s, and a server that comes later still gets the plan loaded.
    events_.PostEvent("Не могу подключиться к MySQL cерверу.");
    events_.PostEvent("MySQL: " + o.Error);
    journal_.WriteJournal("Программа контроля загружена.", "");
    if (plan_.StartOnCopy()) {
      phase_ = Phase::OnCopy;
      a.RefillEmulGrid = true;
      if (img_.Settings().AutoStart) Autostart();
    }
  }
}

void StartUp::Autostart() {
  if (start_control_())
    events_.PostEvent("->> Автозапуск контроля аппаратуры <<--");
  else
    events_.PostEvent("!!! Автозапуск контроля аппаратуры не выполнен. !!!");
}

bool StartUp::Settled() const {
  return phase_ == Phase::NoSettings || phase_ == Phase::ServerAnswered ||
         failures_seen_ >= kUserConnectAttempts;
}

void StartUp::SetConnectPauses(uint32_t gap_ms, uint32_t retry_ms) {
  connect_gap_ms_ = gap_ms;
  connect_retry_ms_ = retry_ms;
}

// ---- settings -----------------------------------------------------------------------------

void StartUp::LoadConfig() {
  TSettings s = img_.Settings();
  std::string error;
  if (!ReadConfig(ini_path_, s, &error)) {
    img_.SetSettings(s);
    events_.PostEvent("Ошибка в LoadConfig");
    events_.PostEvent(error);
    phase_ = Phase::NoSettings;
    return;
  }
  user_.SetConnParam("HostName", s.Comp);
  user_.SetConnParam("User_Name", s.Login);
  user_.SetConnParam("Password", s.Password);
  img_.SetSettings(s);
  spool_.Outbox().SetLimitDays(s.SpoolDays);
  user_keeper_.KeepOpening(kUserConnectAttempts, connect_gap_ms_, connect_retry_ms_);
  phase_ = Phase::WaitingForServer;
}

bool StartUp::SettingsRead() const {
  return phase_ != Phase::LoadingSettings && phase_ != Phase::NoSettings;
}

bool StartUp::SaveConfig() {
  std::string error;
  if (!SettingsRead()) return true;  // never the design values over an INI not read
  if (WriteConfig(ini_path_, img_.Settings(), &error)) return true;
  events_.PostEvent("Ошибка в SaveConfig");
  return false;
}

bool StartUp::ApplySettings(SettingsForm& form) {
  // A tab never filled from the INI holds design values: nothing to take from it.
  if (!settings_shown_) return true;
  TSettings s = img_.Settings();
  if (!liron::ApplySettings(form, s, op_)) return false;
  img_.SetSettings(s);
  return true;
}

void StartUp::SettingsToWindow(SettingsForm& form) {
  liron::SettingsToWindow(img_.Settings(), form);
  settings_shown_ = SettingsRead();
}

}  // namespace liron
