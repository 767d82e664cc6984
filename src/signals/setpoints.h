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
// ControlMoment: takes its user and its non-NULL setpoints, puts them into OutValues, then sets
// RepeatCounter = MaxWriteCount and WriteRequest, makes the row's moment the ControlMoment and
// journals "Новое задание:" under the row's user. False when a select failed or timed out;
// the request is then not raised and the next cycle tries the same row again.
bool ReadControlVector(TProcessImage& img, TSqlQueues& queues, TJournal& journal);

// "Установить": both texts as numbers ("." as decimal separator) into the setpoints, one after
// the other; a text that is not a number shows "Правильно вводите числа." and stops. Then the
// row is inserted on the user connection (a failure shows the server's error) and the entry
// journalled. True when the row was inserted.
bool SetNewControl(TProcessImage& img, TMySQLConnection& user, TJournal& journal,
                   const std::string& plsz_text, const std::string& urnsz_text, Operator& op);

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
