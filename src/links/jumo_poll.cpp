#include "links/jumo_poll.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "image/worker_priority.h"
#include "links/setpoint_write.h"
#include "platform/pacing.h"

namespace liron {

namespace {

// The reason of a reading that came whole but is no finite number (a broken sensor).
constexpr char kNotANumber[] = "Значение сигнала не является числом.";

bool IsJumoReadSignal(const TSignalSet& s) { return IsJumoSignal(s) && !IsJumoWriteSignal(s); }

TLineOps JumoLineOps(TModBUS& bus) {
  TLineOps ops;
  ops.IsOpen = [&bus] { return bus.Connected.load(); };
  ops.Gone = [&bus] { return bus.Line().DeviceGone(); };
  // A refused speed would put up its message box at every try: such a line is never opened.
  ops.Open = [&bus] { return IsAcceptedSpeed(bus.Speed) && bus.OpenPort(bus.Speed); };
  ops.Close = [&bus] { bus.ClosePort(); };
  ops.Port = bus.PortName;
  return ops;
}

}  // namespace


void Address(TModBUS& bus, const TSignalSet& s) {
  bus.DeviceAddress = s.DevNum;
  bus.SwapBytes = s.InverseBytes;
  bus.SwapWords = s.InverseWords;
}

bool IsJumoSignal(const TSignalSet& s) { return s.BusName == "JUMO" && !s.SignalName.empty(); }

bool IsJumoWriteSignal(const TSignalSet& s) { return IsJumoSignal(s) && s.SignalName[0] == '_'; }

int JumoModule(int32_t dev_num) { return dev_num == 1 ? kModuleJumo1 : kModuleJumo2; }

bool ModBUS_read(TProcessImage& img, TModBUS* bus, TEventFIFO& events, TModuleWatch& watch) {
  const bool emul = img.JumoEmul.load();
  if (!emul && (bus == nullptr || !bus->Connected.load())) return false;
  try {
    const size_t rows = img.PlanRows();
    for (size_t r = 0; r < rows; ++r) {
      const TSignalSet& s = img.Signals[r];
      if (!IsJumoReadSignal(s)) continue;
      const int i = static_cast<int>(r);
      const int m = JumoModule(s.DevNum);
      if (emul) {
        img.RawValues.Set(i, img.EmulValues.Get(i));
        img.StampModuleRead(m);
        watch.Succeeded(m, i);
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
      const bool finite = std::isfinite(value);
      if (ok && finite) {
        img.RawValues.Set(i, value);
        img.StampModuleRead(m);
        watch.Succeeded(m, i);
      } else {
        img.ModuleErrors[m].fetch_add(1);
        watch.Failed(m, i, s.SignalName, ok ? kNotANumber : bus->FailureReason());
        if (bus->Line().DeviceGone()) break;  // the polling loop opens the line again
      }
      img.clock.SleepMs(kJumoReadPauseMs);
    }
    watch.EndPass();
    return true;
  } catch (...) {
    try {
      events.PostEvent("Ошибка в функции  ModBUS_read()");
    } catch (...) {
    }
    return false;
  }
}

void JumoPollThread(TProcessImage& img, TModBUS* bus, TEventFIFO& events,
                    const JournalSink& journal) {
  RaiseWorkerPriority(img, events, ThreadPriority::Highest);
  img.JumoCycleCounter = 0;
  img.SetLinkError(kLinkJumo, "");
  TModuleWatch watch(img, events);
  std::optional<TLineKeeper> keeper;
  if (bus) keeper.emplace("JUMO", JumoLineOps(*bus), img.clock, events, journal);
  while (!img.StopFlag.load()) {
    img.JumoCycleCounter.fetch_add(1);
    const uint32_t t = img.clock.Ticks();
    try {
      // Asked again before the writes: a device that went during the reads takes no write.
      if (img.JumoEmul.load() || (keeper && keeper->Keep())) ModBUS_read(img, bus, events, watch);
      if (img.JumoEmul.load() || (keeper && keeper->Keep())) HardWrite(img, bus, events);
    } catch (...) {
      // Both routines catch their own; nothing may end this loop but the stop flag.
    }
    PaceCycle(img.clock, img.StopFlag, t, kCyclePeriodMs);
  }
}

}  // namespace liron
