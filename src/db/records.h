// The process records: the one-row current state in last_state, rewritten every cycle, and
// the per-minute row of pu_data, inserted by the minute's first cycle and updated by the later
// ones, with the totaliser's increments summed into G_1T1. Both only build SQL and queue it.
#pragma once

#include <string>

#include "db/mysql_connection.h"
#include "db/sql_queues.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"

namespace liron {

// Kept for the whole run of the program; survives stops and starts of the control thread.
struct TRecordState {
  bool StateRowChecked = false;  // last_state has been made sure to hold a row
  std::string LastMinuteKey;     // RecMoment of the pu_data row written last
};

// Control thread, after TranslateIn. The first call of the program's run counts the rows of
// last_state (through the select queue) and queues the insert of the row when there is none;
// every call queues "UPDATE last_state SET RecMoment=Now(), I_1T1=..., <name>=<phys>, ..."
// over the named rows whose Direction is not "WRITE". False with the event
// "!!! Ошибка в функции UpdateStateRecord() !!!" when it could not finish.
bool UpdateStateRecord(TProcessImage& img, TRecordState& state, TSqlQueues& queues,
                       TEventFIFO& events);

// Control thread, last step of a good cycle. Queues the insert of the current minute's row or,
// later in the minute, its update; each totaliser row (name containing "G_1T") has its booked
// value taken off its raw accumulator. A statement the full write queue refuses books nothing:
// the increments stay pending and an unqueued insert is tried again by the next cycle. False
// with the event "!!! Ошибка в функции Update_PAF_record() !!!" when it could not finish.
bool Update_PAF_record(TProcessImage& img, TRecordState& state, TSqlQueues& queues,
                       TEventFIFO& events);

// User-interface thread, before the control thread starts: clears CounterLastKnown and, when
// the newest pu_data row has an I_1T1, takes it as CounterLast. False with the server's error
// when a query failed; the control thread must then not be started.
bool SeedCounter(TProcessImage& img, TMySQLConnection& user, std::string* error);

// The minute key of a local time: "yyyy-mm-dd hh:nn:00".
std::string MinuteKey(TDateTime now);

}  // namespace liron
