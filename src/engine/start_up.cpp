#include "engine/start_up.h"

#include <utility>

namespace liron {

StartUp::StartUp(const TUserSide& side, PlanSource& plan, Operator& op,
                 std::string ini_path, std::function<bool()> start_control)
    : u_(side),
      plan_(plan),
      op_(op),
      ini_path_(std::move(ini_path)),
      start_control_(std::move(start_control)) {}

void StartUp::Tick(TUpdateActions& a) {
  if (++ticks_ > 9) {
    ticks_ = 10;
  } else if (ticks_ == 2) {
    if (u_.img.Settings().AutoHide) {
      u_.events.PostEvent("## Скрытый режим ##");
      a.Hide = true;
    }
  } else if (ticks_ == 5) {
    in_update_ = true;
    LoadConfig();
    a.ShowEmulTabFromSettings = true;
    in_update_ = false;
    u_.img.ResetAverages();
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
  const TConnectionKeeper::Opening o = u_.user_keeper.OpeningState();
  if (o.Opened) {
    u_.user_keeper.Reap();
    const bool on_copy = phase_ == Phase::OnCopy;
    phase_ = Phase::ServerAnswered;
    u_.events.PostEvent("Подключение к MySQL произведено успешно.");
    if (on_copy) {
      plan_.ServerAnsweredOnCopy(a);
      u_.journal.WriteJournal("Программа контроля загружена.", "");
      return;
    }
    if (!plan_.LoadFromServer()) {
      u_.events.PostEvent("Ошибка в LoadConfig");
      return;
    }
    u_.journal.WriteJournal("Программа контроля загружена.", "");
    a.PlanLoaded = true;
    a.RefillEmulGrid = true;
    if (u_.img.Settings().AutoStart) Autostart();
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
    u_.events.PostEvent("Не могу подключиться к MySQL cерверу.");
    u_.events.PostEvent("MySQL: " + o.Error);
    u_.journal.WriteJournal("Программа контроля загружена.", "");
    if (plan_.StartOnCopy()) {
      phase_ = Phase::OnCopy;
      a.RefillEmulGrid = true;
      if (u_.img.Settings().AutoStart) Autostart();
    }
  }
}

void StartUp::Autostart() {
  if (start_control_())
    u_.events.PostEvent("->> Автозапуск контроля аппаратуры <<--");
  else
    u_.events.PostEvent("!!! Автозапуск контроля аппаратуры не выполнен. !!!");
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
  TSettings s = u_.img.Settings();
  std::string error;
  if (!ReadConfig(ini_path_, s, &error)) {
    u_.img.SetSettings(s);
    u_.events.PostEvent("Ошибка в LoadConfig");
    u_.events.PostEvent(error);
    phase_ = Phase::NoSettings;
    return;
  }
  u_.user.SetConnParam("HostName", s.Comp);
  u_.user.SetConnParam("User_Name", s.Login);
  u_.user.SetConnParam("Password", s.Password);
  u_.user.SetConnParam("SSL_Mode", s.SslMode);
  u_.user.SetConnParam("SSL_CA", s.SslCa);
  u_.user.SetConnParam("SSL_Cert", s.SslCert);
  u_.user.SetConnParam("SSL_Key", s.SslKey);
  u_.img.SetSettings(s);
  u_.spool.Outbox().SetLimitDays(s.SpoolDays);
  u_.user_keeper.KeepOpening(kUserConnectAttempts, connect_gap_ms_, connect_retry_ms_);
  phase_ = Phase::WaitingForServer;
}

bool StartUp::SettingsRead() const {
  return phase_ != Phase::LoadingSettings && phase_ != Phase::NoSettings;
}

bool StartUp::SaveConfig() {
  std::string error;
  if (!SettingsRead()) return true;  // never the design values over an INI not read
  if (WriteConfig(ini_path_, u_.img.Settings(), &error)) return true;
  u_.events.PostEvent("Ошибка в SaveConfig");
  return false;
}

bool StartUp::ApplySettings(SettingsForm& form) {
  // A tab never filled from the INI holds design values: nothing to take from it.
  if (!settings_shown_) return true;
  TSettings s = u_.img.Settings();
  if (!liron::ApplySettings(form, s, op_)) return false;
  u_.img.SetSettings(s);
  return true;
}

void StartUp::SettingsToWindow(SettingsForm& form) {
  liron::SettingsToWindow(u_.img.Settings(), form);
  settings_shown_ = SettingsRead();
}

}  // namespace liron
