// The local spool: how fast a spool left by an outage drains into the private server once it
// is back (statements per second; the station makes about one minute row, one last_state and a
// few journal records a minute, and must catch up a day's outage in minutes), and what keeping
// a cycle's minute row on disk costs while the server is away.
#include <benchmark/benchmark.h>

#include <string>

#include "db/records.h"
#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "spool/forward.h"
#include "spool/spool.h"
#include "support/temp_dir.h"
#include "support/test_db.h"

namespace liron {
namespace {

TMinuteRow PlantMinute(const std::string& key, double k) {
  TMinuteRow row{key, 1250000 + k, {}, "G_1T1", 0.25 + k * 1e-3};
  row.Values = {{"PLS", 1.5 + k * 1e-4}, {"TNK1", 60}, {"PLS2", 1.47}, {"TNK2", 52},
                {"_PLSZ", 1.55},         {"_URNSZ", 65}, {"RAB", 1},   {"RN", 1},
                {"V1", 62},              {"BKK3", 1}};
  return row;
}

// A spool of its own in a temporary folder, on the fake clock.
struct BenchSpool {
  FakeClock clock{EncodeDateTime(2024, 3, 5, 0, 0, 0)};
  TEventFIFO events{400, clock};
  test::TempDir dir;
  TSpool spool{events};
  // False (the benchmark skipped) when the file cannot be opened.
  bool Open(benchmark::State& state) {
    if (spool.Open(dir.File(kSpoolFileName), nullptr)) return true;
    state.SkipWithError("cannot open the spool");
    return false;
  }
};

// An hour of outage a round: 60 minute rows, each with two journal records, then the newest
// last_state; forwarded batch by batch as the write timer does.
void BM_SpoolForwardOutageHour(benchmark::State& state) {
  auto& db = test::TestDb::Get();
  TMySQLConnection conn;
  if (!db.Ready() || !db.Open(conn)) {
    state.SkipWithError(db.Ready() ? "cannot connect" : db.Error().c_str());
    return;
  }
  db.ResetTables();
  db.Exec("insert into last_state (RecMoment) values (Now())");
  BenchSpool b;
  if (!b.Open(state)) return;
  FakeClock& clock = b.clock;
  TEventFIFO& events = b.events;
  TSpoolOutbox& spool = b.spool.Outbox();
  int64_t records = 0, statements = 0, round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int m = 0; m < 60; ++m) {
      const TDateTime t = clock.Now();
      const std::string moment = FormatDateTime("yyyy-mm-dd hh:nn:ss", t);
      for (int j = 0; j < 2; ++j)
        spool.AppendStatement(t, "insert into control_log (RecMoment, NPP, MessageText, MessageKind) "
                                 "VALUES('" + moment + "', " + std::to_string(j) +
                                 ", '*** Сбой опроса модуля JUMO 2: Нет ответа от контроллера. "
                                 "Проверте аппаратуру. ***', NULL)");
      spool.AppendMinute(t, PlantMinute(MinuteKey(t), static_cast<double>(round * 60 + m)));
      clock.Advance(60000);
    }
    spool.AppendLastState(clock.Now(), "UPDATE last_state SET RecMoment='" +
                                           FormatDateTime("yyyy-mm-dd hh:nn:ss", clock.Now()) +
                                           "', I_1T1=1250000, PLS=1.5, TNK1=60");
    state.ResumeTiming();
    while (spool.Depth().Records > 0) {
      const TForwardResult r = ForwardSpool(spool, conn, events);
      if (r.Held || r.SetAside > 0) {
        state.SkipWithError("the server did not take the spool");
        return;
      }
      records += r.Sent;
    }
    ++round;
  }
  // A new minute row is an UPDATE that finds nothing and then the INSERT.
  statements = records + round * 60;
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["statements/s"] =
      benchmark::Counter(static_cast<double>(statements), benchmark::Counter::kIsRate);
  db.ResetTables();
}
BENCHMARK(BM_SpoolForwardOutageHour)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One cycle's minute row stored while the server is away: the row of the current minute
// replaced, a new minute (synced to the disk) once in sixty cycles.
void BM_SpoolAppendMinuteRow(benchmark::State& state) {
  BenchSpool b;
  if (!b.Open(state)) return;
  FakeClock& clock = b.clock;
  TSpoolOutbox& spool = b.spool.Outbox();
  int64_t k = 0;
  for (auto _ : state) {
    const TDateTime t = clock.Now();
    if (!spool.AppendMinute(t, PlantMinute(MinuteKey(t), static_cast<double>(k)))) {
      state.SkipWithError(b.spool.LastError().c_str());
      return;
    }
    clock.Advance(980);
    ++k;
  }
}
BENCHMARK(BM_SpoolAppendMinuteRow)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace liron

BENCHMARK_MAIN();
