// The local spool as the records and the write queue see it: where a record goes while the
// server cannot take it, and the seeds a start takes from it. db only declares it; the spool
// beside the server (src/spool, TSpool) implements it, so db knows nothing of SQLite or files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/minute_row.h"
#include "platform/clock.h"

namespace liron {

struct TProcessImage;

enum class TSpoolKind : int32_t {
  kStatement = 0,  // any changing statement, journal records among them: kept in order
  kLastState = 1,  // the rewrite of last_state: only the newest one is kept
  kMinute = 2,     // the row of one minute in pu_data, as absolute values
};

// One record handed to the spool: the statement, and for a minute row its absolute values.
struct TSpoolRecord {
  TSpoolKind Kind = TSpoolKind::kStatement;
  std::string Statement;
  const TMinuteRow* Minute = nullptr;  // kMinute
};

class TRecordSpool {
 public:
  virtual ~TRecordSpool() = default;

  // Stores the records of one write run after those waiting, all or none, synced to the disk
  // once: a rewrite of last_state replaces the waiting one, a minute row the waiting row of
  // its minute (and it becomes the newest minute of the seeds). False when they could not be
  // stored.
  virtual bool AppendRun(TDateTime moment, const std::vector<TSpoolRecord>& records) = 0;

  // Records wait (an earlier run's among them).
  virtual bool HoldsRecords() = 0;
  // The counter amount the newest minute row booked when it is of the minute key (a restart
  // within the minute); 0 for any other minute.
  virtual double BookedInMinute(const std::string& key) = 0;
  // The key of the newest minute row made; "" when none was.
  virtual std::string NewestMinuteKey() = 0;
  // Takes the newest minute row's counter reading as CounterLast; false (nothing changed) when
  // no minute row was made.
  virtual bool SeedCounter(TProcessImage& img) = 0;
  // Makes a row the server took at once the newest minute of the seeds.
  virtual bool NoteMinute(const TMinuteRow& row) = 0;
};

}  // namespace liron
