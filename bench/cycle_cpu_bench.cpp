// CPU time of one control cycle on the largest plan (90 rows): TranslateIn, UpdateStateRecord,
// CalcWorks and Update_PAF_record on a process image, as the control thread runs them, with
// the statements only queued (no database). The clock moves 980 ms a cycle, so the per-minute
// row is inserted by the first cycle of each minute and updated by the others. Target: well
// under 1 ms of CPU a cycle.
#include <benchmark/benchmark.h>

#include <optional>

#include "cycle_plan.h"
#include "db/records.h"
#include "db/sql_queues.h"
#include "platform/event_fifo.h"
#include "platform/fake_clock.h"
#include "signals/calc_works.h"
#include "signals/calibration.h"

namespace liron {
namespace {

void BM_ControlCycleCpu(benchmark::State& state) {
  FakeClock clock(46000.5);
  TProcessImage img(clock);
  TEventFIFO events(1000, clock);
  bench::BuildPlantPlan(img);
  TRecordState records;
  records.StateRowChecked = true;  // the row count is the select queue's, once per run
  std::optional<TSqlQueues> queues;
  int64_t k = 0, failed = 0;
  for (auto _ : state) {
    // The write queue takes 100 statements; the GUI thread empties it every 100 ms.
    if (k % 40 == 0) queues.emplace(events);
    bench::EmulateReadings(img, k);
    const bool ok = TranslateIn(img, events) && UpdateStateRecord(img, records, *queues, events) &&
                    CalcWorks(img, events) && Update_PAF_record(img, records, *queues, events);
    if (!ok) ++failed;
    clock.Advance(980);
    ++k;
  }
  state.counters["failed"] = static_cast<double>(failed);
  state.counters["rows"] = bench::kPlanRows;
}
BENCHMARK(BM_ControlCycleCpu)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace liron

BENCHMARK_MAIN();
