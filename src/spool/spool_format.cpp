#include "spool/spool_format.h"

#include <iterator>
#include <string>

namespace liron {

namespace {

// The tables of format 1, as the first builds made them; CREATE ... IF NOT EXISTS, so the step
// from 0 makes them in a new file and leaves those of an older file as they are.
const char kTables[] = R"(
CREATE TABLE IF NOT EXISTS record (
  seq      INTEGER PRIMARY KEY AUTOINCREMENT,  -- order of arrival, never reused
  kind     INTEGER NOT NULL,                   -- 0 statement, 1 last_state, 2 minute row
  moment   REAL NOT NULL,                      -- local time of the record (TDateTime)
  version  INTEGER NOT NULL DEFAULT 0,         -- raised by every change while it waits
  text     TEXT,                               -- the statement (kinds 0 and 1)
  minute_key TEXT UNIQUE,                      -- kind 2: RecMoment of the row
  i_1t1    REAL,
  vals     TEXT,                               -- kind 2: "column=value" lines
  counter  TEXT,                               -- kind 2: the integral counter's column
  amount   REAL,                               -- its whole amount in the minute
  carry_in REAL NOT NULL DEFAULT 0,            -- handed on from a minute set aside
  handed   REAL NOT NULL DEFAULT 0             -- part of amount already handed on
);
CREATE TABLE IF NOT EXISTS set_aside (
  id INTEGER PRIMARY KEY AUTOINCREMENT, moment REAL NOT NULL, statement TEXT NOT NULL, error TEXT);
CREATE TABLE IF NOT EXISTS minute_handed (minute_key TEXT PRIMARY KEY, amount REAL NOT NULL);
CREATE TABLE IF NOT EXISTS meta (name TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS plan_signal (
  row INTEGER PRIMARY KEY, bus TEXT, name TEXT, dev_num INTEGER, addr INTEGER, kind INTEGER,
  inverse_bytes INTEGER, inverse_words INTEGER, direction TEXT);
CREATE TABLE IF NOT EXISTS plan_kalibr (
  row INTEGER NOT NULL, point INTEGER NOT NULL, aval REAL, fval REAL, PRIMARY KEY (row, point));
CREATE TABLE IF NOT EXISTS plan_setup (name TEXT PRIMARY KEY, value REAL);
)";

// kSteps[i] brings a file of version i to version i + 1.
const char* const kSteps[] = {
    kTables,  // 0 -> 1: a file of the first builds keeps its tables; only the version is new
};
static_assert(std::size(kSteps) == kSpoolFormat, "one step to every format");

}  // namespace

bool ReadSpoolFormat(TSqliteDb& db, int* version, std::string* error) {
  TSqliteStmt s(db, "PRAGMA user_version");
  if (!s.Step()) {
    if (error) *error = db.LastError();
    return false;
  }
  *version = static_cast<int>(s.Int(0));
  if (*version >= 0 && *version <= kSpoolFormat) return true;
  if (error)
    *error = "format " + std::to_string(*version) + " is unknown to this program (it knows 0 to " +
             std::to_string(kSpoolFormat) + "); the file is left as it is";
  return false;
}

bool MigrateSpool(TSqliteDb& db, int version, std::string* error) {
  for (int v = version; v < kSpoolFormat; ++v) {
    std::string why;
    TSqliteTransaction t(db);
    if (t.Begun() && db.Exec(kSteps[v], &why) &&
        db.Exec("PRAGMA user_version=" + std::to_string(v + 1), &why) && t.Commit())
      continue;
    if (error) *error = why.empty() ? db.LastError() : why;
    return false;
  }
  return true;
}

}  // namespace liron
