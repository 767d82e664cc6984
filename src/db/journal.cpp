#include "db/journal.h"

#include <cmath>
#include <exception>

#include "db/sql_text.h"
#include "platform/datetime.h"

namespace liron {

const char kServiceOriginator[] = "СЛУЖБА ПРИЕМА";

namespace {

// The moment brought to the nearest thousandth of a day (86.4 s), an exact half to the even
// thousandth: records that share it are told apart by NPP.
double Thousandth(TDateTime t) { return std::nearbyint(t * 1000.0); }

}  // namespace

TJournal::TJournal(TSqlQueues& queues, TEventFIFO& events, Clock& clock)
    : queues_(queues), events_(events), clock_(clock), last_moment_(clock.Now()) {}

bool TJournal::WriteJournal(const std::string& text, const std::string& originator) {
  return WriteJournal(text, originator, 0);
}

bool TJournal::WriteJournal(const std::string& text, const std::string& originator,
                            TDateTime moment) {
  if (text.empty()) return false;
  try {
    TDateTime now;
    int npp;
    {
      std::lock_guard<std::mutex> l(mu_);
      now = moment != 0 ? moment : clock_.Now();
      npp = DecodeDateTime(now).msec;
      if (Thousandth(now) == Thousandth(last_moment_) && npp == last_seq_) ++npp;
      last_seq_ = npp;
      last_moment_ = now;
    }
    // A record written again (its answer lost, a batch of the spool replayed after a crash)
    // is recognised by its moment, number and text, and stored once.
    const std::string moment_text = "'" + FormatDateTime("yyyy-mm-dd hh:nn:ss", now) + "'";
    const std::string npp_text = SqlNumber(npp);
    const std::string message = SqlText(text);
    return queues_.QueueSQL(
        "insert into control_log (RecMoment, NPP, MessageText, MessageKind) SELECT " +
        moment_text + ", " + npp_text + ", " + message + ", " + SqlText(originator) +
        " FROM DUAL WHERE NOT EXISTS (SELECT 1 FROM control_log WHERE RecMoment=" + moment_text +
        " AND NPP=" + npp_text + " AND MessageText=" + message + ")");
  } catch (const std::exception&) {
    events_.PostEvent("*** Ошибка добавления записи в журнал. ***");
    return false;
  }
}

}  // namespace liron
