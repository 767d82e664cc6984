#include "spool/spool.h"

namespace liron {

const char kSpoolFileName[] = "spool.db";

TSpool::TSpool(TEventFIFO& events) : outbox_(file_, events), seeds_(file_), plan_copy_(file_, events) {}

bool TSpool::Open(const std::string& path, std::string* error) { return file_.Open(path, error); }

void TSpool::Close() { file_.Close(); }

bool TSpool::IsOpen() const { return file_.IsOpen(); }

std::string TSpool::LastError() const { return file_.LastError(); }

bool TSpool::AppendRun(TDateTime moment, const std::vector<TSpoolRecord>& records) {
  return outbox_.AppendRun(moment, records);
}

bool TSpool::HoldsRecords() { return !outbox_.Empty(); }

double TSpool::BookedInMinute(const std::string& key) {
  const TSpoolSeeds seeds = seeds_.Read();
  return seeds.HasMinute && seeds.MinuteKey == key ? seeds.CounterAmount : 0.0;
}

std::string TSpool::NewestMinuteKey() {
  const TSpoolSeeds seeds = seeds_.Read();
  return seeds.HasMinute ? seeds.MinuteKey : std::string();
}

bool TSpool::SeedCounter(TProcessImage& img) { return SeedCounterFromSpool(img, seeds_); }

bool TSpool::NoteMinute(const TMinuteRow& row) { return seeds_.NoteMinute(row); }

}  // namespace liron
