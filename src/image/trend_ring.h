// TTrendRing: the last hour of the plant in memory, for the window's trends. One sample per
// control cycle: its monotonic count (Clock::MonotonicMs) and, for every row of the plan, the
// instantaneous and the averaged value; a failed cycle is kept as a gap (its values are NaN). The last 3600 samples are held;
// the storage is allocated at plan load and then only overwritten, oldest first.
//
// The control thread writes and the window reads without a lock between them: every slot is
// read and written whole (atomics), the writer publishes a sample by advancing the count, and a
// reader keeps only the samples the writer cannot have reached while it copied (a sequence
// check on the count; one spare slot takes the sample being written). The storage is swapped
// only at plan load, under a small lock that guards the pointer alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "image/signal_values.h"
#include "platform/clock.h"

namespace liron {

class TTrendRing {
 public:
  static constexpr int kSamples = 3600;  // an hour of one-second cycles

  // The copy a reader gets: the held samples, oldest first, each at the local moment it was
  // that many milliseconds before the reader's now (a clock set back or forward meanwhile
  // neither reorders nor bunches them); per requested row its values in the same order (NaN
  // for a failed cycle, and for a row the ring does not hold).
  struct TSnapshot {
    std::vector<TDateTime> Moments;
    std::vector<std::vector<double>> Values;
  };

  // The window shows trends: from the next plan load on the ring keeps them. Without it (the
  // headless daemon) nothing is allocated and Record does nothing.
  void Enable() { enabled_ = true; }
  bool Enabled() const { return enabled_.load(); }

  // Plan load, while the control thread is stopped: room for rows × 3600 samples, empty.
  void Allocate(int rows);
  // Control thread, once per cycle, whatever its outcome; good false records a gap.
  void Record(uint64_t monotonic_ms, const TSignalValues& phys, const TSignalValues& avg,
              bool good) noexcept;

  // Samples recorded since the last allocation (held: at most kSamples of them).
  uint64_t Recorded() const;
  // Any thread: the held samples of the given rows, from the averaged or instantaneous frame,
  // labelled from the local moment now that is monotonic count now_ms.
  void Read(const std::vector<int>& rows, bool averaged, TDateTime now, uint64_t now_ms,
            TSnapshot* out) const;

 private:
  static constexpr int kSlots = kSamples + 1;  // the spare slot: the sample being written

  struct Storage {
    explicit Storage(int rows);
    const int Rows;
    std::unique_ptr<std::atomic<uint64_t>[]> At;     // [slot]: monotonic ms
    std::unique_ptr<std::atomic<double>[]> Values;   // [(row * 2 + averaged) * kSlots + slot]
    std::atomic<uint64_t> Count{0};                  // samples published
  };

  std::shared_ptr<Storage> Current() const;

  std::atomic<bool> enabled_{false};
  mutable std::mutex mu_;  // guards storage_ (the pointer, never the samples)
  std::shared_ptr<Storage> storage_;
};

}  // namespace liron
