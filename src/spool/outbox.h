// TSpoolOutbox: the records the database server could not take yet, kept in the spool's file
// so that an outage of the server, a crash of the program or a loss of power in the outage
// loses none of them.
//
// Records wait in the order they came. A rewrite of last_state supersedes the one before it;
// a minute row of pu_data is kept as absolute values and replaced by the later cycles of its
// minute. A record leaves only when the server confirmed it (Remove) or refused its content
// (SetAside: then it goes into a bounded list of the newest thousand refused statements, and a
// minute row hands its counter amount on to the next minute).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/minute_row.h"
#include "db/record_spool.h"
#include "platform/event_fifo.h"
#include "spool/spool_file.h"

namespace liron {

constexpr int32_t kDefaultSpoolDays = 7;
// Records of one day the limit allows for: a minute row and one other record a minute.
constexpr int64_t kSpoolRecordsPerDay = 2 * 1440;
constexpr int kSetAsideKept = 1000;

struct TSpoolDepth {
  int64_t Records = 0;
  TDateTime Oldest = 0;  // moment of the oldest record waiting; 0 when none waits
};

// One waiting record as the forwarder takes it.
struct TSpoolItem {
  int64_t Seq = 0;      // order of arrival
  int64_t Version = 0;  // changes whenever the record changes while it waits
  TSpoolKind Kind = TSpoolKind::kStatement;
  TDateTime Moment = 0;
  std::string Text;  // the statement (kStatement, kLastState)
  TMinuteRow Minute;  // kMinute
  double Counter = 0;  // kMinute: what its counter column is written as
};

struct TSetAsideRecord {
  TDateTime Moment = 0;  // when it was set aside
  std::string Statement;
  std::string Error;  // the server's text
};

class TSpoolOutbox {
 public:
  TSpoolOutbox(TSpoolFile& file, TEventFIFO& events);
  TSpoolOutbox(const TSpoolOutbox&) = delete;
  TSpoolOutbox& operator=(const TSpoolOutbox&) = delete;

  // [MySQL] SpoolDays: the spool holds at most days * kSpoolRecordsPerDay records; past it the
  // oldest minute rows go first, with an event. Below 1 counts as 1.
  void SetLimitDays(int32_t days);

  // Stores the records of one write run as one transaction, synced to the disk (a loss of
  // power loses nothing stored), all or none; false when they could not be stored (the reason
  // in the file's LastError()). A rewrite of last_state replaces the waiting one; a minute row
  // replaces a waiting row of the same minute and becomes the newest minute of the seeds.
  bool AppendRun(TDateTime moment, const std::vector<TSpoolRecord>& records);
  // A run of one record.
  bool AppendStatement(TDateTime moment, const std::string& sql);
  bool AppendLastState(TDateTime moment, const std::string& sql);
  bool AppendMinute(TDateTime moment, const TMinuteRow& row);

  // The oldest records, up to max, in order.
  std::vector<TSpoolItem> Peek(int max);
  // Removes records the server confirmed; one that changed since it was taken stays. When the
  // file cannot take the removal (locked, full, read-only, failing) the records are kept here
  // as confirmed, with an event, and Settle() must remove them before anything is forwarded
  // again: otherwise the same batch would go to the server at every run.
  bool Remove(const std::vector<TSpoolItem>& confirmed);
  // Removes what the server confirmed and the file could not take yet; true when nothing of
  // the kind is left (then forwarding may go on). The event of the stop has its counterpart.
  bool Settle();
  // Takes a record out for good: into the list of refused statements (statement and the
  // server's error). A minute row hands its counter amount on to the next minute.
  bool SetAside(const TSpoolItem& item, const std::string& statement, const std::string& error);

  TSpoolDepth Depth();
  bool Empty();  // no record waits (also when the file is not open); cheaper than Depth
  std::vector<TSetAsideRecord> SetAsideList();  // oldest first

 private:
  // Within AppendRun's transaction.
  bool AppendText(TSpoolFile::Held& f, TSpoolKind kind, TDateTime moment, const std::string& sql);
  bool AppendMinuteRow(TSpoolFile::Held& f, TDateTime moment, const TMinuteRow& row);
  void HandOn(TSpoolFile::Held& f, const std::string& key, double amount);
  void Trim(TSpoolFile::Held& f, TDateTime now);

  TSpoolFile& file_;
  TEventFIFO& events_;
  // The members below are guarded by the file's lock (taken by a Held).
  int64_t limit_records_ = kDefaultSpoolDays * kSpoolRecordsPerDay;
  // The trimming event comes once an hour at most, counting what went meanwhile.
  TDateTime last_trim_event_ = 0;
  int64_t trimmed_since_event_ = 0;
  std::vector<TSpoolItem> unsettled_;  // confirmed by the server, not yet removed
};

}  // namespace liron
