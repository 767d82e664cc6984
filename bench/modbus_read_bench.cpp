// One ReadFloat against jumo-sim at 19200 bit/s, beside its floor: the 40 ms pause after
// sending plus the wire time of the request (8 bytes) and of the reply (9 bytes), 10 bits a
// byte. A pseudo-terminal has no wire time of its own: tcdrain returns at once and the
// simulator delivers its reply while the master still pauses, so on a pty the measured time
// can fall below that floor; on a real line it cannot.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "links/modbus.h"
#include "platform/clock.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSpeed = 19200;

double FloorMs() {
  return liron::kModbusPauseMs + (8 + 9) * 10 * 1000.0 / kSpeed;
}

liron::TModBUS* g_bus = nullptr;

void BM_ReadFloat19200(benchmark::State& state) {
  float v = 0;
  int64_t failed = 0;
  for (auto _ : state) {
    if (!g_bus->ReadFloat(0x10, v)) ++failed;
    benchmark::DoNotOptimize(v);
  }
  state.counters["floor_ms"] = FloorMs();
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_ReadFloat19200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

void BM_WriteFloat19200(benchmark::State& state) {
  int64_t failed = 0;
  for (auto _ : state)
    if (!g_bus->WriteFloat(0x20, 1.5f)) ++failed;
  // Request 13 bytes, echo 8.
  state.counters["floor_ms"] = liron::kModbusPauseMs + (13 + 8) * 10 * 1000.0 / kSpeed;
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_WriteFloat19200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
  liron::test::TempDir dir;
  liron::test::WriteFileBytes(dir.File("sim.conf"),
                              "slave 2\nfloat 0x10 100.0\nfloat 0x20 0\n");
  liron::test::SimProcess sim;
  std::string err;
  if (!sim.Start(LIRON_JUMO_SIM, {"--config", dir.File("sim.conf"), "--pty", dir.File("jumo")},
                 dir.File("jumo"), "", 5000, &err)) {
    std::fprintf(stderr, "jumo-sim: %s\n", err.c_str());
    return 1;
  }
  liron::TModBUS bus(liron::SystemClock());
  bus.PortName = sim.link();
  bus.DeviceAddress = 2;
  if (!bus.OpenPort(kSpeed)) {
    std::fprintf(stderr, "open: %s\n", bus.LastError.c_str());
    return 1;
  }
  g_bus = &bus;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("ReadFloat floor at %d bit/s: %.2f ms (40 ms pause + wire time of 8 + 9 bytes)\n",
              kSpeed, FloorMs());
  bus.ClosePort();
  sim.Stop();
  return 0;
}
