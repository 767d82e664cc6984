#include "engine/control_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "image/worker_priority.h"
#include "platform/pacing.h"

namespace liron {

bool CheckCycleReady(TProcessImage& img) {
  const int32_t n = img.SignalCount.load();
  if (n < 1 || n > kMaxCycleSignals) return false;
  const uint64_t now = img.clock.MonotonicMs();
  for (int m = 0; m < kModuleCount; ++m) {
    const uint64_t at = img.ModuleReadAt[m].load();
    if (at == 0 || now - at > kReadinessWindowMs) return false;
  }
  return true;
}

namespace {

// The work of one cycle. False when a step failed; an exception is the caller's.
bool RunCycleSteps(TProcessImage& img, ControlPlant& plant) {
  while (img.CycleHold.load() && !img.StopFlag.load()) img.clock.SleepMs(50);
  img.CycleCounter.fetch_add(1);
  if (!CheckCycleReady(img)) return false;
  if (!plant.TranslateIn()) return false;
  if (!plant.UpdateStateRecord()) return false;
  if (!plant.CalcWorks()) return false;
  plant.ReadControlVector();  // a new setpoint or not: the cycle goes on
  return plant.UpdatePafRecord();
}

// "h:mm:ss", hours not wrapped at a day.
std::string SpanText(double days) {
  const long long total = std::llround(std::max(days, 0.0) * 86400.0);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return buf;
}

// The loss is journalled as soon as it is found, with its own moment, the return once the
// connection is back, with the outage's span; what a full write queue refused is tried again
// by the next cycle.
void JournalOutage(TProcessImage& img, ControlPlant& plant) {
  auto& o = img.WorkOutage;
  if (o.Lost == 0) return;
  if (!o.LossJournalled) {
    if (!plant.JournalAt(o.Lost, "*** Связь с MySQL сервером потеряна ***")) return;
    o.LossJournalled = true;
  }
  if (o.Back == 0) return;
  if (!plant.JournalAt(o.Back, "=== Связь с MySQL сервером восстановлена (перерыв " +
                                   SpanText(o.Back - o.Lost) + ") ==="))
    return;
  o = {};
}

// Keeps the work connection without ever waiting for the server: the checks and the
// reconnection attempts run off this thread, and each cycle only takes note of how the last
// one ended and starts the next. While the server answers, every cycle checks; while it is
// away, every cycle tries again (about once a second), and once it has been said to be
// unavailable, every 10 s.
void KeepWorkConnection(TProcessImage& img, ControlPlant& plant, TEventFIFO& events) {
  Clock& clock = img.clock;
  auto& checks = img.WorkChecks;
  const ControlPlant::WorkCheck last = plant.LastWorkCheck();
  if (last.Finished != checks.Seen) {
    checks.Seen = last.Finished;
    if (!last.Ok) {
      events.PostEvent("Не могу подключиться к MySQL серверу.");
      const int32_t before = img.ReconnectFailures.fetch_add(1);
      if (before == kReconnectFailuresTolerated + 1) events.PostEvent("MySQL сервер недоступен.");
    }
  }
  auto& outage = img.WorkOutage;
  const bool up = plant.WorkConnected();
  const bool away = outage.Lost != 0 && outage.Back == 0;
  if (!up && !away) outage = {.Lost = clock.Now()};  // a new outage
  if (up && away) {
    outage.Back = clock.Now();
    img.ReconnectFailures = 0;
  }
  const uint32_t gap =
      img.ReconnectFailures.load() > kReconnectFailuresTolerated ? kUnavailableRetryMs : 0;
  if (checks.Started && clock.Ticks() - checks.StartedAt < gap) return;
  if (plant.StartWorkCheck()) {
    checks.Started = true;
    checks.StartedAt = clock.Ticks();
  }
}

}  // namespace

// The cycle runs whether or not the server answers: its records wait in the local spool
// while it does not.
bool ControlCycle(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op) {
  Clock& clock = img.clock;
  const uint32_t start = clock.Ticks();
  KeepWorkConnection(img, plant, events);
  JournalOutage(img, plant);
  bool good = false;
  try {
    good = RunCycleSteps(img, plant);
    if (!good) img.CycleErrorCounter.fetch_add(1);
  } catch (...) {
    op.Beep();  // an unexpected failure skips the rest of the cycle, but is no failed cycle
  }
  img.Trends.Record(clock.MonotonicMs(), img.PhysValues, img.AvgValues, good);  // a gap unless good
  clock.SleepMs(kAfterCycleSleepMs);
  PaceCycle(clock, img.StopFlag, start, kCyclePeriodMs);
  return true;
}

void ControlLoop(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op) {
  for (int m = 0; m < kModuleCount; ++m) {
    img.ModuleLastOk[m] = 0;
    img.ModuleReadAt[m] = 0;
    img.ModuleErrors[m] = 0;
  }
  img.CycleErrorCounter = 0;

  img.WorkOutage = {};
  img.WorkChecks = {};

  plant.CopyConnectionParams();
  for (int attempt = 0; attempt < kConnectAttemptsAtStart; ++attempt) {
    img.ControlProgress.fetch_add(1);
    if (plant.OpenWork()) {
      img.ReconnectFailures = 0;
      break;
    }
    events.PostEvent("*** Поток приема не смог подключиться к серверу! ***");
  }
  plant.Journal(">>> Запуск потока управления. <<<");
  plant.LoadSetupConsts();

  // A line whose device is not there yet is reported once and left to its polling thread,
  // which opens it when it appears; a line that cannot be opened at all ends the thread.
  std::string port;
  const LineStart jumo = plant.OpenJumoLine(&port);
  if (jumo != LineStart::Open) events.PostEvent("JUMO: Не могу подключить порт " + port);
  if (jumo == LineStart::Failed) return;
  const LineStart v120 = plant.OpenV120Link(&port);
  if (v120 != LineStart::Open) events.PostEvent("V120: Не могу подключить порт " + port);
  if (v120 == LineStart::Failed) return;

  RaiseWorkerPriority(img, events, ThreadPriority::TimeCritical);
  img.ThreadStartMoment = img.clock.Now();
  img.ClearValues();
  img.ResetAverages();
  img.CycleCounter = 0;
  plant.StartPolling();

  while (!img.StopFlag.load()) {
    img.ControlProgress.fetch_add(1);
    if (!ControlCycle(img, plant, events, op)) break;
  }

  plant.StopPollingAndCloseLines();
  // A return of the server that no cycle saw before the stop is still journalled.
  auto& outage = img.WorkOutage;
  if (outage.Lost != 0 && outage.Back == 0 && plant.WorkConnected()) outage.Back = img.clock.Now();
  JournalOutage(img, plant);
  plant.CloseWork();
  plant.Journal("<<< Поток управления остановлен. >>>");
}

}  // namespace liron
