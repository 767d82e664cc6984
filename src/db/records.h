// The process records: the one-row current state in last_state, rewritten every cycle, and
// the per-minute row of pu_data, inserted by the minute's first cycle and updated by the later
// ones, with the totaliser's increments summed into G_1T1. Both only build SQL and queue it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "db/clock_check.h"
#include "db/mysql_connection.h"
#include "db/minute_row.h"
#include "db/record_spool.h"
#include "db/sql_queues.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"

namespace liron {

// Kept for the whole run of the program; survives stops and starts of the control thread.
// The flags are also cleared by the write queue's timer when the server matched no row.
struct TRecordState {
  std::atomic<bool> StateRowChecked{false};  // last_state has been made sure to hold a row
  // The current minute's row as absolute values: its latest averages and the whole counter
  // amount its statements booked. Each minute statement carries a copy, which the write run
  // writes and the spool keeps when it cannot be written.
  std::mutex MinuteMu;
  TMinuteRow Minute;
  // The spool notes each minute row the server took (the seeds of a start without it), and
  // gives the amount of a minute begun before a restart. nullptr: none.
  TRecordSpool* Spool = nullptr;
  // Minute keys never go back: the newest key written (this run's, else the spool's newest
  // minute, taken at the first minute record) and whether a clock behind it holds it.
  std::string NewestKey;
  bool NewestKeyTaken = false;
  bool HoldingKey = false;
  // The server's clock, to tell a clock set back from one that ran ahead; nullptr: unknown.
  const TClockCheck* ClockCheck = nullptr;
  // Where the records journal what the station's clock did to them.
  std::function<void(const std::string&)> Journal;
};

// Control thread, after TranslateIn. Until the row is known to be there (first call of the
// program's run, a count that was not answered, an update that matched no row) it counts the
// rows of last_state through the select queue and queues the insert of the row when there is
// none; every call queues "UPDATE last_state SET RecMoment=Now(), I_1T1=..., <name>=<phys>, ..."
// over the named rows whose Direction is not "WRITE". False with the event
// "!!! Ошибка в функции UpdateStateRecord() !!!" when it could not finish.
bool UpdateStateRecord(TProcessImage& img, TRecordState& state, TSqlQueues& queues,
                       TEventFIFO& events);

// Control thread, last step of a good cycle. Queues the current minute's row as absolute
// values (TRecordState::Minute: the averages, and the whole counter amount of the minute),
// written as update-else-insert, so the minute gets one row and a repeat writes the same row;
// the statement's text is the update. Each totaliser row (name containing "G_1T") books the
// raw units R waiting in its accumulator as gain * R in its table's unit and takes exactly R
// out. An increment is never lost: a statement the full write queue refuses books nothing, and
// every later statement of the minute carries what the ones before booked. Setpoint columns
// ('_' names) keep the value of the minute's first cycle. The minute is the local one,
// except while the clock is behind the newest key written: that key's row goes on (see
// TRecordState::NewestKey), unless the server's clock says the key lies ahead of it. False
// with the event "!!! Ошибка в функции Update_PAF_record() !!!" when it could not finish.
bool Update_PAF_record(TProcessImage& img, TRecordState& state, TSqlQueues& queues,
                       TEventFIFO& events);

// User-interface thread, before the control thread starts: clears CounterLastKnown and the
// refused reading, and takes CounterLast from the newest minute row that spool made (this
// station's own last reading, also when it is not yet forwarded), else from the I_1T1 of the
// newest pu_data row not dated after the server's NOW() + 60 s: a row dated ahead (a clock
// that jumped forward and was set right) would stay the newest for good, and its old reading
// would book everything since then a second time. *future (when given) gets the key of the
// newest such row, "" when there is none. False with the server's error when a query failed;
// the control thread must then not be started.
bool SeedCounter(TProcessImage& img, TMySQLConnection& user, std::string* error,
                 TRecordSpool* spool = nullptr, std::string* future = nullptr);

// The minute key of a local time: "yyyy-mm-dd hh:nn:00".
std::string MinuteKey(TDateTime now);

}  // namespace liron
