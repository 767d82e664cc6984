// What the event log hears of a failing field module: one event when the module starts
// failing, with the link's reason, and one when it answers again, with the count of failed
// reads in between; "Сбой чтения сигнала <name>" once when a signal starts failing. A fault
// that lasts hours thus leaves a handful of lines, not one per signal and pass. The reason is
// also kept as its link's last error for the state tab. One watch per polling thread, used by
// that thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/process_image.h"
#include "platform/event_fifo.h"

namespace liron {

class TModuleWatch {
 public:
  TModuleWatch(TProcessImage& img, TEventFIFO& events);

  // A read of module m failed: of the plan row `row` named `signal` (JUMO), or of the pass as
  // a whole (V-120: row -1, no name). reason: the link's text of the failure.
  void Failed(int m, int row, const std::string& signal, const std::string& reason);
  // A read of module m succeeded (row -1: the pass as a whole).
  void Succeeded(int m, int row);
  // The pass is over: a failing module whose reads all succeeded in it has recovered.
  void EndPass();

 private:
  TProcessImage& img_;
  TEventFIFO& events_;
  std::array<bool, kModuleCount> failing_{};
  std::array<int32_t, kModuleCount> failures_{};  // failed reads since the module began failing
  std::array<int32_t, kModuleCount> ok_in_pass_{};
  std::array<int32_t, kModuleCount> failed_in_pass_{};
  std::array<bool, kMaxSignals> signal_failing_{};
};

}  // namespace liron
