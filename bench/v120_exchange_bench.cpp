// The PCOM link against v120-sim at 57600 bit/s: one read exchange, and one V-120 polling pass
// of eight signals. An exchange has no fixed pause; its floor is the simulator's turnaround
// plus the request's wire time (10 bits a byte). A pseudo-terminal carries the reply at once,
// so on a real line add the reply's wire time too.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "image/process_image.h"
#include "links/v120_poll.h"
#include "links/vision_link.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSpeed = 57600;
constexpr int kTurnaroundMs = 2;

double ExchangeFloorMs() { return kTurnaroundMs + 14 * 10 * 1000.0 / kSpeed; }

liron::TVisionLink* g_link = nullptr;

void BM_ReadWord(benchmark::State& state) {
  int64_t failed = 0;
  for (auto _ : state) {
    int32_t v = 0;
    if (!g_link->GetIntArray(16, {&v, 1}, false)) ++failed;
    benchmark::DoNotOptimize(v);
  }
  state.counters["floor_ms"] = ExchangeFloorMs();
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_ReadWord)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);

void BM_PollPassOf8(benchmark::State& state) {
  liron::TProcessImage img(liron::SystemClock());
  liron::TEventFIFO events(100, liron::SystemClock());
  for (int i = 0; i < 8; ++i) {
    liron::TSignalSet s;
    s.BusName = "V120";
    s.Direction = "READ";
    s.SignalName = "V" + std::to_string(i);
    s.DevNum = 1;
    s.Addr = static_cast<uint16_t>(16 + i);
    s.Kind = i % 2 == 0 ? liron::kKindInt : liron::kKindLong;
    img.Signals.push_back(s);
  }
  img.SignalCount = 8;
  int64_t failed = 0;
  for (auto _ : state)
    if (!liron::V120_read(img, *g_link, events, false)) ++failed;
  state.counters["floor_ms"] = 8 * ExchangeFloorMs();
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_PollPassOf8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  liron::test::TempDir dir;
  liron::test::WriteFileBytes(dir.File("sim.cfg"), "1 word 16 1234\n1 long 17 -1\n");
  liron::test::SimProcess sim;
  std::string err;
  if (!sim.Start(LIRON_V120_SIM,
                 {"--link", dir.File("v120"), "--config", dir.File("sim.cfg"), "--speed",
                  std::to_string(kSpeed), "--turnaround", std::to_string(kTurnaroundMs)},
                 dir.File("v120"), "", 5000, &err)) {
    std::fprintf(stderr, "v120-sim: %s\n", err.c_str());
    return 1;
  }
  liron::TVisionLink link;
  link.SetPortName(sim.link());
  link.SetSpeed(kSpeed);
  link.SetActive(true);
  if (!link.Active()) {
    std::fprintf(stderr, "open: %s\n", link.Status().c_str());
    return 1;
  }
  g_link = &link;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("exchange floor at %d bit/s: %.2f ms (%d ms turnaround + 14 request bytes)\n",
              kSpeed, ExchangeFloorMs(), kTurnaroundMs);
  link.SetActive(false);
  sim.Stop();
  return 0;
}
