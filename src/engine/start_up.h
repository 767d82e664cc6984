// StartUp: the start-up sequence the update timer runs — tick 2 hides the window (AutoHide),
// tick 5 reads the INI and starts opening the user connection off the event loop (16 attempts
// a second apart, then every 5 s), tick 7 shows the settings, and from then on every tick
// looks at the opening: once the server answers, the plan is loaded, the start record
// journalled and the control thread started when AutoStart is set. When the first attempts
// have failed, the station runs on the saved copy of the plan until the server answers.
// It also owns the settings' way between the INI, the image and the settings tab.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "db/config_file.h"
#include "db/connection_keeper.h"
#include "db/journal.h"
#include "db/mysql_connection.h"
#include "spool/spool.h"
#include "engine/plan_source.h"
#include "engine/update_actions.h"
#include "engine/user_side.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "platform/operator.h"

namespace liron {

constexpr int kUserConnectAttempts = 16;
constexpr uint32_t kUserConnectGapMs = 1000;     // between the start-up's first attempts
constexpr uint32_t kUserConnectRetryMs = 5000;   // after them, until the server answers

class StartUp {
 public:
  enum class Phase {
    LoadingSettings,   // until tick 5 reads the INI
    NoSettings,        // the INI could not be read: the design values stand, no server is tried
    WaitingForServer,  // the user connection is being opened; no plan from the copy in force
    OnCopy,            // the first attempts failed: the copy's plan in force, the server tried on
    ServerAnswered,    // the user connection has opened: the server's plan, or the copy's kept
  };

  // start_control: the operator's start of the control thread, for AutoStart and after a
  // reload of "Применить".
  StartUp(const TUserSide& side, PlanSource& plan, Operator& op, std::string ini_path,
          std::function<bool()> start_control);

  Phase CurrentPhase() const { return phase_; }
  // The start-up has loaded the plan, or its first 16 attempts have failed (it goes on trying
  // in the background), or the INI could not be read.
  bool Settled() const;
  // Tests shorten the pauses between the start-up's attempts (1 s, then 5 s).
  void SetConnectPauses(uint32_t gap_ms, uint32_t retry_ms);

  // One update tick: the sequence, then the wait of "Применить". The update tick is not
  // entered again while it reads the INI (InUpdate); Interrupted clears that after a fault.
  void Tick(TUpdateActions& a);
  bool InUpdate() const { return in_update_; }
  void Interrupted() { in_update_ = false; }

  bool SaveConfig();  // false after posting "Ошибка в SaveConfig"
  bool ApplySettings(SettingsForm& form);  // "Принять изменения"
  void SettingsToWindow(SettingsForm& form);

 private:
  // Reads the INI and starts opening the user connection; AutoStart stays as the operator set
  // it, so a server that answers late still gets it.
  void LoadConfig();
  bool SettingsRead() const;  // the INI was read: the settings are real values
  void CheckServer(TUpdateActions& a);  // the user connection of the start-up, until open
  void Autostart();

  const TUserSide u_;
  PlanSource& plan_;
  Operator& op_;
  const std::string ini_path_;
  const std::function<bool()> start_control_;
  Phase phase_ = Phase::LoadingSettings;
  int failures_seen_ = 0;  // failed attempts of the opening told so far (a beep each)
  uint32_t connect_gap_ms_ = kUserConnectGapMs, connect_retry_ms_ = kUserConnectRetryMs;
  int ticks_ = 0;
  bool in_update_ = false;
  bool settings_shown_ = false;  // the settings tab holds the INI's values
};

}  // namespace liron
