// One ReadFloat against jumo-sim at 19200 bit/s, beside its floor: the 40 ms pause after
// sending plus the wire time of the request (8 bytes) and of the reply (9 bytes), 10 bits a
// byte. A pseudo-terminal has no wire time of its own: tcdrain returns at once and the
// simulator delivers its reply while the master still pauses, so on a pty the measured time
// can fall below that floor; on a real line it cannot.
//
// And the same against a simulator that paces its reply byte by byte at the line's rate after
// a latency of 5 ms, as a controller on a real line does. Its floor is the 40 ms pause plus
// the wire time of what of the reply arrives after the pause: a reply that is whole in the
// queue when the pause ends must be taken at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "links/modbus.h"
#include "platform/clock.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSpeed = 19200;
constexpr int kPacedLatencyMs = 5;

double WireMs(int bytes) { return bytes * 10 * 1000.0 / kSpeed; }

double FloorMs() { return liron::kModbusPauseMs + WireMs(8 + 9); }

double PacedFloorMs() {
  return liron::kModbusPauseMs + std::max(0.0, kPacedLatencyMs + WireMs(9) - liron::kModbusPauseMs);
}

liron::TModBUS* g_bus = nullptr;
liron::TModBUS* g_paced = nullptr;

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

void BM_ReadFloatPaced19200(benchmark::State& state) {
  float v = 0;
  int64_t failed = 0;
  for (auto _ : state) {
    if (!g_paced->ReadFloat(0x10, v)) ++failed;
    benchmark::DoNotOptimize(v);
  }
  state.counters["floor_ms"] = PacedFloorMs();
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_ReadFloatPaced19200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

void BM_WriteFloat19200(benchmark::State& state) {
  int64_t failed = 0;
  for (auto _ : state)
    if (!g_bus->WriteFloat(0x20, 1.5f)) ++failed;
  // Request 13 bytes, echo 8.
  state.counters["floor_ms"] = liron::kModbusPauseMs + (13 + 8) * 10 * 1000.0 / kSpeed;
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_WriteFloat19200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

// A jumo-sim on its own pseudo-terminal with extra options, and a master on it.
bool StartSim(liron::test::TempDir& dir, const std::string& name, std::vector<std::string> extra,
              liron::test::SimProcess* sim, liron::TModBUS* bus) {
  std::vector<std::string> args = {"--config", dir.File("sim.conf"), "--pty", dir.File(name)};
  args.insert(args.end(), extra.begin(), extra.end());
  std::string err;
  if (!sim->Start(LIRON_JUMO_SIM, args, dir.File(name), "", 5000, &err)) {
    std::fprintf(stderr, "jumo-sim: %s\n", err.c_str());
    return false;
  }
  bus->PortName = sim->link();
  bus->DeviceAddress = 2;
  if (!bus->OpenPort(kSpeed)) {
    std::fprintf(stderr, "open: %s\n", bus->LastError.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  liron::test::TempDir dir;
  liron::test::WriteFileBytes(dir.File("sim.conf"),
                              "slave 2\nfloat 0x10 100.0\nfloat 0x20 0\n");
  liron::test::SimProcess sim, paced_sim;
  liron::TModBUS bus(liron::SystemClock()), paced(liron::SystemClock());
  if (!StartSim(dir, "jumo", {}, &sim, &bus) ||
      !StartSim(dir, "paced", {"--pace", "on", "--turnaround", std::to_string(kPacedLatencyMs)},
                &paced_sim, &paced))
    return 1;
  g_bus = &bus;
  g_paced = &paced;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("ReadFloat floor at %d bit/s: %.2f ms (40 ms pause + wire time of 8 + 9 bytes); "
              "paced, %d ms latency: %.2f ms\n",
              kSpeed, FloorMs(), kPacedLatencyMs, PacedFloorMs());
  bus.ClosePort();
  paced.ClosePort();
  sim.Stop();
  paced_sim.Stop();
  return 0;
}
