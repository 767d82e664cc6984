#include "db/records.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "db/sql_text.h"
#include "image/totaliser.h"
#include "platform/datetime.h"

namespace liron {

namespace {

// What one statement books of a totaliser row: the raw units it takes out of the accumulator
// and their amount in the table's unit.
struct TBooking {
  int row;
  double raw;
  double amount;
};

TBooking Book(const TProcessImage& img, int row) {
  const std::optional<double> gain = TotaliserGain(img.Signals[row]);
  if (!gain) return {row, 0, 0};  // no gain: the units wait for a table that gives one
  const double raw = img.RawValues.Get(row);
  return {row, raw, *gain * raw};
}

// A new minute starts with nothing booked, unless an earlier run of the program already booked
// part of it (a restart within the minute): the spool noted that part. Without a spool the
// run's first minute asks the server for what its row holds; unanswered, it starts from 0.
void StartMinute(TMinuteRow& m, const std::string& key, TRecordSpool* spool, TSqlQueues& queues) {
  const bool first_of_run = m.Key.empty();
  m = TMinuteRow{};
  m.Key = key;
  if (spool) {
    m.CounterAmount = spool->BookedInMinute(key);
    return;
  }
  TSqlValue held;
  double v = 0;
  if (first_of_run &&
      queues.SelectValue("select G_1T1 as Rez from pu_data where RecMoment=" + SqlText(key), &held) &&
      held.AsDouble(&v))
    m.CounterAmount = v;
}

// The key of this cycle's minute row: the local minute, unless the clock is behind the newest
// key written (set back by hand or NTP, the repeated hour of a DST change): then that key's
// row goes on taking the cycles, so no row of the first pass is overwritten or merged with
// another minute. A newest key ahead of the server's clock was written by a clock that ran
// ahead: it is not held, and the keys go on from the local minute.
std::string RecordKey(TProcessImage& img, TRecordState& state) {
  const TDateTime now = img.clock.Now();
  const std::string local = MinuteKey(now);
  if (!state.NewestKeyTaken) {
    state.NewestKeyTaken = true;
    if (state.Spool && state.NewestKey.empty()) state.NewestKey = state.Spool->NewestMinuteKey();
  }
  if (local >= state.NewestKey) {
    state.HoldingKey = false;
    state.NewestKey = local;
    return local;
  }
  const std::optional<TDateTime> server =
      state.ClockCheck ? state.ClockCheck->ServerNow() : std::nullopt;
  TDateTime newest = 0;
  if (server && ParseSqlDateTime(state.NewestKey, &newest) &&
      newest > *server + kClockToleranceSec * 1000 / kMsPerDay) {
    if (state.Journal)
      state.Journal("Минутная строка " + state.NewestKey + " датирована позже часов MySQL "
                    "сервера: минутные записи продолжаются с " + local + ".");
    state.HoldingKey = false;
    state.NewestKey = local;
    return local;
  }
  if (!state.HoldingKey && state.Journal)
    state.Journal("Часы станции отошли назад (" + FormatDateTime("yyyy-mm-dd hh:nn", now) +
                  "): минутные записи продолжаются в строке " + state.NewestKey + ".");
  state.HoldingKey = true;
  return state.NewestKey;
}

}  // namespace

std::string MinuteKey(TDateTime now) { return FormatDateTime("yyyy-mm-dd hh:nn", now) + ":00"; }

bool UpdateStateRecord(TProcessImage& img, TRecordState& state, TSqlQueues& queues,
                       TEventFIFO& events) {
  try {
    if (!state.StateRowChecked) {
      TSqlValue answer;
      int64_t n = 0;
      // Not answered: checked again by the next cycle.
      if (queues.SelectValue("select count(*) Rez from last_state", &answer)) {
        if (!answer.AsInt(&n)) n = 0;
        if (n < 1) {
          queues.QueueSQL("insert into last_state (RecMoment) SELECT Now() FROM DUAL WHERE NOT "
                          "EXISTS (SELECT 1 FROM last_state)");
          img.clock.SleepMs(200);  // the insert stays well ahead of the first update
        }
        state.StateRowChecked = true;
      }
    }
    // Terms are joined by ", " as they come, so a plan without a recorded row still gives
    // a valid statement.
    std::string sql = "UPDATE last_state SET RecMoment=Now(), I_1T1=" + SqlNumber(img.CounterLast);
    const int count = static_cast<int>(img.PlanRows());
    for (int i = 0; i < count; ++i) {
      const TSignalSet& row = img.Signals[i];
      if (row.SignalName.empty() || row.Direction == "WRITE") continue;
      sql += ", " + row.SignalName + "=" + SqlNumber(img.PhysValues.Get(i));
    }
    queues.QueueSQL(
        sql,
        [&state](bool executed, uint64_t matched) {
          if (executed && matched == 0) state.StateRowChecked = false;  // the row was deleted
        },
        TSpoolKind::kLastState);
    return true;
  } catch (const std::exception&) {
    events.PostEvent("!!! Ошибка в функции UpdateStateRecord() !!!");
    return false;
  }
}

bool Update_PAF_record(TProcessImage& img, TRecordState& state, TSqlQueues& queues,
                       TEventFIFO& events) {
  try {
    const std::string key = RecordKey(img, state);
    const int count = static_cast<int>(img.PlanRows());
    // Totaliser rows booked by this statement, taken off their accumulators only once the
    // statement is queued: a record the full queue refuses leaves them pending for the next.
    std::vector<TBooking> booked;
    for (int k = 0; k < count; ++k)
      if (IsTotaliserName(img.Signals[k].SignalName)) booked.push_back(Book(img, k));
    double amount = 0;
    for (const TBooking& b : booked) amount += b.amount;
    std::shared_ptr<const TMinuteRow> absolute;
    {
      std::lock_guard<std::mutex> l(state.MinuteMu);
      TMinuteRow& m = state.Minute;
      if (m.Key != key) StartMinute(m, key, state.Spool, queues);
      std::vector<std::pair<std::string, double>> values;
      for (int k = 0; k < count; ++k) {
        const std::string& name = img.Signals[k].SignalName;
        if (name.empty()) continue;
        if (IsTotaliserName(name)) {
          m.CounterColumn = "G_1T1";
          continue;
        }
        double v = img.AvgValues.Get(k);
        // A setpoint column keeps what the minute's first cycle wrote.
        if (name[0] == '_')
          for (const auto& [had, value] : m.Values)
            if (had == name) v = value;
        values.emplace_back(name, v);
      }
      m.Values = std::move(values);
      // Before the totaliser's first reading the row holds no reading (NULL): a 0 there would
      // seed the next start with a reading the counter never gave, and its first real reading
      // would be booked whole.
      m.I_1T1 = img.CounterLastKnown ? img.CounterLast.load()
                                     : std::numeric_limits<double>::quiet_NaN();
      auto row = std::make_shared<TMinuteRow>(m);
      row->CounterAmount += amount;
      absolute = std::move(row);
    }
    // The row goes as absolute values, update-else-insert: a statement written twice (its
    // answer lost, the spool forwarding it again) leaves the same row, and a statement the
    // server refused is made good by the next one, which carries the whole amount again.
    auto done = [&state, absolute](bool executed, uint64_t matched) {
      if (executed && matched > 0 && state.Spool) state.Spool->NoteMinute(*absolute);
    };
    if (queues.QueueSQL(MinuteUpdateSql(*absolute, absolute->CounterAmount), done,
                        TSpoolKind::kMinute, absolute)) {
      for (const TBooking& b : booked) img.RawValues.Add(b.row, -b.raw);
      std::lock_guard<std::mutex> l(state.MinuteMu);
      if (state.Minute.Key == key) state.Minute.CounterAmount += amount;
    }
    return true;
  } catch (const std::exception&) {
    events.PostEvent("!!! Ошибка в функции Update_PAF_record() !!!");
    return false;
  }
}

bool SeedCounter(TProcessImage& img, TMySQLConnection& user, std::string* error,
                 TRecordSpool* spool, std::string* future) {
  TSqlRows rows;
  if (!user.Query("select count(*) as Rez from pu_data", &rows, error)) return false;
  int64_t n = 0;
  const TSqlValue* rez = rows.Field(0, "Rez");
  if (rez == nullptr || !rez->AsInt(&n)) {
    if (error) *error = "select count(*) from pu_data gave no number";
    return false;
  }
  img.CounterLastKnown = false;
  img.CounterRefused.reset();
  if (future) future->clear();
  if (n <= 0) {
    if (spool) spool->SeedCounter(img);
    return true;
  }
  constexpr char kNotAhead[] = "RecMoment <= NOW() + INTERVAL 60 SECOND";
  if (future) {
    if (!user.Query(std::string("select max(RecMoment) as Rez from pu_data where NOT (") +
                        kNotAhead + ")",
                    &rows, error))
      return false;
    const TSqlValue* ahead = rows.Field(0, "Rez");
    if (ahead != nullptr && !ahead->Null) *future = ahead->Text;
  }
  if (spool && spool->SeedCounter(img)) return true;
  if (!user.Query(std::string("select I_1T1 from pu_data where RecMoment=(select max(RecMoment) "
                              "from pu_data where ") + kNotAhead + ")",
                  &rows, error))
    return false;
  const TSqlValue* last = rows.Field(0, "I_1T1");
  double v = 0;
  if (last != nullptr && last->AsDouble(&v)) {
    img.CounterLast = v;
    img.CounterLastKnown = true;
  }
  return true;
}

}  // namespace liron
