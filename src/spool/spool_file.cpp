#include "spool/spool_file.h"

namespace liron {

namespace {

const char kSchema[] = R"(
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

}  // namespace

bool TSpoolFile::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> l(mu_);
  if (!db_.Open(path, error)) return false;
  if (db_.UseWriteAheadLog(error) && db_.Exec(kSchema, error)) return true;
  db_.Close();
  return false;
}

void TSpoolFile::Close() {
  std::lock_guard<std::mutex> l(mu_);
  db_.Close();
}

bool TSpoolFile::IsOpen() const {
  std::lock_guard<std::mutex> l(mu_);
  return db_.IsOpen();
}

std::string TSpoolFile::LastError() const {
  std::lock_guard<std::mutex> l(mu_);
  return last_error_;
}

bool TSpoolFile::Held::Fail() {
  file_.last_error_ = file_.db_.LastError();
  return false;
}

std::string TSpoolFile::Held::MetaText(const char* name) {
  TSqliteStmt s(Db(), "SELECT value FROM meta WHERE name=?");
  s.Bind(1, std::string(name));
  return s.Step() ? s.Text(0) : std::string();
}

double TSpoolFile::Held::MetaReal(const char* name) {
  TSqliteStmt s(Db(), "SELECT value FROM meta WHERE name=?");
  s.Bind(1, std::string(name));
  return s.Step() ? s.Real(0) : 0.0;
}

bool TSpoolFile::Held::SetMeta(const char* name, const std::string& text) {
  TSqliteStmt s(Db(), "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)");
  return s.Bind(1, std::string(name)).Bind(2, text).Run();
}

bool TSpoolFile::Held::SetMeta(const char* name, double value) {
  TSqliteStmt s(Db(), "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)");
  return s.Bind(1, std::string(name)).Bind(2, value).Run();
}

}  // namespace liron
