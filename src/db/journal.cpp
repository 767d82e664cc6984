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
    return queues_.QueueSQL(
        "insert into control_log (RecMoment, NPP, MessageText, MessageKind) VALUES('" +
        FormatDateTime("yyyy-mm-dd hh:nn:ss", now) + "', " + SqlNumber(npp) + ", " +
        SqlText(text) + ", " + SqlText(originator) + ")");
  } catch (const std::exception&) {
    events_.PostEvent("*** Ошибка добавления записи в журнал. ***");
    return false;
  }
}

}  // namespace liron
