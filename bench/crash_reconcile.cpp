#include "crash_reconcile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "support/test_db.h"

namespace liron::crash {
namespace {

// "yyyy-mm-dd hh:nn:ss" as seconds on a clock without summer time, for differences; -1 when
// the text is no such moment.
long long MomentSeconds(const std::string& text) {
  std::tm tm{};
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                  &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
    return -1;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<long long>(timegm(&tm));
}

std::string MomentText(long long seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

struct MinuteRow {
  std::string Key;
  double I = NAN, G = NAN;
};

std::vector<MinuteRow> MinuteRows() {
  std::vector<MinuteRow> out;
  const TSqlRows rows =
      test::TestDb::Get().Query("select RecMoment, I_1T1, G_1T1 from pu_data order by RecMoment");
  for (const auto& r : rows.Rows) {
    MinuteRow m;
    m.Key = r[0].Text;
    r[1].AsDouble(&m.I);
    r[2].AsDouble(&m.G);
    out.push_back(m);
  }
  return out;
}

void CheckMinutes(const std::vector<MinuteRow>& rows, ReconcileResult* res) {
  std::map<long long, int> seen;  // whole minutes and their rows
  for (const MinuteRow& m : rows) {
    const long long s = MomentSeconds(m.Key);
    if (s < 0 || s % 60 != 0) {
      ++res->OffMinuteRows;
      continue;
    }
    ++seen[s];
  }
  std::vector<std::string> missing;
  if (!seen.empty()) {
    const long long first = seen.begin()->first, last = seen.rbegin()->first;
    res->MinutesExpected = (last - first) / 60 + 1;
    for (long long s = first; s <= last; s += 60)
      if (!seen.count(s)) missing.push_back(MomentText(s));
  }
  for (const auto& [s, n] : seen) res->MinutesDoubled += n > 1 ? n - 1 : 0;
  res->MinutesPresent = static_cast<long long>(seen.size());
  res->MinutesMissing = static_cast<long long>(missing.size());
  std::printf("pu_data: %lld minutes expected from %s to %s, %lld present, %lld missing, "
              "%lld doubled, %lld rows off a whole minute\n",
              res->MinutesExpected, rows.empty() ? "-" : rows.front().Key.c_str(),
              rows.empty() ? "-" : rows.back().Key.c_str(), res->MinutesPresent,
              res->MinutesMissing, res->MinutesDoubled, res->OffMinuteRows);
  for (size_t i = 0; i < missing.size() && i < 10; ++i)
    std::printf("  missing minute %s\n", missing[i].c_str());
  if (res->MinutesExpected < 2) res->Failures.push_back("fewer than two minutes recorded");
  if (res->MinutesMissing) res->Failures.push_back("minutes missing in pu_data");
  if (res->MinutesDoubled) res->Failures.push_back("minutes doubled in pu_data");
  if (res->OffMinuteRows) res->Failures.push_back("pu_data rows off a whole minute");
}

void CheckTotaliser(const std::vector<MinuteRow>& rows, const ReconcileInput& in,
                    ReconcileResult* res) {
  if (rows.size() < 2) return;  // CheckMinutes has said so
  int gaps = 0, backwards = 0;
  double booked = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (std::isnan(rows[i].I) || std::isnan(rows[i].G)) ++gaps;
    if (i > 0 && rows[i].I < rows[i - 1].I) ++backwards;
    if (i > 0 && !std::isnan(rows[i].G)) booked += rows[i].G;
  }
  const double first = rows.front().I, last = rows.back().I;
  const double from_counter = in.CounterFactor * (last - first);
  res->Booked = booked;
  res->FromCounter = from_counter;
  const double rel = std::fabs(booked - from_counter) / std::max(std::fabs(from_counter), 1e-300);
  std::printf("G_1T1: %.6f booked in rows 2..%zu; %.6f = %g x (I_1T1 %.0f - %.0f) from the "
              "counter; relative difference %.3g; %d rows without I_1T1 or G_1T1, the counter "
              "went back %d times\n",
              booked, rows.size(), from_counter, in.CounterFactor, last, first, rel, gaps,
              backwards);
  if (gaps) res->Failures.push_back("pu_data rows without I_1T1 or G_1T1");
  // The counter starts far below its wrap and steps by a few hundred: it never goes back here.
  if (backwards) res->Failures.push_back("I_1T1 went back");
  if (!(from_counter > 0)) res->Failures.push_back("the counter did not move");
  if (!(rel <= 1e-9)) res->Failures.push_back("G_1T1 booked differs from the counter's increase");

  // Over all rows, against the readings handed out: the station's first reading is its base
  // and books nothing, so everything booked is the counter's increase from that reading to
  // the last row's. (Off by whole steps only when the very first reading was on the wire as
  // the daemon was killed, the daemon then never having seen it.)
  const std::vector<long long>& h = in.Handed;
  double all = 0;
  for (const MinuteRow& m : rows) all += std::isnan(m.G) ? 0 : m.G;
  const double from_first =
      h.empty() ? NAN : in.CounterFactor * (last - static_cast<double>(h.front()));
  res->BookedAll = all;
  res->FromFirstReading = from_first;
  const double rel_all = std::fabs(all - from_first) / std::max(std::fabs(from_first), 1e-300);
  std::printf("G_1T1: %.6f booked in all %zu rows; %.6f = %g x (I_1T1 %.0f - %lld, the first "
              "reading handed out); %.6g counter units apart\n",
              all, rows.size(), from_first, in.CounterFactor, last, h.empty() ? 0LL : h.front(),
              (all - from_first) / in.CounterFactor);
  if (!(rel_all <= 1e-9))
    res->Failures.push_back("G_1T1 booked in all rows differs from the counter's increase");

  const bool last_handed = std::find(h.begin(), h.end(), static_cast<long long>(last)) != h.end();
  const bool first_handed = std::find(h.begin(), h.end(), static_cast<long long>(first)) != h.end();
  std::printf("v120-sim: %zu readings handed out, %lld to %lld; the first row's I_1T1 %s one of "
              "them, the last row's %s\n",
              h.size(), h.empty() ? 0LL : h.front(), h.empty() ? 0LL : h.back(),
              first_handed ? "is" : "is NOT", last_handed ? "is" : "is NOT");
  if (!first_handed || !last_handed)
    res->Failures.push_back("I_1T1 holds a reading v120-sim never handed out");
  if (!h.empty() && last > static_cast<double>(h.back()))
    res->Failures.push_back("the last I_1T1 lies beyond the last reading handed out");
}

void CheckJournal(ReconcileResult* res) {
  test::TestDb& db = test::TestDb::Get();
  int64_t rows = -1;
  TSqlValue::Of(db.Scalar("select count(*) from control_log")).AsInt(&rows);
  res->JournalRows = rows;
  const TSqlRows dup = db.Query(
      "select RecMoment, NPP, MessageText collate utf8mb4_bin as t, count(*) as n "
      "from control_log group by RecMoment, NPP, t having n > 1 order by RecMoment, NPP");
  long long extra = 0;
  for (const auto& r : dup.Rows) {
    int64_t n = 0;
    r[3].AsInt(&n);
    extra += n - 1;
  }
  res->JournalDuplicates = extra;
  std::printf("control_log: %lld records, %zu (RecMoment, NPP, MessageText) written more than "
              "once, %lld extra records\n",
              res->JournalRows, dup.Rows.size(), extra);
  for (size_t i = 0; i < dup.Rows.size() && i < 8; ++i)
    std::printf("  %s NPP %s x%s: %s\n", dup.Rows[i][0].Text.c_str(), dup.Rows[i][1].Text.c_str(),
                dup.Rows[i][3].Text.c_str(), dup.Rows[i][2].Text.c_str());
  if (res->JournalRows <= 0) res->Failures.push_back("the journal is empty");
  if (extra) res->Failures.push_back("journal records written twice");
}

}  // namespace

ReconcileResult Reconcile(const ReconcileInput& in) {
  ReconcileResult res;
  const std::string state_rows = test::TestDb::Get().Scalar("select count(*) from last_state");
  std::printf("last_state: %s row(s), RecMoment %.0f s before the daemon's end\n",
              state_rows.c_str(), in.StateAge);
  if (state_rows != "1") res.Failures.push_back("last_state does not hold exactly one row");
  if (!(in.StateAge <= 5)) res.Failures.push_back("last_state is not current");

  std::printf("spool: %lld records left, %lld statements set aside\n", in.SpoolRecords,
              in.SpoolSetAside);
  if (in.SpoolRecords != 0) res.Failures.push_back("records left in the spool");
  if (in.SpoolSetAside != 0) res.Failures.push_back("statements set aside in the spool");

  const std::vector<MinuteRow> rows = MinuteRows();
  CheckMinutes(rows, &res);
  CheckTotaliser(rows, in, &res);
  CheckJournal(&res);
  return res;
}

}  // namespace liron::crash
