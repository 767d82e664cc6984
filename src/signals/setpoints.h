// The operator setpoints: suspension density (_PLSZ) and collector level (_URNSZ). Any client
// of the database hands one in as a row of control_vector; the control cycle takes the newest
// row and raises the write request that the JUMO pass carries out. The window-side commands
// are plain functions here, so the window and a headless user call the same code.
#pragma once

#include <optional>
#include <string>

#include "db/journal.h"
#include "db/mysql_connection.h"
#include "db/sql_queues.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "platform/operator.h"

namespace liron {

// Control thread, once per cycle after CalcWorks. When control_vector holds a row newer than
// ControlMoment: its non-NULL setpoints become the setpoints in force (OutValues included),
// the order goes out to every controller with a setpoint row (MaxWriteCount + 1 confirmed
// writes each), the row's moment becomes the ControlMoment, and "Новое задание:" is journalled
// under the row's user. False when a select failed or timed out; nothing is taken then and the
// next cycle tries the same row again.
bool ReadControlVector(TProcessImage& img, TSqlQueues& queues, TJournal& journal);

// The first plan load of the run (on the user connection): the newest control_vector row gives
// the setpoints in force and the ControlMoment, so a restart carries on where the last run
// stood. The controllers whose confirmation of that row the journal holds are not written
// again; when any other lacks it, the order goes out and "Новое задание:" is journalled as for
// a new row. An empty table changes nothing, and neither does a call after an order was taken
// in this run. False with the server's text in *error when a query failed.
bool SeedSetpoints(TProcessImage& img, TMySQLConnection& user, TJournal& journal,
                   std::string* error);

// A start without the server: the setpoints the local store kept (of the control_vector row of
// `moment`) become the setpoints in force, as the first plan load takes the newest row. The
// store cannot tell which controllers confirmed them, so the order goes out to every one. False
// when an order was taken before in this run (nothing changes then).
bool SeedStoredSetpoints(TProcessImage& img, TDateTime moment, double plsz, double urnsz);

// "Установить": both texts must be numbers (a decimal point or comma); otherwise
// "Правильно вводите числа." and nothing else happens. Then the row is inserted on the user
// connection (a refusal shows the server's error) and the entry journalled. The setpoints in
// memory change only when the control cycle takes the row. True when the row was inserted.
bool SetNewControl(TMySQLConnection& user, TJournal& journal, const std::string& plsz_text,
                   const std::string& urnsz_text, Operator& op);

// The texts of the Задания tab.
struct TSetpointView {
  std::string ControlTime;  // "dd.mm.yyyy hh:nn:ss"
  std::string Plsz;         // "####0.##"
  std::string Urnsz;        // "####0.##"
};

// A view only when a setpoint newer than the one last shown has been taken (the first call
// after start shows the start time), so an operator's typing is not overwritten in between.
std::optional<TSetpointView> ShowSetpoint(TProcessImage& img);

// "Отключить HardWrite()": suppresses or allows every hardware write; posted and journalled.
void SetHardWriteOff(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal);

}  // namespace liron
