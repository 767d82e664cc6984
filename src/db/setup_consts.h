// The setup constants MIN_PLS, MIN_NAGR and MAX_G_STEP, read from table `setup` when the
// control thread starts (a missing one is inserted with the value in memory), and the automatic deletion of
// old rows that runs after each pass of the write queue.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "db/mysql_connection.h"
#include "db/sql_queues.h"
#include "image/process_image.h"
#include "platform/clock.h"

namespace liron {

// Control thread (waits for selects). True with *value set when the constant exists and both
// selects were answered; *value unchanged otherwise. *missing (when given) tells whether the
// server answered that there is no such row.
bool ReadSetupConst(TSqlQueues& queues, const std::string& name, double* value,
                    bool* missing = nullptr);
// Reads the constant into *value; when the server says it has no row, queues its insert with
// the current *value. A row without a usable value, or a select not answered, inserts nothing
// (the row is there or may be). False only when an unexpected failure ended it.
bool EnsureSetupConst(TSqlQueues& queues, const std::string& name, double* value);
// EnsureSetupConst for "MIN_PLS" into MinPls, "MIN_NAGR" into MinNagr and "MAX_G_STEP" into
// MaxGStep, in that order.
bool LoadSetupConsts(TSqlQueues& queues, TProcessImage& image);

// The constants as a plan load finds them (on the user connection), for the local copy of the
// plan: name and value of each row that has a usable value. False with the server's text.
using TSetupRows = std::vector<std::pair<std::string, double>>;
bool ReadSetupRows(TMySQLConnection& user, TSetupRows* rows, std::string* error);
// A start from the copy: its constants become MinPls, MinNagr and MaxGStep; one it lacks keeps
// the value in memory.
void ApplySetupRows(const TSetupRows& rows, TProcessImage& image);

// The automatic clean: every two whole hours, with AutoCleanFlag on, queues the deletes of the
// pu_data, control_log and control_vector rows older than DatabaseSize days (never below 60).
class TAutoClean {
 public:
  // LastCleanMoment starts at the construction time: the first clean comes two hours later.
  explicit TAutoClean(Clock& clock);

  // Run by the write-queue timer after its pass over the queue, only while the work
  // connection is open. True when the deletes were queued.
  bool Check(TSqlQueues& queues, bool auto_clean_flag, int32_t database_size);
  TDateTime LastCleanMoment() const;

 private:
  Clock& clock_;
  mutable std::mutex mu_;
  TDateTime last_clean_;
};

}  // namespace liron
