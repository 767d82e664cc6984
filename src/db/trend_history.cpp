#include "db/trend_history.h"

#include <cmath>
#include <exception>

#include "db/mysql_connection.h"
#include "db/sql_text.h"
#include "platform/datetime.h"

namespace liron {

std::string TrendHistoryQuery(const std::vector<std::string>& columns, TDateTime from) {
  std::string sql = "select RecMoment";
  for (const std::string& c : columns) sql += ", `" + c + "`";
  return sql +
         " from pu_data where RecMoment>=" + SqlText(FormatDateTime("yyyy-mm-dd hh:nn:ss", from)) +
         " order by RecMoment";
}

TTrendHistory::TTrendHistory(std::function<void()> ready) : ready_(std::move(ready)) {}

TTrendHistory::~TTrendHistory() {
  {
    std::lock_guard<std::mutex> l(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

uint64_t TTrendHistory::Request(const std::vector<std::string>& params,
                                const std::vector<std::string>& columns, TDateTime from) {
  std::lock_guard<std::mutex> l(mu_);
  const uint64_t id = ++next_id_;
  job_ = Job{id, params, columns, from};
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  cv_.notify_all();
  return id;
}

bool TTrendHistory::Take(TTrendReply* reply) {
  std::lock_guard<std::mutex> l(mu_);
  if (replies_.empty()) return false;
  *reply = std::move(replies_.front());
  replies_.pop_front();
  return true;
}

bool TTrendHistory::QueryRows(TMySQLConnection& conn, std::vector<std::string>* params,
                              const Job& job, TSqlRows* rows, std::string* error) {
  // A connection that the server dropped meanwhile (the tab was hidden for hours) is opened
  // once more before the request counts as failed.
  for (int attempt = 0;; ++attempt) {
    if (job.Params != *params || !conn.IsOpen()) {
      *params = job.Params;
      conn.SetParams(*params);
      if (!conn.Open(error)) return false;
    }
    if (conn.Query(TrendHistoryQuery(job.Columns, job.From), rows, error)) return true;
    if (conn.IsOpen() || attempt > 0) return false;
  }
}

void TTrendHistory::Run() {
  TMySQLConnection conn;
  std::vector<std::string> params;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> l(mu_);
      cv_.wait(l, [&] { return stop_ || job_.has_value(); });
      if (stop_) break;
      job = std::move(*job_);
      job_.reset();
    }
    TTrendReply reply;
    reply.Id = job.Id;
    reply.From = job.From;
    try {
      TSqlRows rows;
      reply.Ok = QueryRows(conn, &params, job, &rows, &reply.Error);
      if (reply.Ok) {
        reply.Rows.Values.assign(job.Columns.size(), {});
        for (const auto& row : rows.Rows) {
          TDateTime moment = 0;
          if (row.empty() || !row[0].AsDateTime(&moment)) continue;
          reply.Rows.Moments.push_back(moment);
          for (size_t c = 0; c < job.Columns.size(); ++c) {
            double v = NAN;
            if (c + 1 >= row.size() || !row[c + 1].AsDouble(&v)) v = NAN;
            reply.Rows.Values[c].push_back(v);
          }
        }
      }
    } catch (const std::exception& e) {
      reply = TTrendReply{job.Id, job.From, false, e.what(), {}};
    }
    try {
      {
        std::lock_guard<std::mutex> l(mu_);
        replies_.push_back(std::move(reply));
      }
      if (ready_) ready_();
    } catch (...) {
      // No room for the reply: the window asks again at its next refresh.
    }
  }
  conn.Close();
  MySqlThreadEnd();
}

}  // namespace liron
