// PlanSource: the signal plan in force and where it came from — loaded from the server, or
// the saved copy of the local store for a start without it. It loads the plan, keeps the copy
// up to date, seeds the setpoints in force, compares the server's plan with a copy in force,
// and runs the wait of "Применить" between the stop of the control thread and the reload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/connection_keeper.h"
#include "db/journal.h"
#include "db/mysql_connection.h"
#include "spool/spool.h"
#include "engine/control_threads.h"
#include "engine/update_actions.h"
#include "engine/user_side.h"
#include "image/process_image.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"

namespace liron {

constexpr uint32_t kApplyStopWaitMs = 15000;  // "Применить" waits for the control thread

// The setpoints in force into the local store, once the cycle has taken a control_vector row.
void NoteSetpointsInForce(TProcessImage& img, TSpool& spool, TEventFIFO& events);

class PlanSource {
 public:
  PlanSource(const TUserSide& side, TControlThreads& control, Clock& clock);

  bool InForce() const { return origin_ != Origin::None; }  // from the server or the copy
  bool FromCopy() const { return origin_ == Origin::Copy; }
  // Signal names of the plan, in row order, for the calibration tab's list.
  const std::vector<std::string>& CalibrationSignalNames() const { return calib_names_; }

  bool LoadFromServer();  // on the user connection; events on failure
  // The start-up's first attempts have failed: the plan of the local copy is put in force.
  // False (nothing changed) when the store holds no copy.
  bool StartOnCopy();
  // The server has answered a start-up that runs on the copy: the server's plan replaces the
  // copy only when it differs, through the stop-and-start path of "Применить".
  void ServerAnsweredOnCopy(TUpdateActions& a);

  // "Применить" on the calibration tab, after the operator said Yes: journal and events, stop
  // the control thread; the update ticks then wait for its end, reload the plan and
  // calibrations (a failed reload keeps the plan in force).
  void ApplyCalibrations();
  bool Applying() const { return apply_.Pending; }
  // An update tick of "Применить": true when the plan has been reloaded (or kept) and the
  // control thread is to start again.
  bool ContinueApply(TUpdateActions& a);

 private:
  enum class Origin { None, Server, Copy };

  // The plan in force, its calibrations and the setup constants into the local store, for a
  // start without the server; a failure is posted and changes nothing else.
  void SavePlanCopy();
  // After every plan load: the emulated values follow their signals, the setpoint rows that
  // are never written are named, and the first load of the run takes the setpoints in force.
  // A plan from the copy takes the setpoints the local store kept instead.
  void AfterPlanLoad(const std::vector<std::string>& names_before, bool from_copy = false);
  // The setpoints in force from the server, unless an order was taken in this run.
  void TakeServerSetpoints();

  const TUserSide u_;
  TControlThreads& control_;
  Clock& clock_;
  Origin origin_ = Origin::None;
  TPlanCopy copy_in_force_;  // the copy a start without the server runs on, to compare with
  struct {
    bool Pending = false;
    uint32_t Since = 0;
  } apply_;
  std::vector<std::string> calib_names_;
};

}  // namespace liron
