// The trend ring, read by the window while the control thread writes it.
#include "image/trend_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "platform/datetime.h"

namespace liron {
namespace {

TEST(TrendRing, AReaderWhileTheCycleWritesGetsWholeSamplesInOrder) {
  TTrendRing ring;
  ring.Enable();
  ring.Allocate(3);
  // Sample n: moment n, every row n (averaged -n); every seventh cycle fails. The cycles go on
  // until the reader has copied the full ring many times meanwhile.
  std::atomic<int> reads{0};
  std::atomic<bool> done{false};
  int cycles = 0;
  std::thread control([&] {
    TSignalValues phys, avg;
    for (; cycles < 2 * TTrendRing::kSamples || reads < 400; ++cycles) {
      for (int r = 0; r < 3; ++r) {
        phys.Set(r, cycles);
        avg.Set(r, -cycles);
      }
      ring.Record(cycles, phys, avg, cycles % 7 != 0);
    }
    done = true;
  });
  TTrendRing::TSnapshot snap;
  int torn = 0;
  while (!done) {
    ring.Read({2}, false, 0, 0, &snap);
    if (snap.Moments.size() > static_cast<size_t>(TTrendRing::kSamples)) ++torn;
    auto count = [&snap](size_t i) { return std::round(snap.Moments[i] * kMsPerDay); };
    for (size_t i = 0; i < snap.Moments.size(); ++i) {
      const double n = count(i);  // the sample's monotonic stamp
      if (i > 0 && n != count(i - 1) + 1) ++torn;
      for (const auto& values : snap.Values)
        if (static_cast<int>(n) % 7 == 0 ? !std::isnan(values[i]) : values[i] != n) ++torn;
    }
    if (snap.Moments.size() == static_cast<size_t>(TTrendRing::kSamples)) ++reads;
  }
  control.join();
  EXPECT_EQ(torn, 0);
  // Labelled from the reader's now by their age in ticks, whatever the wall clock did: the
  // newest sample is now.
  const TDateTime now = 40000;
  ring.Read({1}, true, now, cycles - 1, &snap);
  ASSERT_EQ(snap.Moments.size(), static_cast<size_t>(TTrendRing::kSamples));
  EXPECT_DOUBLE_EQ(snap.Moments.back(), now);
  EXPECT_NEAR((now - snap.Moments.front()) * kMsPerDay, TTrendRing::kSamples - 1, 1e-3);
  const int first = cycles - TTrendRing::kSamples;
  const size_t good = first % 7 == 0 ? 1 : 0;
  EXPECT_EQ(snap.Values[0][good], -(first + static_cast<int>(good)));  // the averaged frame
}

}  // namespace
}  // namespace liron
