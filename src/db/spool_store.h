// TSpoolStore: the station's local store of the records the database server could not take
// yet, kept on disk in the home folder (spool.db, SQLite in WAL mode) so that an outage of the
// server, a crash of the program or a loss of power in the outage loses none of them.
//
// Records wait in the order they came. A rewrite of last_state supersedes the one before it;
// a minute row of pu_data is kept as absolute values and replaced by the later cycles of its
// minute. A record leaves only when the server confirmed it (Remove) or refused its content
// (SetAside: then it goes into a bounded list of the newest thousand refused statements, and a
// minute row hands its counter amount on to the next minute).
//
// The same file keeps the seeds a start without the server needs (the newest minute row's key,
// counter reading and amount; the setpoints in force) and a copy of the plan of the last
// successful load (spool_plan_copy.cpp).
//
// Every method may be called from any thread; one lock serialises them. None waits on the
// database server.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "db/spool_record.h"
#include "db/sqlite_db.h"
#include "image/signal_set.h"
#include "platform/event_fifo.h"

namespace liron {

extern const char kSpoolFileName[];  // "spool.db"
constexpr int32_t kDefaultSpoolDays = 7;
// Records of one day the limit allows for: a minute row and one other record a minute.
constexpr int64_t kSpoolRecordsPerDay = 2 * 1440;
constexpr int kSetAsideKept = 1000;

struct TSpoolDepth {
  int64_t Records = 0;
  TDateTime Oldest = 0;  // moment of the oldest record waiting; 0 when none waits
};

// What a start without the server takes from the store.
struct TSpoolSeeds {
  bool HasMinute = false;
  std::string MinuteKey;       // the newest minute row made
  double I_1T1 = 0;            // its counter reading: the counter seed
  double CounterAmount = 0;    // its whole counter amount so far
  bool HasSetpoints = false;
  TDateTime SetpointMoment = 0;  // RecMoment of the control_vector row they came from
  double Plsz = 0;
  double Urnsz = 0;
};

// The plan of the last successful load: signal rows with their calibration points, and the
// setup constants.
struct TPlanCopy {
  std::vector<TSignalSet> Signals;
  std::vector<std::pair<std::string, double>> Setup;
  TDateTime Saved = 0;
};
bool SamePlan(const TPlanCopy& a, const TPlanCopy& b);

struct TSetAsideRecord {
  TDateTime Moment = 0;  // when it was set aside
  std::string Statement;
  std::string Error;  // the server's text
};

class TSpoolStore {
 public:
  explicit TSpoolStore(TEventFIFO& events);
  TSpoolStore(const TSpoolStore&) = delete;
  TSpoolStore& operator=(const TSpoolStore&) = delete;

  // Opens or creates the file. False with the reason in *error.
  bool Open(const std::string& path, std::string* error);
  void Close();
  bool IsOpen() const;

  // [MySQL] SpoolDays: the spool holds at most days * kSpoolRecordsPerDay records; past it the
  // oldest minute rows go first, with an event. Below 1 counts as 1.
  void SetLimitDays(int32_t days);

  // Each is false when the record could not be stored (the reason in LastError()).
  bool AppendStatement(TDateTime moment, const std::string& sql);
  bool AppendLastState(TDateTime moment, const std::string& sql);
  // Stores the minute's row, replacing a waiting row of the same minute, and makes it the
  // newest minute of the seeds. The first row of a new minute is synced to the disk, so the
  // minute before is durable by the end of its minute.
  bool AppendMinute(TDateTime moment, const TMinuteRow& row);
  // Only makes the row the newest minute of the seeds: for a row the server took at once.
  bool NoteMinute(const TMinuteRow& row);
  bool NoteSetpoints(TDateTime moment, double plsz, double urnsz);

  // The oldest records, up to max, in order.
  std::vector<TSpoolItem> Peek(int max);
  // Removes records the server confirmed; one that changed since it was taken stays.
  bool Remove(const std::vector<TSpoolItem>& confirmed);
  // Takes a record out for good: into the list of refused statements (statement and the
  // server's error). A minute row hands its counter amount on to the next minute.
  bool SetAside(const TSpoolItem& item, const std::string& statement, const std::string& error);

  TSpoolDepth Depth();
  bool Empty();  // no record waits (also when the file is not open); cheaper than Depth
  TSpoolSeeds Seeds();
  std::vector<TSetAsideRecord> SetAsideList();  // oldest first

  // Replaces the copy of the plan; false with the reason in *error.
  bool SavePlanCopy(const TPlanCopy& plan, std::string* error);
  // False when there is no copy (or it cannot be read: *error says so). A row whose name is no
  // plain identifier is left out, with the event of the server's load (AcceptSignalName).
  bool LoadPlanCopy(TPlanCopy* plan, std::string* error);

  std::string LastError() const;

 private:
  bool CreateSchemaLocked(std::string* error);
  bool AppendTextLocked(TSpoolKind kind, TDateTime moment, const std::string& sql);
  bool NoteMinuteLocked(const TMinuteRow& row);
  void HandOnLocked(const std::string& key, double amount);
  void TrimLocked(TDateTime now);
  bool FailLocked();
  std::string MetaTextLocked(const char* name);
  double MetaRealLocked(const char* name);
  void SetMetaLocked(const char* name, const std::string& text);
  void SetMetaLocked(const char* name, double value);

  TEventFIFO& events_;
  mutable std::mutex mu_;
  TSqliteDb db_;
  int64_t limit_records_ = kDefaultSpoolDays * kSpoolRecordsPerDay;
  std::string last_error_;
  // The trimming event comes once an hour at most, counting what went meanwhile.
  TDateTime last_trim_event_ = 0;
  int64_t trimmed_since_event_ = 0;
};

}  // namespace liron
