#include "db/sql_queues.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>

#include <strings.h>

#include "db/sql_errors.h"
#include "db/sql_text.h"

namespace liron {

// One select request. Requester and server side share it; whichever lets go last frees it.
// The answer is stored here, never in the requester's variable, so an answer that comes after
// the requester gave up touches nothing of the requester's.
struct TSqlQueues::SelectItem {
  std::string QueryText;
  std::mutex mu;
  std::condition_variable done_cv;  // DoneEvent
  bool Done = false;
  bool Failed = false;  // done without an answer: the connection was not there
  bool Abandoned = false;
  TSqlValue Result;
};

TSqlQueues::TSqlQueues(TEventFIFO& events) : events_(events) {}

TSqlQueues::~TSqlQueues() = default;

bool TSqlQueues::QueueSQL(const std::string& statement, StatementDone done, TSpoolKind kind,
                          std::shared_ptr<const TMinuteRow> minute) {
  try {
    std::lock_guard<std::mutex> l(work_mu_);
    if (static_cast<int>(work_.size()) > kSqlQueueLimit) {
      if (!spool_.load()) return false;
      spill_ = true;  // the next write run moves the queue into the spool
    }
    work_.push_back({statement, std::move(done), kind, std::move(minute)});
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TSqlQueues::AttachSpool(TRecordSpool* spool) { spool_ = spool; }

TRecordSpool* TSqlQueues::AttachedSpool() const { return spool_.load(); }

bool TSqlQueues::SpillWanted() const { return spill_.load(); }

int TSqlQueues::HandOver(const StoreWaiting& store) {
  std::unique_lock<std::mutex> run(run_mu_, std::try_to_lock);
  if (!run.owns_lock()) return 0;
  try {
    // Only a run removes, and this one holds run_mu_: the head stays while it is stored.
    std::vector<Statement> waiting;
    {
      std::lock_guard<std::mutex> l(work_mu_);
      waiting.assign(work_.begin(), work_.end());
    }
    if (waiting.empty()) {
      spill_ = false;
      return 0;
    }
    std::vector<TSpoolRecord> records;
    records.reserve(waiting.size());
    for (const Statement& s : waiting) records.push_back({s.Kind, s.Text, s.Minute.get()});
    if (!store(records)) return 0;
    std::lock_guard<std::mutex> l(work_mu_);
    work_.erase(work_.begin(), work_.begin() + static_cast<std::ptrdiff_t>(waiting.size()));
    if (work_.empty()) spill_ = false;
    return static_cast<int>(waiting.size());
  } catch (const std::exception&) {
    return 0;
  }
}

void TSqlQueues::AnswerSelectsOn(const TMySQLConnection* conn) { select_conn_ = conn; }

int TSqlQueues::WaitingStatements() const {
  std::lock_guard<std::mutex> l(work_mu_);
  return static_cast<int>(work_.size());
}

std::vector<std::string> TSqlQueues::WaitingSnapshot() const {
  std::lock_guard<std::mutex> l(work_mu_);
  std::vector<std::string> texts;
  for (const Statement& s : work_) texts.push_back(s.Text);
  return texts;
}

int TSqlQueues::WaitingSelects() const {
  std::lock_guard<std::mutex> l(select_mu_);
  return static_cast<int>(select_.size());
}

int TSqlQueues::RunWriteQueue(TMySQLConnection& conn) { return RunWriteQueue(conn, nullptr); }

int TSqlQueues::RunWriteQueue(TMySQLConnection& conn, const std::function<void()>& after_pass) {
  std::unique_lock<std::mutex> run(run_mu_, std::try_to_lock);
  if (!run.owns_lock()) return 0;
  int executed = 0;
  try {
    if (!conn.IsOpen()) return 0;
    while (executed < kStatementsPerRun) {
      Statement statement;
      {
        std::lock_guard<std::mutex> l(work_mu_);
        if (work_.empty()) break;
        statement = work_.front();  // only this run removes, so the head stays the same
      }
      // Executed with the queue unlocked: producers never wait for the server.
      TSqlOutcome outcome;
      std::string refused = statement.Text;
      const bool ok = statement.Minute
                          ? WriteMinute(conn, *statement.Minute, statement.Minute->CounterAmount,
                                        outcome, &refused)
                          : conn.Execute(statement.Text, outcome);
      if (!ok && (IsTransientSqlError(outcome.Code) || !conn.IsOpen())) {
        // Not now, or taken without the answer arriving: the statement stays first, and with a
        // spool the queue moves there (the spool writes in forms that may be repeated).
        if (spool_.load()) spill_ = true;
        break;
      }
      const uint64_t matched = outcome.Matched;
      ++executed;
      {
        std::lock_guard<std::mutex> l(work_mu_);
        work_.pop_front();
      }
      if (!ok) events_.PostEvent("*** SQL error: " + SqlText(refused));
      if (statement.Done) statement.Done(ok, ok ? matched : 0);
    }
    if (after_pass) after_pass();
  } catch (const std::exception&) {
    // Nothing leaves a timer handler; the next run goes on with what is left.
  }
  return executed;
}

bool TSqlQueues::SelectValue(const std::string& query, TSqlValue* result) {
  const TMySQLConnection* conn = select_conn_.load();
  if (conn && !conn->IsOpen()) return false;  // no server to ask: no waiting for one
  std::shared_ptr<SelectItem> item;
  try {
    item = std::make_shared<SelectItem>();
    item->QueryText = query;
    std::lock_guard<std::mutex> l(select_mu_);
    select_.push_back(item);
  } catch (const std::exception&) {
    events_.PostEvent("*** SELECT error: " + SqlText(query));
    return false;
  }
  std::unique_lock<std::mutex> l(item->mu);
  item->done_cv.wait_for(l, std::chrono::milliseconds(kSelectTimeoutMs), [&] { return item->Done; });
  if (!item->Done) {
    item->Abandoned = true;
    return false;
  }
  if (item->Failed) return false;
  *result = std::move(item->Result);
  return true;
}

int TSqlQueues::RunSelectQueue(TMySQLConnection& conn) {
  std::unique_lock<std::mutex> run(select_run_mu_, std::try_to_lock);
  if (!run.owns_lock()) return 0;
  int served = 0;
  try {
    if (!conn.IsOpen()) {
      // Nothing can be answered: every requester is told so at once, none waits its time-out.
      std::lock_guard<std::mutex> l(select_mu_);
      for (const std::shared_ptr<SelectItem>& item : select_) {
        std::lock_guard<std::mutex> il(item->mu);
        item->Done = true;
        item->Failed = true;
        item->done_cv.notify_one();
      }
      select_.clear();
      return 0;
    }
    while (served < kStatementsPerRun) {
      std::shared_ptr<SelectItem> item;
      {
        std::lock_guard<std::mutex> l(select_mu_);
        if (select_.empty()) break;
        item = std::move(select_.front());
        select_.pop_front();
      }
      std::string query;
      {
        std::lock_guard<std::mutex> l(item->mu);
        if (item->Abandoned) continue;  // released here, not counted
        query = item->QueryText;
      }
      ++served;
      TSqlRows rows;
      if (!conn.Query(query, &rows)) continue;  // not answered; the requester times out
      TSqlValue answer;  // NULL when there is no row
      if (!rows.Rows.empty()) {
        const TSqlValue* rez = rows.Field(0, "Rez");
        if (!rez) continue;  // no column Rez: not answered either
        answer = *rez;
      } else {
        bool has_rez = false;
        for (const auto& c : rows.Columns) has_rez = has_rez || strcasecmp(c.c_str(), "Rez") == 0;
        if (!has_rez) continue;
      }
      std::lock_guard<std::mutex> l(item->mu);
      if (item->Abandoned) continue;  // the answer came too late: stored nowhere
      item->Result = std::move(answer);
      item->Done = true;
      item->done_cv.notify_one();
    }
  } catch (const std::exception&) {
  }
  return served;
}

}  // namespace liron
