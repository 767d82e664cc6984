// CPU time of one control cycle on the largest plan (90 rows): TranslateIn, UpdateStateRecord,
// CalcWorks and Update_PAF_record on a process image, as the control thread runs them, with
// the statements only queued (no database). The clock moves 980 ms a cycle, so the per-minute
// row is inserted by the first cycle of each minute and updated by the others. Target: well
// under 1 ms of CPU a cycle. Beside it the same cycle with the server away: the write timer's
// pass then moves the cycle's records into the local spool on disk (one pass a cycle does it
// all; the timer's other passes find nothing).
#include <benchmark/benchmark.h>

#include <optional>

#include "cycle_plan.h"
#include "db/records.h"
#include "db/sql_queues.h"
#include "platform/event_fifo.h"
#include "platform/fake_clock.h"
#include "signals/calc_works.h"
#include "signals/calibration.h"
#include "spool/spool.h"
#include "spool/write_pass.h"
#include "support/temp_dir.h"

namespace liron {
namespace {

// The image, the records' state and the queues of a control thread on the largest plan.
struct CyclePlant {
  FakeClock clock{46000.5};
  TProcessImage img{clock};
  TEventFIFO events{1000, clock};
  TRecordState records;
  std::optional<TSqlQueues> queues;
  int64_t k = 0, failed = 0;
  CyclePlant() {
    queues.emplace(events);
    bench::BuildPlantPlan(img);
    records.StateRowChecked = true;  // the row count is the select queue's, once per run
  }
  // One cycle's steps; the clock then moves on to the next cycle.
  void Cycle() {
    bench::EmulateReadings(img, k);
    const bool ok = TranslateIn(img, events) && UpdateStateRecord(img, records, *queues, events) &&
                    CalcWorks(img, events) && Update_PAF_record(img, records, *queues, events);
    if (!ok) ++failed;
    clock.Advance(980);
    ++k;
  }
  void Report(benchmark::State& state) const {
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["rows"] = bench::kPlanRows;
  }
};

void BM_ControlCycleCpu(benchmark::State& state) {
  CyclePlant plant;
  for (auto _ : state) {
    // The write queue takes 100 statements; the GUI thread empties it every 100 ms.
    if (plant.k % 40 == 0) plant.queues.emplace(plant.events);
    plant.Cycle();
  }
  plant.Report(state);
}
BENCHMARK(BM_ControlCycleCpu)->Unit(benchmark::kMicrosecond);

void BM_ControlCycleCpuServerAway(benchmark::State& state) {
  CyclePlant plant;
  test::TempDir dir;
  TSpool spool(plant.events);
  if (!spool.Open(dir.File(kSpoolFileName), nullptr)) {
    state.SkipWithError("cannot open the spool");
    return;
  }
  plant.queues->AttachSpool(&spool);
  plant.records.Spool = &spool;
  TMySQLConnection away;  // never opened: the server is not there
  for (auto _ : state) {
    plant.Cycle();
    PassWrites(*plant.queues, spool, away, plant.events, plant.clock.Now());
  }
  plant.Report(state);
  state.counters["spooled"] = static_cast<double>(spool.Outbox().Depth().Records);
}
BENCHMARK(BM_ControlCycleCpuServerAway)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace liron

BENCHMARK_MAIN();
