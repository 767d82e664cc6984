// The control cycle's own arithmetic on the largest plan it runs (90 rows): translation through
// full calibration tables (511 points, searched unsorted every time), the averages and flags
// (each average summed over its ring, up to the longest AverageLen of 3600), and the text of
// both process records. All of it must stay a small part of the 980 ms cycle.
#include <benchmark/benchmark.h>

#include "db/records.h"
#include "db/sql_queues.h"
#include "platform/fake_clock.h"
#include "signals/calc_works.h"
#include "signals/calibration.h"

namespace liron {
namespace {

constexpr int kRows = 90;

void BuildPlan(TProcessImage& img, int points) {
  img.Signals.clear();
  img.SignalNames.clear();
  for (int i = 0; i < kRows; ++i) {
    TSignalSet s;
    s.BusName = "JUMO";
    s.SignalName = i == 0 ? "PLS" : i == 1 ? "TNK1" : "S" + std::to_string(i);
    s.Direction = "READ";
    s.CalibCount = points;
    for (int k = 0; k < points; ++k) {
      s.AVal[k] = (k * 37) % points;  // stored out of order, as the lookup allows
      s.FVal[k] = 2.0 * s.AVal[k];
    }
    img.Signals.push_back(s);
    img.SignalNames.push_back(s.SignalName);
    img.RawValues.Set(i, 0.37 * points);
  }
  img.SignalCount = kRows;
  img.EnsureAverages(kRows);
  img.ResetAverages();
}

void BM_CalibrateValue(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  TSignalSet t;
  t.CalibCount = points;
  for (int k = 0; k < points; ++k) {
    t.AVal[k] = (k * 37) % points;
    t.FVal[k] = 2.0 * t.AVal[k];
  }
  double raw = 0.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CalibrateValue(raw, &t));
    raw += 0.25;
    if (raw > points) raw = 0.5;
  }
}
BENCHMARK(BM_CalibrateValue)->Arg(2)->Arg(16)->Arg(511);

void BM_TranslateAndCalc(benchmark::State& state) {
  FakeClock clock;
  TProcessImage img(clock);
  TEventFIFO events(100, clock);
  TSettings s = img.Settings();
  s.AverageLen = static_cast<int32_t>(state.range(1));
  img.SetSettings(s);
  BuildPlan(img, static_cast<int>(state.range(0)));
  // Full rings: every sample sums the whole of its ring.
  for (int i = 0; i < s.AverageLen; ++i) CalcWorks(img, events);
  for (auto _ : state) {
    benchmark::DoNotOptimize(TranslateIn(img, events));
    benchmark::DoNotOptimize(CalcWorks(img, events));
  }
}
// Calibration points, AverageLen.
BENCHMARK(BM_TranslateAndCalc)
    ->Args({2, 60})
    ->Args({511, 60})
    ->Args({2, 3600})
    ->Unit(benchmark::kMicrosecond);

void BM_RecordStatements(benchmark::State& state) {
  FakeClock clock;
  TProcessImage img(clock);
  TEventFIFO events(100, clock);
  BuildPlan(img, 2);
  TRecordState records;
  records.StateRowChecked = true;
  for (auto _ : state) {
    TSqlQueues queues(events);
    benchmark::DoNotOptimize(UpdateStateRecord(img, records, queues, events));
    benchmark::DoNotOptimize(Update_PAF_record(img, records, queues, events));
  }
}
BENCHMARK(BM_RecordStatements)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace liron

BENCHMARK_MAIN();
