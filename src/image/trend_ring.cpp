#include "image/trend_ring.h"

#include <algorithm>
#include <cmath>

#include "platform/datetime.h"

namespace liron {

TTrendRing::Storage::Storage(int rows)
    : Rows(rows),
      At(std::make_unique<std::atomic<uint64_t>[]>(kSlots)),
      Values(std::make_unique<std::atomic<double>[]>(static_cast<size_t>(rows) * 2 * kSlots)) {}

void TTrendRing::Allocate(int rows) {
  if (!enabled_.load()) return;
  auto fresh = std::make_shared<Storage>(std::clamp(rows, 0, kMaxSignals));
  std::lock_guard<std::mutex> l(mu_);
  storage_ = std::move(fresh);
}

std::shared_ptr<TTrendRing::Storage> TTrendRing::Current() const {
  std::lock_guard<std::mutex> l(mu_);
  return storage_;
}

void TTrendRing::Record(uint64_t monotonic_ms, const TSignalValues& phys, const TSignalValues& avg,
                        bool good) noexcept {
  if (!enabled_.load(std::memory_order_relaxed)) return;
  const std::shared_ptr<Storage> s = Current();
  if (!s) return;
  const uint64_t n = s->Count.load(std::memory_order_relaxed);  // the only writer
  const size_t slot = n % kSlots;
  // Released: a reader that sees any value of this sample also sees the count before it.
  s->At[slot].store(monotonic_ms, std::memory_order_release);
  for (int r = 0; r < s->Rows; ++r) {
    const size_t base = static_cast<size_t>(r) * 2 * kSlots;
    s->Values[base + slot].store(good ? phys.Get(r) : NAN, std::memory_order_release);
    s->Values[base + kSlots + slot].store(good ? avg.Get(r) : NAN, std::memory_order_release);
  }
  s->Count.store(n + 1, std::memory_order_release);
}

uint64_t TTrendRing::Recorded() const {
  const std::shared_ptr<Storage> s = Current();
  return s ? s->Count.load(std::memory_order_acquire) : 0;
}

void TTrendRing::Read(const std::vector<int>& rows, bool averaged, TDateTime now, uint64_t now_ms,
                      TSnapshot* out) const {
  out->Moments.clear();
  out->Values.assign(rows.size(), {});
  const std::shared_ptr<Storage> s = Current();
  if (!s) return;
  const uint64_t end = s->Count.load(std::memory_order_acquire);
  const uint64_t begin = end > kSamples ? end - kSamples : 0;
  for (uint64_t i = begin; i < end; ++i) {
    const double at = static_cast<double>(s->At[i % kSlots].load(std::memory_order_acquire));
    out->Moments.push_back(now - (static_cast<double>(now_ms) - at) / kMsPerDay);
  }
  for (size_t k = 0; k < rows.size(); ++k) {
    std::vector<double>& values = out->Values[k];
    const int r = rows[k];
    if (r < 0 || r >= s->Rows) {
      values.assign(end - begin, NAN);
      continue;
    }
    const size_t base = (static_cast<size_t>(r) * 2 + (averaged ? 1 : 0)) * kSlots;
    values.reserve(end - begin);
    for (uint64_t i = begin; i < end; ++i)
      values.push_back(s->Values[base + i % kSlots].load(std::memory_order_acquire));
  }
  // Samples the writer overwrote meanwhile (it writes sample n into the slot of n - kSlots)
  // are mixed with newer values: leave them out.
  const uint64_t count = s->Count.load(std::memory_order_acquire);
  const uint64_t safe = count > kSamples ? count - kSamples : 0;
  if (safe > begin) {
    const auto drop = static_cast<std::ptrdiff_t>(std::min(safe, end) - begin);
    out->Moments.erase(out->Moments.begin(), out->Moments.begin() + drop);
    for (auto& values : out->Values) values.erase(values.begin(), values.begin() + drop);
  }
}

}  // namespace liron
