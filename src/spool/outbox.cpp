#include "spool/outbox.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/datetime.h"
#include "spool/seed_store.h"

namespace liron {

namespace {

constexpr int kMinuteHandedKept = 100;

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

// Takes the minute row seq out, keeping its amount in minute_handed; part of a transaction.
// The caller hands the amount on.
bool DropMinute(TSqliteDb& db, int64_t seq, std::string* key, double* hand, double* amount) {
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

TSpoolOutbox::TSpoolOutbox(TSpoolFile& file, TEventFIFO& events) : file_(file), events_(events) {}

void TSpoolOutbox::SetLimitDays(int32_t days) {
  TSpoolFile::Held f(file_);
  limit_records_ = static_cast<int64_t>(days < 1 ? 1 : days) * kSpoolRecordsPerDay;
}

bool TSpoolOutbox::AppendText(TSpoolFile::Held& f, TSpoolKind kind, TDateTime moment,
                              const std::string& sql) {
  TSqliteDb& db = f.Db();
  if (kind == TSpoolKind::kLastState) {
    TSqliteStmt drop(db, "DELETE FROM record WHERE kind=1");
    if (!drop.Run()) return false;
  }
  TSqliteStmt ins(db, "INSERT INTO record (kind, moment, text) VALUES (?, ?, ?)");
  ins.Bind(1, static_cast<int64_t>(kind)).Bind(2, moment).Bind(3, sql);
  return ins.Run();
}

bool TSpoolOutbox::AppendMinuteRow(TSpoolFile::Held& f, TDateTime moment, const TMinuteRow& row) {
  TSqliteDb& db = f.Db();
  int64_t seq = 0;
  TSqliteStmt find(db, "SELECT seq FROM record WHERE minute_key=?");
  find.Bind(1, row.Key);
  if (find.Step()) seq = find.Int(0);
  if (find.Failed()) return false;
  const std::string vals = EncodeValues(row.Values);
  bool ok = false;
  if (seq != 0) {
    TSqliteStmt up(db,
                   "UPDATE record SET moment=?, i_1t1=?, vals=?, counter=?, amount=?, "
                   "version=version+1 WHERE seq=?");
    up.Bind(1, moment).Bind(2, row.I_1T1).Bind(3, vals).Bind(4, row.CounterColumn);
    ok = up.Bind(5, row.CounterAmount).Bind(6, seq).Run();
  } else {
    TSqliteStmt handed(db, "SELECT amount FROM minute_handed WHERE minute_key=?");
    handed.Bind(1, row.Key);
    const double already = handed.Step() ? handed.Real(0) : 0.0;
    // A carry from a minute set aside goes to the first minute after it.
    double carry = f.MetaReal("carry_amount");
    if (carry != 0 && row.Key > f.MetaText("carry_after"))
      f.SetMeta("carry_amount", 0.0);
    else
      carry = 0;
    TSqliteStmt ins(db,
                    "INSERT INTO record (kind, moment, minute_key, i_1t1, vals, counter, amount, "
                    "carry_in, handed) VALUES (2, ?, ?, ?, ?, ?, ?, ?, ?)");
    ins.Bind(1, moment).Bind(2, row.Key).Bind(3, row.I_1T1).Bind(4, vals);
    ins.Bind(5, row.CounterColumn).Bind(6, row.CounterAmount).Bind(7, carry).Bind(8, already);
    ok = ins.Run();
  }
  if (ok) TSeedStore::NoteMinute(f, row);
  return ok;
}

bool TSpoolOutbox::AppendRun(TDateTime moment, const std::vector<TSpoolRecord>& records) {
  if (records.empty()) return true;
  TSpoolFile::Held f(file_);
  TSqliteDb& db = f.Db();
  if (!db.IsOpen()) return f.Fail();
  // One synced commit for the run: every record of it is on the disk when this returns, and
  // the write timer pays one sync a run rather than one a record.
  db.SetFullSync(true);
  bool ok = false;
  {
    TSqliteTransaction t(db);
    ok = t.Begun();
    for (size_t i = 0; ok && i < records.size(); ++i) {
      const TSpoolRecord& r = records[i];
      if (r.Kind == TSpoolKind::kMinute)
        ok = r.Minute != nullptr && AppendMinuteRow(f, moment, *r.Minute);
      else
        ok = AppendText(f, r.Kind, moment, r.Statement);
    }
    if (ok) Trim(f, moment);
    ok = ok && t.Commit();
    if (!ok) f.Fail();
  }
  db.SetFullSync(false);
  return ok;
}

bool TSpoolOutbox::AppendStatement(TDateTime moment, const std::string& sql) {
  return AppendRun(moment, {{TSpoolKind::kStatement, sql, nullptr}});
}

bool TSpoolOutbox::AppendLastState(TDateTime moment, const std::string& sql) {
  return AppendRun(moment, {{TSpoolKind::kLastState, sql, nullptr}});
}

bool TSpoolOutbox::AppendMinute(TDateTime moment, const TMinuteRow& row) {
  return AppendRun(moment, {{TSpoolKind::kMinute, std::string(), &row}});
}

void TSpoolOutbox::HandOn(TSpoolFile::Held& f, const std::string& key, double amount) {
  if (amount == 0 || std::isnan(amount)) return;
  TSqliteStmt next(f.Db(),
                   "SELECT seq FROM record WHERE kind=2 AND minute_key>? ORDER BY minute_key LIMIT 1");
  next.Bind(1, key);
  if (next.Step()) {
    TSqliteStmt up(f.Db(), "UPDATE record SET carry_in=carry_in+?, version=version+1 WHERE seq=?");
    up.Bind(1, amount).Bind(2, next.Int(0)).Run();
    return;
  }
  // No later minute waits yet: the next one stored takes it.
  f.SetMeta("carry_amount", f.MetaReal("carry_amount") + amount);
  const std::string after = f.MetaText("carry_after");
  if (key > after) f.SetMeta("carry_after", key);
}

void TSpoolOutbox::Trim(TSpoolFile::Held& f, TDateTime now) {
  TSqliteDb& db = f.Db();
  TSqliteStmt count(db, "SELECT count(*) FROM record");
  int64_t excess = count.Step() ? count.Int(0) - limit_records_ : 0;
  if (excess <= 0) return;
  int64_t minutes = 0;
  std::string last_key;
  // The oldest minute rows go first; each hands its counter amount on, so the plant's total
  // stays whole even when averages are lost.
  while (excess > 0) {
    TSqliteStmt oldest(db, "SELECT seq FROM record WHERE kind=2 ORDER BY seq LIMIT 1");
    if (!oldest.Step()) break;
    std::string key;
    double hand = 0, amount = 0;
    if (!DropMinute(db, oldest.Int(0), &key, &hand, &amount)) break;
    HandOn(f, key, hand);
    last_key = key;
    ++minutes;
    --excess;
  }
  int64_t others = 0;
  if (excess > 0) {
    TSqliteStmt drop(db,
                     "DELETE FROM record WHERE seq IN (SELECT seq FROM record ORDER BY seq LIMIT ?)");
    drop.Bind(1, excess).Run();
    others = db.Changes();
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

std::vector<TSpoolItem> TSpoolOutbox::Peek(int max) {
  TSpoolFile::Held f(file_);
  std::vector<TSpoolItem> out;
  TSqliteStmt s(f.Db(),
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
  if (s.Failed()) f.Fail();
  return out;
}

namespace {

bool DeleteConfirmed(TSpoolFile::Held& f, const std::vector<TSpoolItem>& confirmed) {
  TSqliteTransaction t(f.Db());
  if (!t.Begun()) return f.Fail();
  TSqliteStmt del(f.Db(), "DELETE FROM record WHERE seq=? AND version=?");
  for (const TSpoolItem& item : confirmed) {
    del.Reset();
    if (!del.Bind(1, item.Seq).Bind(2, item.Version).Run()) return f.Fail();
  }
  return t.Commit() || f.Fail();
}

}  // namespace

bool TSpoolOutbox::Remove(const std::vector<TSpoolItem>& confirmed) {
  if (confirmed.empty()) return true;
  TSpoolFile::Held f(file_);
  if (unsettled_.empty() && DeleteConfirmed(f, confirmed)) return true;
  const bool first = unsettled_.empty();
  unsettled_.insert(unsettled_.end(), confirmed.begin(), confirmed.end());
  if (first)
    events_.PostEvent("*** Буфер записей: записи, принятые сервером, не удалось снять из буфера (" +
                      f.Db().LastError() + "): передача остановлена ***");
  return false;
}

bool TSpoolOutbox::Settle() {
  TSpoolFile::Held f(file_);
  if (unsettled_.empty()) return true;
  if (!DeleteConfirmed(f, unsettled_)) return false;
  unsettled_.clear();
  events_.PostEvent("*** Буфер записей: принятые сервером записи сняты, передача продолжена ***");
  return true;
}

bool TSpoolOutbox::SetAside(const TSpoolItem& item, const std::string& statement,
                            const std::string& error) {
  TSpoolFile::Held f(file_);
  TSqliteDb& db = f.Db();
  TSqliteTransaction t(db);
  if (!t.Begun()) return f.Fail();
  if (item.Kind == TSpoolKind::kMinute) {
    std::string key;
    double hand = 0, amount = 0;
    if (DropMinute(db, item.Seq, &key, &hand, &amount)) HandOn(f, key, hand);
  } else {
    TSqliteStmt del(db, "DELETE FROM record WHERE seq=?");
    del.Bind(1, item.Seq).Run();
  }
  TSqliteStmt ins(db, "INSERT INTO set_aside (moment, statement, error) VALUES (?, ?, ?)");
  if (!ins.Bind(1, item.Moment).Bind(2, statement).Bind(3, error).Run()) return f.Fail();
  TSqliteStmt bound(db, "DELETE FROM set_aside WHERE id <= (SELECT max(id) FROM set_aside) - ?");
  bound.Bind(1, static_cast<int64_t>(kSetAsideKept)).Run();
  return t.Commit() || f.Fail();
}

TSpoolDepth TSpoolOutbox::Depth() {
  TSpoolFile::Held f(file_);
  TSpoolDepth d;
  TSqliteStmt s(f.Db(), "SELECT count(*), min(moment) FROM record");
  if (s.Step()) {
    d.Records = s.Int(0);
    d.Oldest = s.IsNull(1) ? 0 : s.Real(1);
  }
  return d;
}

bool TSpoolOutbox::Empty() {
  TSpoolFile::Held f(file_);
  if (!f.Db().IsOpen()) return true;
  TSqliteStmt s(f.Db(), "SELECT 1 FROM record LIMIT 1");
  return !s.Step();
}

std::vector<TSetAsideRecord> TSpoolOutbox::SetAsideList() {
  TSpoolFile::Held f(file_);
  std::vector<TSetAsideRecord> out;
  TSqliteStmt s(f.Db(), "SELECT moment, statement, error FROM set_aside ORDER BY id");
  while (s.Step()) out.push_back({s.Real(0), s.Text(1), s.Text(2)});
  return out;
}

}  // namespace liron
