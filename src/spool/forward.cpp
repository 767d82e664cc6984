#include "spool/forward.h"

#include <exception>
#include <vector>

#include "db/sql_errors.h"
#include "db/sql_text.h"

namespace liron {

namespace {

// Writes one record; on failure *statement is what the server refused.
bool Send(const TSpoolItem& item, TMySQLConnection& conn, TSqlOutcome& outcome,
          std::string* statement) {
  if (item.Kind != TSpoolKind::kMinute) {
    *statement = item.Text;
    return conn.Execute(item.Text, outcome);
  }
  return WriteMinute(conn, item.Minute, item.Counter, outcome, statement);
}

}  // namespace

TForwardResult ForwardSpool(TSpoolOutbox& outbox, TMySQLConnection& conn, TEventFIFO& events,
                            int max) {
  TForwardResult result;
  try {
    if (!conn.IsOpen() || !outbox.Settle()) {
      result.Held = true;
      return result;
    }
    std::vector<TSpoolItem> confirmed;
    for (const TSpoolItem& item : outbox.Peek(max)) {
      TSqlOutcome outcome;
      std::string statement;
      if (Send(item, conn, outcome, &statement)) {
        confirmed.push_back(item);
        continue;
      }
      if (IsTransientSqlError(outcome.Code)) {
        result.Held = true;
        break;
      }
      events.PostEvent("*** SQL error: " + SqlText(statement));
      outbox.SetAside(item, statement, outcome.Error);
      ++result.SetAside;
      // The minute after it has just received its counter amount: it goes in the next batch,
      // taken afresh.
      if (item.Kind == TSpoolKind::kMinute) break;
    }
    // Removed together after the batch: a crash before this line sends the batch again, in
    // forms that may be repeated (minute rows and last_state as absolute values, journal
    // records only where they are not there yet). A removal the file refused stops forwarding
    // until it went through.
    if (outbox.Remove(confirmed))
      result.Sent = static_cast<int>(confirmed.size());
    else
      result.Held = true;
  } catch (const std::exception&) {
    // Nothing leaves a timer handler; what was not removed is sent again.
  }
  return result;
}

}  // namespace liron
