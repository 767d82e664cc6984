// TSeedStore: what a start without the server takes from the spool's file, kept in its table
// meta: the newest minute row made (its key, counter reading and whole amount) and the
// setpoints in force.
#pragma once

#include <string>

#include "db/minute_row.h"
#include "image/process_image.h"
#include "platform/clock.h"
#include "spool/spool_file.h"

namespace liron {

struct TSpoolSeeds {
  bool HasMinute = false;
  std::string MinuteKey;       // the newest minute row made
  double I_1T1 = 0;            // its counter reading: the counter seed; NaN: none yet
  double CounterAmount = 0;    // its whole counter amount so far
  bool HasSetpoints = false;
  TDateTime SetpointMoment = 0;  // RecMoment of the control_vector row they came from
  double Plsz = 0;
  double Urnsz = 0;
};

class TSeedStore {
 public:
  explicit TSeedStore(TSpoolFile& file) : file_(file) {}
  TSeedStore(const TSeedStore&) = delete;
  TSeedStore& operator=(const TSeedStore&) = delete;

  TSpoolSeeds Read();
  // Makes the row the newest minute: for a row the server took at once.
  bool NoteMinute(const TMinuteRow& row);
  bool NoteSetpoints(TDateTime moment, double plsz, double urnsz);

  // The same within the outbox's transaction, the file held: the key of the newest minute, and
  // its note.
  static std::string NewestMinuteKey(TSpoolFile::Held& f);
  static void NoteMinute(TSpoolFile::Held& f, const TMinuteRow& row);

 private:
  TSpoolFile& file_;
};

// Takes the reading of the newest minute row as CounterLast; false (nothing changed) when the
// spool has made no minute row.
bool SeedCounterFromSpool(TProcessImage& img, TSeedStore& seeds);

}  // namespace liron
