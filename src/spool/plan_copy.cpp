#include "spool/plan_copy.h"

#include <algorithm>

#include "db/signal_loader.h"

namespace liron {

namespace {

bool SameRow(const TSignalSet& a, const TSignalSet& b) {
  return a.BusName == b.BusName && a.SignalName == b.SignalName && a.DevNum == b.DevNum &&
         a.Addr == b.Addr && a.Kind == b.Kind && a.InverseBytes == b.InverseBytes &&
         a.InverseWords == b.InverseWords && a.Direction == b.Direction &&
         a.CalibCount == b.CalibCount &&
         std::equal(a.AVal.begin(), a.AVal.begin() + std::clamp(a.CalibCount, 0, kMaxCalibPoints),
                    b.AVal.begin()) &&
         std::equal(a.FVal.begin(), a.FVal.begin() + std::clamp(a.CalibCount, 0, kMaxCalibPoints),
                    b.FVal.begin());
}

}  // namespace

bool SamePlan(const TPlanCopy& a, const TPlanCopy& b) {
  auto sa = a.Setup, sb = b.Setup;  // the copy gives them back by name
  std::sort(sa.begin(), sa.end());
  std::sort(sb.begin(), sb.end());
  return sa == sb && std::equal(a.Signals.begin(), a.Signals.end(), b.Signals.begin(),
                                          b.Signals.end(), SameRow);
}

bool TPlanCopyStore::Save(const TPlanCopy& plan, std::string* error) {
  TSpoolFile::Held f(file_);
  TSqliteDb& db = f.Db();
  TSqliteTransaction t(db);
  bool ok = t.Begun() && db.Exec("DELETE FROM plan_signal; DELETE FROM plan_kalibr; "
                                 "DELETE FROM plan_setup",
                                 nullptr);
  TSqliteStmt row(db, "INSERT INTO plan_signal VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  TSqliteStmt point(db, "INSERT INTO plan_kalibr VALUES (?, ?, ?, ?)");
  for (size_t r = 0; ok && r < plan.Signals.size(); ++r) {
    const TSignalSet& s = plan.Signals[r];
    const auto i = static_cast<int64_t>(r);
    row.Reset();
    row.Bind(1, i).Bind(2, s.BusName).Bind(3, s.SignalName).Bind(4, int64_t{s.DevNum});
    row.Bind(5, int64_t{s.Addr}).Bind(6, int64_t{s.Kind}).Bind(7, int64_t{s.InverseBytes});
    ok = row.Bind(8, int64_t{s.InverseWords}).Bind(9, s.Direction).Run();
    for (int p = 0; ok && p < std::clamp(s.CalibCount, 0, kMaxCalibPoints); ++p) {
      point.Reset();
      ok = point.Bind(1, i).Bind(2, int64_t{p}).Bind(3, s.AVal[p]).Bind(4, s.FVal[p]).Run();
    }
  }
  TSqliteStmt setup(db, "INSERT OR REPLACE INTO plan_setup VALUES (?, ?)");
  for (const auto& [name, value] : plan.Setup) {
    if (!ok) break;
    setup.Reset();
    ok = setup.Bind(1, name).Bind(2, value).Run();
  }
  ok = ok && f.SetMeta("plan_saved", plan.Saved) && t.Commit();
  if (!ok && error) *error = db.LastError();
  return ok;
}

TPlanCopyRead TPlanCopyStore::Load(TPlanCopy* plan, std::string* error) {
  TSpoolFile::Held f(file_);
  TSqliteDb& db = f.Db();
  TSqliteStmt saved(db, "SELECT value FROM meta WHERE name='plan_saved'");
  if (!saved.Step()) {
    if (!saved.Failed()) return TPlanCopyRead::kNone;
    if (error) *error = db.LastError();
    return TPlanCopyRead::kUnreadable;
  }
  TPlanCopy copy;
  copy.Saved = saved.Real(0);
  TSqliteStmt rows(db,
                   "SELECT bus, name, dev_num, addr, kind, inverse_bytes, inverse_words, "
                   "direction FROM plan_signal ORDER BY row");
  while (rows.Step()) {
    TSignalSet s;
    s.BusName = rows.Text(0);
    s.SignalName = rows.Text(1);
    s.DevNum = static_cast<int32_t>(rows.Int(2));
    s.Addr = static_cast<uint16_t>(rows.Int(3));
    s.Kind = static_cast<int32_t>(rows.Int(4));
    s.InverseBytes = rows.Int(5) != 0;
    s.InverseWords = rows.Int(6) != 0;
    s.Direction = rows.Text(7);
    copy.Signals.push_back(std::move(s));
  }
  TSqliteStmt points(db, "SELECT row, point, aval, fval FROM plan_kalibr ORDER BY row, point");
  while (points.Step()) {
    const int64_t r = points.Int(0), p = points.Int(1);
    if (r < 0 || r >= static_cast<int64_t>(copy.Signals.size()) || p < 0 || p >= kMaxCalibPoints)
      continue;
    TSignalSet& s = copy.Signals[static_cast<size_t>(r)];
    s.AVal[static_cast<size_t>(p)] = points.Real(2);
    s.FVal[static_cast<size_t>(p)] = points.Real(3);
    s.CalibCount = std::max<int32_t>(s.CalibCount, static_cast<int32_t>(p + 1));
  }
  TSqliteStmt setup(db, "SELECT name, value FROM plan_setup ORDER BY name");
  while (setup.Step()) copy.Setup.emplace_back(setup.Text(0), setup.Real(1));
  if (rows.Failed() || points.Failed() || setup.Failed()) {
    if (error) *error = db.LastError();
    return TPlanCopyRead::kUnreadable;
  }
  // The file may have been edited, or written before the names were checked: a row whose
  // name cannot stand as a column is refused here as at the server's load.
  std::erase_if(copy.Signals,
                [&](const TSignalSet& s) { return !AcceptSignalName(s.SignalName, events_); });
  *plan = std::move(copy);
  return TPlanCopyRead::kLoaded;
}

}  // namespace liron
