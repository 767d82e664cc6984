// The journal: records of control_log that an operator of the plant needs to see, added
// through the write queue. Also the drain of the event ring into the daily log files.
#pragma once

#include <mutex>
#include <string>

#include "db/sql_queues.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"

namespace liron {

extern const char kServiceOriginator[];  // "СЛУЖБА ПРИЕМА"

class TJournal {
 public:
  TJournal(TSqlQueues& queues, TEventFIFO& events, Clock& clock);

  // Queues a control_log record; false for an empty text or when the full write queue turned
  // it away. An empty originator gives NULL.
  bool WriteJournal(const std::string& text, const std::string& originator);
  // The same with a moment of its own: what happened while the server could not be reached.
  bool WriteJournal(const std::string& text, const std::string& originator, TDateTime moment);

 private:
  TSqlQueues& queues_;
  TEventFIFO& events_;
  Clock& clock_;
  std::mutex mu_;
  TDateTime last_moment_;  // JournalLastMoment
  int last_seq_ = 0;       // JournalSeq
};

}  // namespace liron
