#include "links/setpoint_write.h"

#include "links/jumo_poll.h"

namespace liron {

bool HardWrite(TProcessImage& img, TModBUS* bus, TEventFIFO& events) {
  try {
    if (img.HardWriteOff.load()) {
      // A pending order waits, its writes untouched, while writes are switched off.
      img.clock.SleepMs(kJumoIdleWriteMs);
      return true;
    }
    const bool emul = img.JumoEmul.load();
    const bool open = emul || (bus != nullptr && bus->Connected.load());
    auto mark = [&img](int32_t dev) {
      const int m = JumoModule(dev);
      return TModuleMark{img.ModuleErrors[m].load(), img.ModuleReadAt[m].load()};
    };
    const TSetpointOrder order = img.Delivery.Order();
    const TSetpointDelivery::Pass pass = img.Delivery.BeginPass(
        SetpointControllers(img.Signals, img.SignalCount.load(), order), open, mark);
    if (pass.Controllers.empty()) {
      img.clock.SleepMs(kJumoIdleWriteMs);
      return true;
    }
    if (emul) {
      img.Delivery.HoldForEmulation(pass.Generation);
      img.clock.SleepMs(kJumoIdleWriteMs);
      return true;
    }
    bool result = open;
    const size_t rows = img.PlanRows();
    for (int32_t dev : pass.Controllers) {
      bool confirmed = open;
      for (size_t r = 0; open && r < rows; ++r) {
        const TSignalSet& s = img.Signals[r];
        if (s.DevNum != dev || !IsSetpointRow(s)) continue;
        const std::optional<double> value = SetpointFor(pass.Order, s.SignalName);
        if (!value) continue;
        Address(*bus, s);
        if (!bus->WriteFloat(s.Addr, static_cast<float>(*value))) confirmed = false;
        img.clock.SleepMs(kJumoWritePauseMs);
      }
      if (!confirmed) result = false;
      if (img.Delivery.Report(pass.Generation, dev, confirmed, img.clock.Ticks(), mark(dev)))
        events.PostEvent(WriteFailedText(dev));
    }
    return result;
  } catch (...) {
    return false;
  }
}

void ReportUnwrittenSetpointRows(const TProcessImage& img, TEventFIFO& events) {
  const size_t rows = img.PlanRows();
  for (size_t r = 0; r < rows; ++r) {
    const TSignalSet& s = img.Signals[r];
    if (IsJumoWriteSignal(s) && !IsSetpointRow(s))
      events.PostEvent("### Сигнал без задания не записывается: " + s.SignalName + " ###");
  }
}

}  // namespace liron
