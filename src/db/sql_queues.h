// The write queue and the select queue: the control thread never executes SQL itself. It
// queues changing statements (fire and forget) and hands one-value selects to the GUI thread,
// whose 100 ms timers execute both on the work connection. What cannot be written now the
// write pass hands over into the local spool (HandOver).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <deque>
#include <vector>

#include "db/mysql_connection.h"
#include "db/record_spool.h"
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

  // Any thread. False (statement dropped, done never called) when more than 100 are waiting
  // and no spool takes the overflow. kind tells the spool what the statement is. A minute row
  // of pu_data comes with its absolute values: the write run writes them (WriteMinute, its
  // whole counter amount), and the spool keeps them; the statement is then only its text.
  bool QueueSQL(const std::string& statement, StatementDone done = nullptr,
                TSpoolKind kind = TSpoolKind::kStatement,
                std::shared_ptr<const TMinuteRow> minute = nullptr);

  // With a spool attached, a full queue turns nothing away: it asks (SpillWanted) for its
  // statements to be moved into the spool by the next write run (MoveToSpool, src/spool).
  void AttachSpool(TRecordSpool* spool);
  TRecordSpool* AttachedSpool() const;
  bool SpillWanted() const;
  // Stores the waiting statements as the spool keeps them (a minute row as its absolute row),
  // all or none.
  using StoreWaiting = std::function<bool(const std::vector<TSpoolRecord>& records)>;
  // GUI thread (or the end): hands every waiting statement, in order, to store in one call
  // and takes them out of the queue once it kept them; their done is never called. When store
  // could not keep them they stay. Returns the number handed over; 0 while a write run is
  // going.
  int HandOver(const StoreWaiting& store);

  // Selects fail at once, without queueing, while conn (the connection that answers them)
  // holds no handle; nullptr: always queued.
  void AnswerSelectsOn(const TMySQLConnection* conn);
  int WaitingStatements() const;
  std::vector<std::string> WaitingSnapshot() const;  // oldest first, for tests and display

  // Control thread only: waits at most 5500 ms for the column Rez of the first row.
  bool SelectValue(const std::string& query, TSqlValue* result);

  // GUI thread, every 100 ms: executes up to 12 waiting statements on conn, reporting each
  // failure as "*** SQL error: " + SqlText(statement). Does nothing while conn is not open.
  // Returns the number executed (failed ones included).
  int RunWriteQueue(TMySQLConnection& conn);
  // The same; after_pass (the automatic-clean check) runs after the pass over the queue,
  // only in a run that found the connection open. A statement refused with a transient error
  // (IsTransientSqlError: the link lost among them) is not dropped: it stays first in the
  // queue for the next run, and with a spool attached the queue asks to be moved into it.
  int RunWriteQueue(TMySQLConnection& conn, const std::function<void()>& after_pass);
  // GUI thread, every 100 ms: answers up to 12 waiting selects on conn; abandoned requests
  // are released without counting. While conn is not open every waiting select fails at once.
  int RunSelectQueue(TMySQLConnection& conn);
  int WaitingSelects() const;

 private:
  struct SelectItem;
  struct Statement {
    std::string Text;
    StatementDone Done;
    TSpoolKind Kind = TSpoolKind::kStatement;
    std::shared_ptr<const TMinuteRow> Minute;
  };
  TEventFIFO& events_;
  std::atomic<TRecordSpool*> spool_{nullptr};
  std::atomic<bool> spill_{false};
  std::atomic<const TMySQLConnection*> select_conn_{nullptr};
  mutable std::mutex work_mu_;
  std::deque<Statement> work_;
  mutable std::mutex select_mu_;
  std::deque<std::shared_ptr<SelectItem>> select_;
  std::mutex run_mu_;         // a write run that is still going turns the next one away
  std::mutex select_run_mu_;  // the same for select runs
};

}  // namespace liron
