// A field line that outlives its device: a USB adapter pulled out and plugged in again, or one
// that enumerates only after the service has started at boot. Each polling thread keeps its own
// line: when the device has gone it closes the line and opens it again by the configured path
// every few seconds, without stopping the control thread or the other line, and reports the
// loss and the return as events and journal records. At the control thread's start a device
// that is not there yet is left to that polling thread, and one that is there but refuses to
// open (udev may set its group a moment after the node appears; another program may hold it)
// is tried again for up to a minute.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/event_fifo.h"

namespace liron {

constexpr uint32_t kLineRetryMs = 2000;          // a lost or missing device is tried this often
constexpr uint32_t kLineRefusedRetryMs = 1000;   // a refusing device at the start
constexpr uint32_t kLineRefusedForMs = 60000;    // ... for this long

// How opening a line went at the control thread's start.
enum class LineStart {
  Open,     // the line is open
  Awaited,  // the device is not there yet: the polling thread opens it once it appears
  Failed,   // a refused speed, or a device that refused for a minute: the start fails
};

// The device of an open that failed with err is not there (yet): ENOENT, ENODEV, ENXIO, EIO.
bool DeviceMissing(int err);
// It is there but refused: no permission, busy, held by another program.
bool DeviceRefused(int err);

// Opens a line at the control thread's start. open() tries once; open_errno() tells why it
// failed. A refusing device is tried again every second for up to a minute, until stop.
LineStart OpenLineAtStart(const std::function<bool()>& open, const std::function<int()>& open_errno,
                          Clock& clock, const std::atomic<bool>& stop);

// Records a journal entry of the service (the engine wires it; links know no database).
using JournalSink = std::function<void(const std::string&)>;

// What the keeper does to its line.
struct TLineOps {
  std::function<bool()> IsOpen;
  std::function<bool()> Gone;  // the device under the open line has gone
  std::function<bool()> Open;  // by the configured path and speed
  std::function<void()> Close;
  std::string Port;            // the configured port name, for the texts
};

class TLineKeeper {
 public:
  // link: "JUMO" or "V120", as the events name the line.
  TLineKeeper(const std::string& link, TLineOps ops, Clock& clock, TEventFIFO& events,
              JournalSink journal);

  // Before each pass of the polling thread: closes a line whose device has gone ("*** <link>:
  // Связь с портом <port> потеряна ***"), and opens a closed one again when its turn has come
  // ("=== <link>: Связь с портом <port> восстановлена ==="). True when the line is open and
  // the pass may use it.
  bool Keep();

 private:
  void Report(const std::string& text);

  std::string link_;
  TLineOps ops_;
  Clock& clock_;
  TEventFIFO& events_;
  JournalSink journal_;
  bool tried_ = false;
  uint32_t last_try_ = 0;
};

}  // namespace liron
