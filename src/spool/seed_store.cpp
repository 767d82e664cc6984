#include "spool/seed_store.h"

#include <cmath>
#include <limits>

namespace liron {

TSpoolSeeds TSeedStore::Read() {
  TSpoolFile::Held f(file_);
  TSpoolSeeds seeds;
  seeds.MinuteKey = NewestMinuteKey(f);
  seeds.HasMinute = !seeds.MinuteKey.empty();
  seeds.I_1T1 = f.MetaText("minute_i_1t1").empty() ? std::numeric_limits<double>::quiet_NaN()
                                                   : f.MetaReal("minute_i_1t1");
  seeds.CounterAmount = f.MetaReal("minute_amount");
  seeds.HasSetpoints = !f.MetaText("setpoint_moment").empty();
  seeds.SetpointMoment = f.MetaReal("setpoint_moment");
  seeds.Plsz = f.MetaReal("plsz");
  seeds.Urnsz = f.MetaReal("urnsz");
  return seeds;
}

std::string TSeedStore::NewestMinuteKey(TSpoolFile::Held& f) { return f.MetaText("minute_key"); }

void TSeedStore::NoteMinute(TSpoolFile::Held& f, const TMinuteRow& row) {
  f.SetMeta("minute_key", row.Key);
  f.SetMeta("minute_i_1t1", row.I_1T1);
  f.SetMeta("minute_amount", row.CounterAmount);
}

bool TSeedStore::NoteMinute(const TMinuteRow& row) {
  TSpoolFile::Held f(file_);
  // Called once a second with the row the server took: a still counter leaves the note as it
  // was, and the flash disk is not written.
  if (NewestMinuteKey(f) == row.Key && f.MetaReal("minute_i_1t1") == row.I_1T1 &&
      f.MetaReal("minute_amount") == row.CounterAmount)
    return true;
  TSqliteTransaction t(f.Db());
  if (!t.Begun()) return f.Fail();
  NoteMinute(f, row);
  return t.Commit() || f.Fail();
}

bool TSeedStore::NoteSetpoints(TDateTime moment, double plsz, double urnsz) {
  TSpoolFile::Held f(file_);
  TSqliteTransaction t(f.Db());
  if (!t.Begun()) return f.Fail();
  f.SetMeta("setpoint_moment", moment);
  f.SetMeta("plsz", plsz);
  f.SetMeta("urnsz", urnsz);
  return t.Commit() || f.Fail();
}

bool SeedCounterFromSpool(TProcessImage& img, TSeedStore& seeds) {
  const TSpoolSeeds s = seeds.Read();
  if (!s.HasMinute || std::isnan(s.I_1T1)) return false;  // made before the first reading
  img.CounterLast = s.I_1T1;
  img.CounterLastKnown = true;
  return true;
}

}  // namespace liron
