// The write queue and the select queue: the control thread never executes SQL itself. It
// queues changing statements (fire and forget) and hands one-value selects to the GUI thread,
// whose 100 ms timers execute both on the work connection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <deque>
#include <vector>

#include "db/mysql_connection.h"
#include "db/sql_value.h"
#include "platform/event_fifo.h"

namespace liron {

constexpr int kSqlQueueLimit = 100;          // more than this many waiting: refused
constexpr int kStatementsPerRun = 12;
constexpr int kSelectTimeoutMs = 5500;

// What the server made of a queued statement, told on the GUI thread right after it ran:
// executed with the rows it matched, or refused (already reported as an SQL error). A statement
// that lost the link is not done yet: it runs again on the next connection.
using StatementDone = std::function<void(bool executed, uint64_t matched_rows)>;

class TSqlQueues {
 public:
  explicit TSqlQueues(TEventFIFO& events);
  ~TSqlQueues();

  // Any thread. False (statement dropped, done never called) when more than 100 are waiting.
  bool QueueSQL(const std::string& statement, StatementDone done = nullptr);
  int WaitingStatements() const;
  std::vector<std::string> WaitingSnapshot() const;  // oldest first, for tests and display

  // Control thread only: waits at most 5500 ms for the column Rez of the first row.
  bool SelectValue(const std::string& query, TSqlValue* result);

  // GUI thread, every 100 ms: executes up to 12 waiting statements on conn, reporting each
  // failure as "*** SQL error: " + SqlText(statement). Does nothing while conn is not open.
  // Returns the number executed (failed ones included).
  int RunWriteQueue(TMySQLConnection& conn);
  // The same; after_pass (the automatic-clean check) runs after the pass over the queue,
  // only in a run that found the connection open. A statement that lost the link to the
  // server is not dropped: it stays first in the queue for the next open connection.
  int RunWriteQueue(TMySQLConnection& conn, const std::function<void()>& after_pass);
  // GUI thread, every 100 ms: answers up to 12 waiting selects on conn; abandoned requests
  // are released without counting, also while conn is not open.
  int RunSelectQueue(TMySQLConnection& conn);
  int WaitingSelects() const;

 private:
  struct SelectItem;
  struct Statement {
    std::string Text;
    StatementDone Done;
  };
  TEventFIFO& events_;
  mutable std::mutex work_mu_;
  std::deque<Statement> work_;
  mutable std::mutex select_mu_;
  std::deque<std::shared_ptr<SelectItem>> select_;
  std::mutex run_mu_;         // a write run that is still going turns the next one away
  std::mutex select_run_mu_;  // the same for select runs
};

}  // namespace liron
