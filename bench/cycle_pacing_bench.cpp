// Pacing of the control cycle on the machine's own clock: ControlLoop's cycle (ControlCycle:
// the steps, the 50 ms breather, PaceCycle to 980 ms from the cycle's start) driven for a
// number of cycles on a 90-row plan with emulated readings, its statements only queued. The
// thread asks for the control thread's priority, as the service does. Reported: median period
// between cycle starts and the 99th percentile of its deviation from 980 ms.
//
//   cycle_pacing_bench [--cycles=N] [--normal-policy] [benchmark flags]
//     --cycles=N        cycles to run (default 61, about 60 s)
//     --normal-policy   stay at the normal policy, as a service without the right to SCHED_FIFO
#include <benchmark/benchmark.h>

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cycle_plan.h"
#include "db/records.h"
#include "db/sql_queues.h"
#include "engine/control_loop.h"
#include "engine/control_plant.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"
#include "platform/pacing.h"
#include "platform/recording_operator.h"
#include "platform/threads.h"
#include "signals/calc_works.h"
#include "signals/calibration.h"

namespace liron {
namespace {

int g_cycles = 61;
bool g_normal_policy = false;

// The cycle's steps on the image; the polling threads are played by EmulateReadings.
class EmulatedPlant : public ControlPlant {
 public:
  EmulatedPlant(TProcessImage& img, TEventFIFO& events) : img_(img), events_(events) {
    records_.StateRowChecked = true;
  }
  void CopyConnectionParams() override {}
  bool OpenWork() override { return true; }
  bool WorkConnected() override { return true; }
  void CloseWork() override {}
  bool StartWorkCheck() override { return true; }
  WorkCheck LastWorkCheck() override { return {0, true}; }
  void Journal(const std::string&) override {}
  bool JournalAt(TDateTime, const std::string&) override { return true; }
  void LoadSetupConsts() override {}
  LineStart OpenJumoLine(std::string*) override { return LineStart::Open; }
  LineStart OpenV120Link(std::string*) override { return LineStart::Open; }
  void StartPolling() override {}
  void StopPollingAndCloseLines() override {}
  bool TranslateIn() override {
    if (k_ % 40 == 0) queues_.emplace(events_);  // the GUI thread's share: empty the queue
    return liron::TranslateIn(img_, events_);
  }
  bool UpdateStateRecord() override {
    return liron::UpdateStateRecord(img_, records_, *queues_, events_);
  }
  bool CalcWorks() override { return liron::CalcWorks(img_, events_); }
  bool ReadControlVector() override { return true; }
  bool UpdatePafRecord() override {
    ++k_;
    return Update_PAF_record(img_, records_, *queues_, events_);
  }
  int64_t cycles() const { return k_; }

 private:
  TProcessImage& img_;
  TEventFIFO& events_;
  TRecordState records_;
  std::optional<TSqlQueues> queues_;
  int64_t k_ = 0;
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const double pos = p * static_cast<double>(v.size() - 1);
  const size_t lo = static_cast<size_t>(std::floor(pos));
  const size_t hi = std::min(lo + 1, v.size() - 1);
  return v[lo] + (v[hi] - v[lo]) * (pos - static_cast<double>(lo));
}

void BM_PacedControlCycle(benchmark::State& state) {
  Clock& clock = SystemClock();
  TProcessImage img(clock);
  TEventFIFO events(1000, clock);
  RecordingOperator op;
  bench::BuildPlantPlan(img);
  EmulatedPlant plant(img, events);
  if (!g_normal_policy) SetCurrentThreadPriority(ThreadPriority::TimeCritical);
  const bool fifo = sched_getscheduler(0) == SCHED_FIFO;

  std::vector<std::chrono::steady_clock::time_point> starts;
  starts.reserve(static_cast<size_t>(g_cycles) + 1);
  int64_t k = 0;
  for (auto _ : state) {
    bench::EmulateReadings(img, k++);
    starts.push_back(std::chrono::steady_clock::now());
    ControlCycle(img, plant, events, op);
  }
  starts.push_back(std::chrono::steady_clock::now());

  std::vector<double> periods, deviations;
  for (size_t i = 1; i < starts.size(); ++i) {
    const double ms = std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count();
    periods.push_back(ms);
    deviations.push_back(std::fabs(ms - kCyclePeriodMs));
  }
  state.counters["median_period_ms"] = Percentile(periods, 0.5);
  state.counters["p99_dev_ms"] = Percentile(deviations, 0.99);
  state.counters["max_dev_ms"] = Percentile(deviations, 1.0);
  state.counters["failed_cycles"] = img.CycleErrorCounter.load();
  state.counters["sched_fifo"] = fifo ? 1 : 0;
}

}  // namespace
}  // namespace liron

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--cycles=", 9) == 0) {
      liron::g_cycles = std::max(2, std::atoi(argv[i] + 9));
    } else if (std::strcmp(argv[i], "--normal-policy") == 0) {
      liron::g_normal_policy = true;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int n = static_cast<int>(rest.size());
  benchmark::RegisterBenchmark("BM_PacedControlCycle", liron::BM_PacedControlCycle)
      ->Iterations(liron::g_cycles)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
