#include "engine/control_loop.h"

#include "image/worker_priority.h"
#include "platform/pacing.h"

namespace liron {

bool CheckCycleReady(TProcessImage& img) {
  const int32_t n = img.SignalCount.load();
  if (n < 1 || n > kMaxCycleSignals) return false;
  const TDateTime now = img.clock.Now();
  for (int m = 0; m < kModuleCount; ++m)
    if (now - img.ModuleLastOk[m].load() > kReadinessWindowDays) return false;
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

}  // namespace

bool ControlCycle(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op) {
  Clock& clock = img.clock;
  const uint32_t start = clock.Ticks();
  if (!plant.WorkConnected()) {
    img.ControlProgress.fetch_add(1);  // a reconnection attempt is progress, before and after
    const bool opened = plant.OpenWork();
    img.ControlProgress.fetch_add(1);
    if (opened) {
      img.ResetAverages();
      return true;  // straight to the next cycle: no pacing, no counters
    }
    events.PostEvent("Не могу подключиться к MySQL серверу.");
    if (img.ReconnectFailures.fetch_add(1) > kReconnectFailuresTolerated) {
      events.PostEvent("MySQL сервер недоступен.");
      img.StopFlag = true;
      return false;
    }
    clock.SleepMs(kReconnectWaitMs);
    return true;
  }
  bool good = false;
  try {
    good = RunCycleSteps(img, plant);
    if (!good) img.CycleErrorCounter.fetch_add(1);
  } catch (...) {
    op.Beep();  // an unexpected failure skips the rest of the cycle, but is no failed cycle
  }
  img.Trends.Record(clock.Now(), img.PhysValues, img.AvgValues, good);  // a gap unless good
  clock.SleepMs(kAfterCycleSleepMs);
  PaceCycle(clock, img.StopFlag, start, kCyclePeriodMs);
  return true;
}

void ControlLoop(TProcessImage& img, ControlPlant& plant, TEventFIFO& events, Operator& op) {
  for (int m = 0; m < kModuleCount; ++m) {
    img.ModuleLastOk[m] = 0;
    img.ModuleErrors[m] = 0;
  }
  img.CycleErrorCounter = 0;

  plant.CopyConnectionParams();
  for (int attempt = 0; attempt < kConnectAttemptsAtStart; ++attempt) {
    img.ControlProgress.fetch_add(1);
    if (plant.OpenWork()) break;
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
  plant.CloseWork();
  plant.Journal("<<< Поток управления остановлен. >>>");
}

}  // namespace liron
