#include "links/jumo_poll.h"

#include <algorithm>
#include <cmath>

#include "image/worker_priority.h"
#include "links/setpoint_write.h"
#include "platform/pacing.h"

namespace liron {

namespace {

bool IsJumoReadSignal(const TSignalSet& s) { return IsJumoSignal(s) && !IsJumoWriteSignal(s); }

}  // namespace

size_t PlanRows(const TProcessImage& img) {
  const int32_t n = img.SignalCount.load();
  return std::min(static_cast<size_t>(std::max(n, 0)), img.Signals.size());
}

void Address(TModBUS& bus, const TSignalSet& s) {
  bus.DeviceAddress = s.DevNum;
  bus.SwapBytes = s.InverseBytes;
  bus.SwapWords = s.InverseWords;
}

bool IsJumoSignal(const TSignalSet& s) { return s.BusName == "JUMO" && !s.SignalName.empty(); }

bool IsJumoWriteSignal(const TSignalSet& s) { return IsJumoSignal(s) && s.SignalName[0] == '_'; }

int JumoModule(int32_t dev_num) { return dev_num == 1 ? kModuleJumo1 : kModuleJumo2; }

bool ModBUS_read(TProcessImage& img, TModBUS* bus, TEventFIFO& events) {
  const bool emul = img.JumoEmul.load();
  if (!emul && (bus == nullptr || !bus->Connected.load())) return false;
  try {
    const size_t rows = PlanRows(img);
    for (size_t r = 0; r < rows; ++r) {
      const TSignalSet& s = img.Signals[r];
      if (!IsJumoReadSignal(s)) continue;
      const int i = static_cast<int>(r);
      const int m = JumoModule(s.DevNum);
      if (emul) {
        img.RawValues.Set(i, img.EmulValues.Get(i));
        img.ModuleLastOk[m] = img.clock.Now();
        continue;
      }
      Address(*bus, s);
      bool ok;
      double value = 0;
      if (s.Kind == kKindInt) {
        int32_t v = 0;
        ok = bus->ReadRegister(s.Addr, v);
        value = v;
      } else {
        float v = 0;
        ok = bus->ReadFloat(s.Addr, v);
        value = v;
      }
      if (ok && !std::isfinite(value)) ok = false;
      if (ok) {
        img.RawValues.Set(i, value);
        img.ModuleLastOk[m] = img.clock.Now();
      } else {
        img.ModuleErrors[m].fetch_add(1);
        events.PostEvent("Сбой чтения сигнала " + s.SignalName);
      }
      img.clock.SleepMs(kJumoReadPauseMs);
    }
    return true;
  } catch (...) {
    try {
      events.PostEvent("Ошибка в функции  ModBUS_read()");
    } catch (...) {
    }
    return false;
  }
}

void JumoPollThread(TProcessImage& img, TModBUS* bus, TEventFIFO& events) {
  RaiseWorkerPriority(img, events, ThreadPriority::Highest);
  img.JumoCycleCounter = 0;
  while (!img.StopFlag.load()) {
    img.JumoCycleCounter.fetch_add(1);
    const uint32_t t = img.clock.Ticks();
    try {
      ModBUS_read(img, bus, events);
      HardWrite(img, bus, events);
    } catch (...) {
      // Both routines catch their own; nothing may end this loop but the stop flag.
    }
    PaceCycle(img.clock, img.StopFlag, t, kCyclePeriodMs);
  }
}

}  // namespace liron
