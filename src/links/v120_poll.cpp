#include "links/v120_poll.h"

#include <algorithm>
#include <exception>

#include "image/worker_priority.h"
#include "platform/pacing.h"

namespace liron {

namespace {

constexpr char kCounterResetEvent[] = "Обнуление интегрального счетчика";
constexpr char kReadErrorEvent[] = "Ошибка в  V120_read";

// One element at the row's address of unit DevNum, by Kind.
bool ReadOne(TVisionLink& link, const TSignalSet& row, double* value) {
  link.SetUnitID(row.DevNum);
  // A unit number the link refused would leave the request addressed to the previous unit.
  if (link.UnitID() != row.DevNum) return false;
  switch (row.Kind) {
    case kKindInt:
    case kKindLong: {
      int32_t v = 0;
      if (!link.GetIntArray(row.Addr, {&v, 1}, row.Kind == kKindLong)) return false;
      *value = v;
      return true;
    }
    case kKindBit: {
      uint8_t b = 0;
      if (!link.GetBitArray(row.Addr, {&b, 1})) return false;
      *value = b;
      return true;
    }
    default:  // FLOAT and anything else: the V-120 link has no such read
      return false;
  }
}

bool ReadPass(TProcessImage& img, TVisionLink& link, TEventFIFO& events, bool every_fifth) {
  const int count = std::min<int>(img.SignalCount.load(), static_cast<int>(img.Signals.size()));
  for (int i = 0; i < count; ++i) {
    const TSignalSet& row = img.Signals[static_cast<size_t>(i)];
    if (!IsV120ReadRow(row)) continue;
    const bool counter = IsV120Counter(row);
    if (counter && !every_fifth) continue;

    double value = 0;
    if (img.V120Emul.load()) {
      value = img.EmulValues.Get(i);
      if (counter) value += img.CounterLast.load();
    } else if (!ReadOne(link, row, &value)) {
      return false;
    }

    if (!counter) {
      img.RawValues.Set(i, value);
      continue;
    }
    if (!img.CounterLastKnown.load()) {
      img.CounterLast.store(value);
      img.CounterLastKnown.store(true);
    }
    double increment = value - img.CounterLast.load();
    if (increment < 0) {
      increment += kV120CounterWrap;
      events.PostEvent(kCounterResetEvent);
    }
    img.CounterLast.store(value);
    // The record writer takes recorded amounts out of the same slot on the control thread:
    // one indivisible read-modify-write, so neither side loses the other's change.
    img.RawValues.Add(i, increment * kV120CounterScale);
  }
  return true;
}

}  // namespace

bool IsV120ReadRow(const TSignalSet& row) {
  return row.BusName == "V120" && row.Direction == "READ";
}

bool IsV120Counter(const TSignalSet& row) { return row.SignalName.rfind("G_1T", 0) == 0; }

bool V120_read(TProcessImage& img, TVisionLink& link, TEventFIFO& events, bool every_fifth) {
  try {
    return ReadPass(img, link, events, every_fifth);
  } catch (...) {
    events.PostEvent(kReadErrorEvent);
    return false;
  }
}

void V120PollThread(TProcessImage& img, TVisionLink& link, TEventFIFO& events) {
  RaiseWorkerPriority(img, events, ThreadPriority::Highest);
  img.V120CycleCounter.store(0);
  while (!img.StopFlag.load()) {
    const uint32_t start = img.clock.Ticks();
    const int32_t pass = img.V120CycleCounter.fetch_add(1) + 1;
    if (V120_read(img, link, events, pass % 5 == 0)) {
      img.ModuleLastOk[kModuleV120].store(img.clock.Now());
    } else {
      img.ModuleErrors[kModuleV120].fetch_add(1);
    }
    PaceCycle(img.clock, img.StopFlag, start, kCyclePeriodMs);
  }
}

}  // namespace liron
