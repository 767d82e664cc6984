// TTrendHistory: the per-minute rows of pu_data for the window's longer trend periods, read on
// a thread and a database connection of their own, so that a long query holds neither the
// event loop nor the user connection that "Старт" and the editors need. The thread starts with
// the first request and waits for the next; replies are taken by the window when it is told
// that one waits.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/mysql_connection.h"
#include "platform/clock.h"

namespace liron {

// Rows of pu_data, oldest first: their moments and, per asked column, the values (NaN for
// NULL).
struct TTrendRows {
  std::vector<TDateTime> Moments;
  std::vector<std::vector<double>> Values;
};

struct TTrendReply {
  uint64_t Id = 0;     // the request's
  TDateTime From = 0;  // rows from this moment on
  bool Ok = false;
  std::string Error;  // the server's text when not Ok
  TTrendRows Rows;
};

// The query of one request: RecMoment and the columns, RecMoment >= from, in time order.
std::string TrendHistoryQuery(const std::vector<std::string>& columns, TDateTime from);

class TTrendHistory {
 public:
  // ready is called on the history's thread each time a reply waits to be taken.
  explicit TTrendHistory(std::function<void()> ready);
  ~TTrendHistory();  // waits for the query in progress, then closes the connection
  TTrendHistory(const TTrendHistory&) = delete;
  TTrendHistory& operator=(const TTrendHistory&) = delete;

  // Asks for the rows from `from` on. params: the connection parameters to use (those of the
  // user connection); a change reconnects. A request that has not started yet is replaced by
  // this one. Returns the request's id, increasing.
  uint64_t Request(const std::vector<std::string>& params, const std::vector<std::string>& columns,
                   TDateTime from);
  // The oldest waiting reply; false when none waits.
  bool Take(TTrendReply* reply);

 private:
  struct Job {
    uint64_t Id;
    std::vector<std::string> Params, Columns;
    TDateTime From;
  };
  void Run();
  static bool QueryRows(TMySQLConnection& conn, std::vector<std::string>* params, const Job& job,
                        TSqlRows* rows, std::string* error);

  std::function<void()> ready_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::optional<Job> job_;
  std::deque<TTrendReply> replies_;
  uint64_t next_id_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace liron
