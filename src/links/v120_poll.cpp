#include "links/v120_poll.h"

#include <algorithm>
#include <exception>

#include "image/worker_priority.h"
#include "links/counter_reading.h"
#include "links/module_watch.h"
#include "platform/pacing.h"

namespace liron {

namespace {

constexpr char kCounterResetEvent[] = "Обнуление интегрального счетчика";
constexpr char kReadErrorEvent[] = "Ошибка в  V120_read";
// The link's status once its device has gone, until a try to open it again says more.
constexpr char kLineLostStatus[] = "Связь с портом потеряна.";

// One element at the row's address of unit DevNum, by Kind; *reason says why it failed.
bool ReadOne(TVisionLink& link, const TSignalSet& row, double* value, std::string* reason) {
  if (row.Kind != kKindInt && row.Kind != kKindLong && row.Kind != kKindBit) {
    *reason = "Недопустимый тип сигнала " + row.SignalName + ".";  // no such read on the link
    return false;
  }
  link.SetUnitID(row.DevNum);
  // A unit number the link refused would leave the request addressed to the previous unit.
  bool ok = link.UnitID() == row.DevNum;
  if (ok && row.Kind == kKindBit) {
    uint8_t b = 0;
    ok = link.GetBitArray(row.Addr, {&b, 1});
    if (ok) *value = b;
  } else if (ok) {
    int32_t v = 0;
    ok = link.GetIntArray(row.Addr, {&v, 1}, row.Kind == kKindLong);
    if (ok) *value = v;
  }
  if (!ok) *reason = link.Status();
  return ok;
}

bool ReadPass(TProcessImage& img, TVisionLink& link, TEventFIFO& events, bool every_fifth,
              std::string* reason) {
  const int count = static_cast<int>(img.PlanRows());
  for (int i = 0; i < count; ++i) {
    const TSignalSet& row = img.Signals[static_cast<size_t>(i)];
    if (!IsV120ReadRow(row)) continue;
    const bool counter = IsV120Counter(row);
    if (counter && !every_fifth) continue;

    double value = 0;
    if (img.V120Emul.load()) {
      value = img.EmulValues.Get(i);
      if (counter) value += img.CounterLast.load();
    } else if (!ReadOne(link, row, &value, reason)) {
      return false;
    }

    if (!counter) {
      img.RawValues.Set(i, value);
      continue;
    }
    if (!img.CounterLastKnown.load()) {
      img.CounterLast.store(value);
      img.CounterLastKnown.store(true);
      img.CounterRefused.reset();
    }
    double base = img.CounterLast.load();
    const TCounterVerdict verdict =
        TakeCounterReading(value, img.MaxGStep.load(), &base, &img.CounterRefused);
    img.CounterLast.store(base);
    const std::string said = CounterVerdictText(verdict, value);
    if (!said.empty()) events.PostEvent(said);
    if (verdict.Backwards) events.PostEvent(kCounterResetEvent);
    const double increment = verdict.Step;
    img.RawValues.Add(i, increment * kV120CounterScale);
  }
  return true;
}

}  // namespace

bool IsV120ReadRow(const TSignalSet& row) {
  return row.BusName == "V120" && row.Direction == "READ";
}

bool IsV120Counter(const TSignalSet& row) { return row.SignalName.rfind("G_1T", 0) == 0; }

bool V120_read(TProcessImage& img, TVisionLink& link, TEventFIFO& events, bool every_fifth,
               std::string* reason) {
  std::string why;
  try {
    if (ReadPass(img, link, events, every_fifth, &why)) return true;
  } catch (...) {
    events.PostEvent(kReadErrorEvent);
    why = kReadErrorEvent;
  }
  if (reason) *reason = why;
  return false;
}

void V120PollThread(TProcessImage& img, TVisionLink& link, TEventFIFO& events,
                    const JournalSink& journal) {
  RaiseWorkerPriority(img, events, ThreadPriority::Highest);
  img.V120CycleCounter.store(0);
  img.SetLinkError(kLinkV120, "");
  TModuleWatch watch(img, events);
  TLineOps ops;
  ops.IsOpen = [&link] { return link.Active(); };
  ops.Gone = [&link] { return link.LineLost(); };
  ops.Open = [&link] {
    link.SetActive(true);
    return link.Active();
  };
  ops.Close = [&link] {
    link.SetActive(false);
    link.SetStatus(kLineLostStatus);
  };
  ops.Port = link.PortName();
  TLineKeeper keeper("V120", std::move(ops), img.clock, events, journal);
  while (!img.StopFlag.load()) {
    const uint32_t start = img.clock.Ticks();
    const int32_t pass = img.V120CycleCounter.fetch_add(1) + 1;
    try {
      // Without its line a pass fails at once (an inactive link sends nothing) and counts as a
      // failed pass, the reason being why the line would not open.
      if (!img.V120Emul.load()) keeper.Keep();
      std::string reason;
      if (V120_read(img, link, events, pass % 5 == 0, &reason)) {
        img.StampModuleRead(kModuleV120);
        watch.Succeeded(kModuleV120, -1);
      } else {
        img.ModuleErrors[kModuleV120].fetch_add(1);
        watch.Failed(kModuleV120, -1, "", reason);
      }
      watch.EndPass();
    } catch (...) {
      // V120_read catches its own; nothing may end this loop but the stop flag.
    }
    PaceCycle(img.clock, img.StopFlag, start, kCyclePeriodMs);
  }
}

}  // namespace liron
