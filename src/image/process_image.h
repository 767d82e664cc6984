// The process image: the signal plan, the five value frames, module status, thread flags and
// counters, switches, setpoint and calculated-signal state, the averages and the settings.
// It has no lock of its own: every field that crosses threads is read and written whole
// (atomics), the plan is rebuilt only while the control thread is stopped, and the settings
// are copied in and out under their own small lock.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "image/fly_average.h"
#include "image/settings.h"
#include "image/setpoint_delivery.h"
#include "image/signal_set.h"
#include "image/signal_values.h"
#include "image/trend_ring.h"
#include "platform/clock.h"
#include "platform/operator.h"

namespace liron {

constexpr int kModuleCount = 3;
constexpr int kModuleJumo1 = 0;  // JUMO rows with DevNum 1
constexpr int kModuleJumo2 = 1;  // JUMO rows with any other DevNum
constexpr int kModuleV120 = 2;
constexpr int kLinkCount = 2;
constexpr int kLinkJumo = 0;  // the Modbus line of JUMO 1 and JUMO 2
constexpr int kLinkV120 = 1;

struct TProcessImage {
  // The operator receives the error boxes of the averages (may be null in tests).
  explicit TProcessImage(Clock& clock, Operator* op = nullptr);
  TProcessImage(const TProcessImage&) = delete;
  TProcessImage& operator=(const TProcessImage&) = delete;

  // Row index of the first plan entry equal to name without regard to letter case; 99 when
  // none (slot 99 of every frame is the spare slot).
  int SignalIndex(const std::string& name) const;
  // Zeroes Raw, Out, Phys and Avg frames with their moments; EmulValues keeps its values.
  void ClearValues();
  // Sets every existing average to AverageLen and empties it.
  void ResetAverages();
  // Creates the average of every row index below count that has none yet.
  void EnsureAverages(int count);

  TSettings Settings() const;
  void SetSettings(const TSettings& s);

  // The text of the last failure on each field link, for the state tab; any thread.
  void SetLinkError(int link, const std::string& text);
  std::string LinkError(int link) const;

  Clock& clock;
  Operator* op;

  // The signal plan, in row order; rebuilt only while the control thread is stopped.
  std::vector<TSignalSet> Signals;
  std::atomic<int32_t> SignalCount{0};
  // The rows of the plan that may be walked: the count the plan announces, never past its rows.
  size_t PlanRows() const {
    return std::min(static_cast<size_t>(std::max(SignalCount.load(), 0)), Signals.size());
  }
  std::vector<std::string> SignalNames;

  TSignalValues RawValues, OutValues, PhysValues, AvgValues, EmulValues;

  // The last successful read of each module: its local moment for display, and its monotonic
  // count (clock.MonotonicMs(), 0: never) for "how long ago", which a clock set back or
  // forward does not move.
  std::array<std::atomic<double>, kModuleCount> ModuleLastOk{};
  std::array<std::atomic<uint64_t>, kModuleCount> ModuleReadAt{};
  std::array<std::atomic<int32_t>, kModuleCount> ModuleErrors{};
  void StampModuleRead(int m) {
    ModuleLastOk[m] = clock.Now();
    ModuleReadAt[m] = clock.MonotonicMs();
  }

  std::atomic<bool> StopFlag{false};
  std::atomic<bool> ControlRunning{false};
  std::atomic<bool> JumoPollRunning{false};
  std::atomic<bool> V120PollRunning{false};
  std::atomic<int32_t> CycleCounter{0};
  std::atomic<int32_t> CycleErrorCounter{0};
  std::atomic<int32_t> JumoCycleCounter{0};
  std::atomic<int32_t> V120CycleCounter{0};
  std::atomic<int32_t> ReconnectFailures{0};  // in a row; a reconnection resets it
  // An outage of the work connection until both its journal records are queued (a full write
  // queue may turn them away for a while). Control thread only.
  struct {
    TDateTime Lost = 0;  // the thread found itself without the connection; 0: no outage
    TDateTime Back = 0;  // reconnected; 0 while still away
    bool LossJournalled = false;
  } WorkOutage;
  // The checks of the work connection that run off the control thread. Control thread only.
  struct {
    uint64_t Seen = 0;        // checks whose end the thread has taken note of
    uint32_t StartedAt = 0;   // ticks of the latest check started
    bool Started = false;     // one has been started in this run of the thread
  } WorkChecks;
  std::atomic<double> ThreadStartMoment{0};
  // Moved on by the control thread whenever it completes a cycle, a reconnection attempt or
  // another bounded wait of its own: the watchdog pings only while it moves.
  std::atomic<uint64_t> ControlProgress{0};
  // Raised by a test to hold the control thread at the start of its next cycle, as a wedged
  // step would; never raised by the program itself.
  std::atomic<bool> CycleHold{false};

  std::atomic<bool> JumoEmul{false};
  std::atomic<bool> V120Emul{false};
  std::atomic<bool> HardWriteOff{false};
  std::atomic<bool> Closing{false};
  // The system refused real-time priority to a worker thread, and the event log said so.
  std::atomic<bool> RealtimeRefusalPosted{false};

  // Setpoint state: the setpoints in force, the moment of the row they came from, and their
  // delivery to the controllers.
  std::atomic<double> ControlMoment{0};  // set to the construction time
  std::atomic<double> ControlShownMoment{0};
  std::atomic<double> PlszSetpoint{0};
  std::atomic<double> UrnszSetpoint{0};
  TSetpointDelivery Delivery;

  // Calculated-signal state.
  std::atomic<double> RabValue{0};
  std::atomic<double> RnValue{0};
  std::atomic<double> MinPls{0};
  std::atomic<double> MinNagr{0};
  std::atomic<double> CounterLast{0};
  std::atomic<bool> CounterLastKnown{false};
  // The largest step of the totaliser's reading, in raw counts, booked as it comes (setup
  // constant MAX_G_STEP); a larger one, or a decrease, waits for the next reading.
  std::atomic<double> MaxGStep{1000000};
  // A totaliser reading refused against CounterLast, until the next reading confirms or drops
  // it. V-120 polling thread, and the counter's seeding before the threads start.
  std::optional<double> CounterRefused;

  std::array<std::unique_ptr<TFlyAverage>, kMaxSignals> Averages;

  // The last hour of every cycle for the window's trends (nothing without a window).
  TTrendRing Trends;

 private:
  mutable std::mutex settings_mu_;
  TSettings settings_;
  mutable std::mutex link_error_mu_;
  std::array<std::string, kLinkCount> link_errors_;
};

}  // namespace liron
