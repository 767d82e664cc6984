#include "links/line_keeper.h"

#include <cerrno>
#include <utility>

namespace liron {

bool DeviceMissing(int err) {
  return err == ENOENT || err == ENODEV || err == ENXIO || err == ENOTDIR || err == EIO;
}

bool DeviceRefused(int err) {
  return err == EACCES || err == EPERM || err == EBUSY || err == EAGAIN || err == ETXTBSY;
}

LineStart OpenLineAtStart(const std::function<bool()>& open, const std::function<int()>& open_errno,
                          Clock& clock, const std::atomic<bool>& stop) {
  const uint32_t start = clock.Ticks();
  for (;;) {
    if (open()) return LineStart::Open;
    const int err = open_errno();
    if (DeviceMissing(err)) return LineStart::Awaited;
    if (!DeviceRefused(err) || stop.load() || clock.Ticks() - start >= kLineRefusedForMs)
      return LineStart::Failed;
    clock.SleepMs(kLineRefusedRetryMs);
  }
}

TLineKeeper::TLineKeeper(const std::string& link, TLineOps ops, Clock& clock, TEventFIFO& events,
                         JournalSink journal)
    : link_(link), ops_(std::move(ops)), clock_(clock), events_(events), journal_(std::move(journal)) {}

bool TLineKeeper::Keep() {
  if (ops_.IsOpen()) {
    if (!ops_.Gone()) return true;
    ops_.Close();
    Report("*** " + link_ + ": Связь с портом " + ops_.Port + " потеряна ***");
    tried_ = true;  // the device has only just gone: the first try after the interval
    last_try_ = clock_.Ticks();
    return false;
  }
  if (tried_ && clock_.Ticks() - last_try_ < kLineRetryMs) return false;
  tried_ = true;
  last_try_ = clock_.Ticks();
  if (!ops_.Open()) return false;
  Report("=== " + link_ + ": Связь с портом " + ops_.Port + " восстановлена ===");
  return true;
}

void TLineKeeper::Report(const std::string& text) {
  events_.PostEvent(text);
  if (journal_) journal_(text);
}

}  // namespace liron
