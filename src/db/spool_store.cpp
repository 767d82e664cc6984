#include "db/spool_store.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/datetime.h"

namespace liron {

const char kSpoolFileName[] = "spool.db";

namespace {

constexpr int kMinuteHandedKept = 100;

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

std::string NumberText(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

double TextNumber(const std::string& s) {
  double v = std::numeric_limits<double>::quiet_NaN();
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

std::string EncodeValues(const std::vector<std::pair<std::string, double>>& values) {
  std::string out;
  for (const auto& [name, value] : values) out += name + "=" + NumberText(value) + "\n";
  return out;
}

std::vector<std::pair<std::string, double>> DecodeValues(const std::string& text) {
  std::vector<std::pair<std::string, double>> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const size_t eq = line.find('=');
    if (eq != std::string::npos) out.emplace_back(line.substr(0, eq), TextNumber(line.substr(eq + 1)));
    pos = end + 1;
  }
  return out;
}

// A real that may be NaN: SQLite keeps NaN as NULL.
double RealOrNaN(const TSqliteStmt& s, int col) {
  return s.IsNull(col) ? std::numeric_limits<double>::quiet_NaN() : s.Real(col);
}

// Takes the minute row seq out, handing its amount on; part of a
// transaction. The caller hands the amount on.
bool DropMinuteLocked(TSqliteDb& db, int64_t seq, std::string* key, double* hand,
                             double* amount) {
  TSqliteStmt row(db, "SELECT minute_key, amount - handed + carry_in, amount FROM record WHERE seq=?");
  row.Bind(1, seq);
  if (!row.Step()) return false;
  *key = row.Text(0);
  *hand = row.Real(1);
  *amount = row.Real(2);
  TSqliteStmt del(db, "DELETE FROM record WHERE seq=?");
  del.Bind(1, seq).Run();
  TSqliteStmt handed(db, "INSERT OR REPLACE INTO minute_handed (minute_key, amount) VALUES (?, ?)");
  handed.Bind(1, *key).Bind(2, *amount).Run();
  TSqliteStmt bound(db,
                    "DELETE FROM minute_handed WHERE minute_key NOT IN "
                    "(SELECT minute_key FROM minute_handed ORDER BY minute_key DESC LIMIT ?)");
  bound.Bind(1, static_cast<int64_t>(kMinuteHandedKept)).Run();
  return true;
}

}  // namespace

TSpoolStore::TSpoolStore(TEventFIFO& events) : events_(events) {}

bool TSpoolStore::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> l(mu_);
  if (!db_.Open(path, error)) return false;
  if (!CreateSchemaLocked(error)) {
    db_.Close();
    return false;
  }
  return true;
}

bool TSpoolStore::CreateSchemaLocked(std::string* error) { return db_.Exec(kSchema, error); }

void TSpoolStore::Close() {
  std::lock_guard<std::mutex> l(mu_);
  db_.Close();
}

bool TSpoolStore::IsOpen() const {
  std::lock_guard<std::mutex> l(mu_);
  return db_.IsOpen();
}

void TSpoolStore::SetLimitDays(int32_t days) {
  std::lock_guard<std::mutex> l(mu_);
  limit_records_ = static_cast<int64_t>(days < 1 ? 1 : days) * kSpoolRecordsPerDay;
}

std::string TSpoolStore::LastError() const {
  std::lock_guard<std::mutex> l(mu_);
  return last_error_;
}

bool TSpoolStore::FailLocked() {
  last_error_ = db_.LastError();
  return false;
}

std::string TSpoolStore::MetaTextLocked(const char* name) {
  TSqliteStmt s(db_, "SELECT value FROM meta WHERE name=?");
  s.Bind(1, std::string(name));
  return s.Step() ? s.Text(0) : std::string();
}

double TSpoolStore::MetaRealLocked(const char* name) {
  TSqliteStmt s(db_, "SELECT value FROM meta WHERE name=?");
  s.Bind(1, std::string(name));
  return s.Step() ? s.Real(0) : 0.0;
}

void TSpoolStore::SetMetaLocked(const char* name, const std::string& text) {
  TSqliteStmt s(db_, "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)");
  s.Bind(1, std::string(name)).Bind(2, text).Run();
}

void TSpoolStore::SetMetaLocked(const char* name, double value) {
  TSqliteStmt s(db_, "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)");
  s.Bind(1, std::string(name)).Bind(2, value).Run();
}

bool TSpoolStore::AppendTextLocked(TSpoolKind kind, TDateTime moment, const std::string& sql) {
  TSqliteTransaction t(db_);
  if (!t.Begun()) return FailLocked();
  if (kind == TSpoolKind::kLastState) {
    TSqliteStmt drop(db_, "DELETE FROM record WHERE kind=1");
    if (!drop.Run()) return FailLocked();
  }
  TSqliteStmt ins(db_, "INSERT INTO record (kind, moment, text) VALUES (?, ?, ?)");
  ins.Bind(1, static_cast<int64_t>(kind)).Bind(2, moment).Bind(3, sql);
  if (!ins.Run()) return FailLocked();
  TrimLocked(moment);
  return t.Commit() || FailLocked();
}

bool TSpoolStore::AppendStatement(TDateTime moment, const std::string& sql) {
  std::lock_guard<std::mutex> l(mu_);
  return AppendTextLocked(TSpoolKind::kStatement, moment, sql);
}

bool TSpoolStore::AppendLastState(TDateTime moment, const std::string& sql) {
  std::lock_guard<std::mutex> l(mu_);
  return AppendTextLocked(TSpoolKind::kLastState, moment, sql);
}

bool TSpoolStore::AppendMinute(TDateTime moment, const TMinuteRow& row) {
  std::lock_guard<std::mutex> l(mu_);
  if (!db_.IsOpen()) return FailLocked();
  // The first row of a minute is committed with a synced log: that makes every earlier commit,
  // the minute before's last version among them, durable on disk.
  const bool new_minute = MetaTextLocked("minute_key") != row.Key;
  if (new_minute) db_.SetFullSync(true);
  bool ok = false;
  {
    TSqliteTransaction t(db_);
    ok = t.Begun();
    int64_t seq = 0;
    if (ok) {
      TSqliteStmt find(db_, "SELECT seq FROM record WHERE minute_key=?");
      find.Bind(1, row.Key);
      if (find.Step()) seq = find.Int(0);
      ok = !find.Failed();
    }
    const std::string vals = EncodeValues(row.Values);
    if (ok && seq != 0) {
      TSqliteStmt up(db_,
                     "UPDATE record SET moment=?, i_1t1=?, vals=?, counter=?, amount=?, "
                     "version=version+1 WHERE seq=?");
      up.Bind(1, moment).Bind(2, row.I_1T1).Bind(3, vals).Bind(4, row.CounterColumn);
      ok = up.Bind(5, row.CounterAmount).Bind(6, seq).Run();
    } else if (ok) {
      TSqliteStmt handed(db_, "SELECT amount FROM minute_handed WHERE minute_key=?");
      handed.Bind(1, row.Key);
      const double already = handed.Step() ? handed.Real(0) : 0.0;
      // A carry from a minute set aside goes to the first minute after it.
      double carry = MetaRealLocked("carry_amount");
      if (carry != 0 && row.Key > MetaTextLocked("carry_after"))
        SetMetaLocked("carry_amount", 0.0);
      else
        carry = 0;
      TSqliteStmt ins(db_,
                      "INSERT INTO record (kind, moment, minute_key, i_1t1, vals, counter, amount, "
                      "carry_in, handed) VALUES (2, ?, ?, ?, ?, ?, ?, ?, ?)");
      ins.Bind(1, moment).Bind(2, row.Key).Bind(3, row.I_1T1).Bind(4, vals);
      ins.Bind(5, row.CounterColumn).Bind(6, row.CounterAmount).Bind(7, carry).Bind(8, already);
      ok = ins.Run();
    }
    ok = ok && NoteMinuteLocked(row);
    if (ok) TrimLocked(moment);
    ok = ok && t.Commit();
    if (!ok) FailLocked();
  }
  if (new_minute) db_.SetFullSync(false);
  return ok;
}

bool TSpoolStore::NoteMinuteLocked(const TMinuteRow& row) {
  SetMetaLocked("minute_key", row.Key);
  SetMetaLocked("minute_i_1t1", row.I_1T1);
  SetMetaLocked("minute_amount", row.CounterAmount);
  return true;
}

bool TSpoolStore::NoteMinute(const TMinuteRow& row) {
  std::lock_guard<std::mutex> l(mu_);
  TSqliteTransaction t(db_);
  if (!t.Begun()) return FailLocked();
  NoteMinuteLocked(row);
  return t.Commit() || FailLocked();
}

bool TSpoolStore::NoteSetpoints(TDateTime moment, double plsz, double urnsz) {
  std::lock_guard<std::mutex> l(mu_);
  TSqliteTransaction t(db_);
  if (!t.Begun()) return FailLocked();
  SetMetaLocked("setpoint_moment", moment);
  SetMetaLocked("plsz", plsz);
  SetMetaLocked("urnsz", urnsz);
  return t.Commit() || FailLocked();
}

void TSpoolStore::HandOnLocked(const std::string& key, double amount) {
  if (amount == 0 || std::isnan(amount)) return;
  TSqliteStmt next(db_,
                   "SELECT seq FROM record WHERE kind=2 AND minute_key>? ORDER BY minute_key LIMIT 1");
  next.Bind(1, key);
  if (next.Step()) {
    TSqliteStmt up(db_, "UPDATE record SET carry_in=carry_in+?, version=version+1 WHERE seq=?");
    up.Bind(1, amount).Bind(2, next.Int(0)).Run();
    return;
  }
  // No later minute waits yet: the next one stored takes it.
  SetMetaLocked("carry_amount", MetaRealLocked("carry_amount") + amount);
  const std::string after = MetaTextLocked("carry_after");
  if (key > after) SetMetaLocked("carry_after", key);
}

void TSpoolStore::TrimLocked(TDateTime now) {
  TSqliteStmt count(db_, "SELECT count(*) FROM record");
  int64_t excess = count.Step() ? count.Int(0) - limit_records_ : 0;
  if (excess <= 0) return;
  int64_t minutes = 0;
  std::string last_key;
  // The oldest minute rows go first; each hands its counter amount on, so the plant's total
  // stays whole even when averages are lost.
  while (excess > 0) {
    TSqliteStmt oldest(db_, "SELECT seq FROM record WHERE kind=2 ORDER BY seq LIMIT 1");
    if (!oldest.Step()) break;
    std::string key;
    double hand = 0, amount = 0;
    if (!DropMinuteLocked(db_, oldest.Int(0), &key, &hand, &amount)) break;
    HandOnLocked(key, hand);
    last_key = key;
    ++minutes;
    --excess;
  }
  int64_t others = 0;
  if (excess > 0) {
    TSqliteStmt drop(db_,
                     "DELETE FROM record WHERE seq IN (SELECT seq FROM record ORDER BY seq LIMIT ?)");
    drop.Bind(1, excess).Run();
    others = db_.Changes();
  }
  trimmed_since_event_ += minutes + others;
  if (last_trim_event_ != 0 && now - last_trim_event_ < 1.0 / 24) return;
  std::string text = "*** Буфер записей для сервера переполнен: удалено старейших записей " +
                     std::to_string(trimmed_since_event_);
  if (!last_key.empty()) text += ", минутных по " + last_key;
  events_.PostEvent(text + " ***");
  last_trim_event_ = now;
  trimmed_since_event_ = 0;
}

std::vector<TSpoolItem> TSpoolStore::Peek(int max) {
  std::lock_guard<std::mutex> l(mu_);
  std::vector<TSpoolItem> out;
  TSqliteStmt s(db_,
                "SELECT seq, version, kind, moment, text, minute_key, i_1t1, vals, counter, "
                "amount - handed + carry_in FROM record ORDER BY seq LIMIT ?");
  s.Bind(1, static_cast<int64_t>(max));
  while (s.Step()) {
    TSpoolItem item;
    item.Seq = s.Int(0);
    item.Version = s.Int(1);
    item.Kind = static_cast<TSpoolKind>(s.Int(2));
    item.Moment = s.Real(3);
    item.Text = s.Text(4);
    if (item.Kind == TSpoolKind::kMinute) {
      item.Minute.Key = s.Text(5);
      item.Minute.I_1T1 = RealOrNaN(s, 6);
      item.Minute.Values = DecodeValues(s.Text(7));
      item.Minute.CounterColumn = s.Text(8);
      item.Counter = RealOrNaN(s, 9);
    }
    out.push_back(std::move(item));
  }
  if (s.Failed()) FailLocked();
  return out;
}

bool TSpoolStore::Remove(const std::vector<TSpoolItem>& confirmed) {
  if (confirmed.empty()) return true;
  std::lock_guard<std::mutex> l(mu_);
  TSqliteTransaction t(db_);
  if (!t.Begun()) return FailLocked();
  TSqliteStmt del(db_, "DELETE FROM record WHERE seq=? AND version=?");
  for (const TSpoolItem& item : confirmed) {
    del.Reset();
    if (!del.Bind(1, item.Seq).Bind(2, item.Version).Run()) return FailLocked();
  }
  return t.Commit() || FailLocked();
}

bool TSpoolStore::SetAside(const TSpoolItem& item, const std::string& statement,
                           const std::string& error) {
  std::lock_guard<std::mutex> l(mu_);
  TSqliteTransaction t(db_);
  if (!t.Begun()) return FailLocked();
  if (item.Kind == TSpoolKind::kMinute) {
    std::string key;
    double hand = 0, amount = 0;
    if (DropMinuteLocked(db_, item.Seq, &key, &hand, &amount)) HandOnLocked(key, hand);
  } else {
    TSqliteStmt del(db_, "DELETE FROM record WHERE seq=?");
    del.Bind(1, item.Seq).Run();
  }
  TSqliteStmt ins(db_, "INSERT INTO set_aside (moment, statement, error) VALUES (?, ?, ?)");
  if (!ins.Bind(1, item.Moment).Bind(2, statement).Bind(3, error).Run()) return FailLocked();
  TSqliteStmt bound(db_, "DELETE FROM set_aside WHERE id <= (SELECT max(id) FROM set_aside) - ?");
  bound.Bind(1, static_cast<int64_t>(kSetAsideKept)).Run();
  return t.Commit() || FailLocked();
}

TSpoolDepth TSpoolStore::Depth() {
  std::lock_guard<std::mutex> l(mu_);
  TSpoolDepth d;
  TSqliteStmt s(db_, "SELECT count(*), min(moment) FROM record");
  if (s.Step()) {
    d.Records = s.Int(0);
    d.Oldest = s.IsNull(1) ? 0 : s.Real(1);
  }
  return d;
}

bool TSpoolStore::Empty() {
  std::lock_guard<std::mutex> l(mu_);
  if (!db_.IsOpen()) return true;
  TSqliteStmt s(db_, "SELECT 1 FROM record LIMIT 1");
  return !s.Step();
}

TSpoolSeeds TSpoolStore::Seeds() {
  std::lock_guard<std::mutex> l(mu_);
  TSpoolSeeds seeds;
  seeds.MinuteKey = MetaTextLocked("minute_key");
  seeds.HasMinute = !seeds.MinuteKey.empty();
  seeds.I_1T1 = MetaRealLocked("minute_i_1t1");
  seeds.CounterAmount = MetaRealLocked("minute_amount");
  seeds.HasSetpoints = !MetaTextLocked("setpoint_moment").empty();
  seeds.SetpointMoment = MetaRealLocked("setpoint_moment");
  seeds.Plsz = MetaRealLocked("plsz");
  seeds.Urnsz = MetaRealLocked("urnsz");
  return seeds;
}

std::vector<TSetAsideRecord> TSpoolStore::SetAsideList() {
  std::lock_guard<std::mutex> l(mu_);
  std::vector<TSetAsideRecord> out;
  TSqliteStmt s(db_, "SELECT moment, statement, error FROM set_aside ORDER BY id");
  while (s.Step()) out.push_back({s.Real(0), s.Text(1), s.Text(2)});
  return out;
}

}  // namespace liron
