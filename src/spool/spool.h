// TSpool: the station's local store beside the database server, one SQLite file in the home
// folder (spool.db). Three stores share the file and its lock: the outbox of the records the
// server could not take yet, the seeds a start without the server needs, and the copy of the
// plan of the last successful load. To db's records and write queue it is their TRecordSpool.
#pragma once

#include <string>

#include "db/record_spool.h"
#include "platform/event_fifo.h"
#include "spool/outbox.h"
#include "spool/plan_copy.h"
#include "spool/seed_store.h"
#include "spool/spool_file.h"

namespace liron {

extern const char kSpoolFileName[];  // "spool.db"

class TSpool final : public TRecordSpool {
 public:
  explicit TSpool(TEventFIFO& events);

  // Opens or creates the file (TSpoolFile::Open). False with the reason in *error.
  bool Open(const std::string& path, std::string* error);
  void Close();
  bool IsOpen() const;
  // The reason the last store method failed.
  std::string LastError() const;

  TSpoolOutbox& Outbox() { return outbox_; }
  TSeedStore& Seeds() { return seeds_; }
  TPlanCopyStore& PlanCopy() { return plan_copy_; }

 private:
  // TRecordSpool, for db: the outbox and the seeds.
  bool AppendRun(TDateTime moment, const std::vector<TSpoolRecord>& records) override;
  bool HoldsRecords() override;
  double BookedInMinute(const std::string& key) override;
  std::string NewestMinuteKey() override;
  bool SeedCounter(TProcessImage& img) override;
  bool NoteMinute(const TMinuteRow& row) override;

  TSpoolFile file_;
  TSpoolOutbox outbox_;
  TSeedStore seeds_;
  TPlanCopyStore plan_copy_;
};

}  // namespace liron
