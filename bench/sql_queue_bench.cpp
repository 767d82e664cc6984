// How fast the write queue drains on a local server: the station needs 120 statements a
// second (12 per 100 ms run) with room to spare; and the cost of the SQL text of numbers.
#include <benchmark/benchmark.h>

#include "db/sql_queues.h"
#include "db/sql_text.h"
#include "platform/fake_clock.h"
#include "support/test_db.h"

namespace liron {
namespace {

void BM_WriteQueueRunOfTwelveInserts(benchmark::State& state) {
  auto& db = test::TestDb::Get();
  if (!db.Ready()) {
    state.SkipWithError(db.Error().c_str());
    return;
  }
  db.ResetTables();
  FakeClock clock;
  TEventFIFO events(400, clock);
  TSqlQueues queues(events);
  TMySQLConnection conn;
  if (!db.Open(conn)) {
    state.SkipWithError("cannot connect");
    return;
  }
  int64_t statements = 0;
  for (auto _ : state) {
    for (int i = 0; i < kStatementsPerRun; ++i)
      queues.QueueSQL("insert into control_log (RecMoment, NPP, MessageText, MessageKind) "
                      "VALUES(Now(), " + std::to_string(i) + ", 'Новое задание: Плотность=1.45', NULL)");
    statements += queues.RunWriteQueue(conn);
  }
  state.counters["statements/s"] =
      benchmark::Counter(static_cast<double>(statements), benchmark::Counter::kIsRate);
  db.ResetTables();
}
BENCHMARK(BM_WriteQueueRunOfTwelveInserts)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SqlNumber(benchmark::State& state) {
  double x = 1.4567;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SqlNumber(x));
    x += 0.001;
  }
}
BENCHMARK(BM_SqlNumber);

}  // namespace
}  // namespace liron

BENCHMARK_MAIN();
