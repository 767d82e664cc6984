// V-120 polling against v120-sim on a pseudo-terminal: which rows are read and how, the
// integral counter on every fifth pass with its increments, wrap and event, the emulation
// path, and the paced polling loop.
#include "links/v120_poll.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "platform/fake_clock.h"
#include "support/event_texts.h"
#include "v120_sim_runner.h"

namespace liron {
namespace {

using test::V120SimRunner;

constexpr char kResetEvent[] = "Обнуление интегрального счетчика";

TSignalSet Row(const std::string& bus, const std::string& name, int32_t dev, uint16_t addr,
               int32_t kind, const std::string& dir = "READ") {
  TSignalSet s;
  s.BusName = bus;
  s.SignalName = name;
  s.DevNum = dev;
  s.Addr = addr;
  s.Kind = kind;
  s.Direction = dir;
  return s;
}

void SetPlan(TProcessImage& img, const std::vector<TSignalSet>& rows) {
  img.Signals = rows;
  img.SignalCount = static_cast<int32_t>(rows.size());
}

// Fake time that also yields for a millisecond on every sleep, so a paced loop neither waits
// for real periods nor spins.
class YieldingClock : public Clock {
 public:
  TDateTime Now() override { return fake.Now(); }
  uint32_t Ticks() override { return fake.Ticks(); }
  uint64_t MonotonicMs() override { return fake.MonotonicMs(); }
  void SleepMs(uint32_t ms) override {
    fake.SleepMs(ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  FakeClock fake;
};

constexpr char kConfig[] =
    "1 word 16 1234\n"
    "1 word 17 5\n"
    "1 long 20 -1\n"
    "1 bit 10 1\n"
    "2 word 16 77\n"
    "1 totaliser 52 1000 step=250\n"
    "1 totaliser 54 5000\n";

class V120PollSim : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start(kConfig));
    link.SetPortName(sim.Port());
    link.SetActive(true);
    ASSERT_TRUE(link.Active()) << link.Status();
  }
  size_t Requests() { return sim.LogLines("rx ").size(); }

  V120SimRunner sim;
  YieldingClock clock;
  TProcessImage img{clock};
  TEventFIFO events{100, clock};
  TVisionLink link;
};

TEST_F(V120PollSim, ReadsOnlyV120ReadRowsByKindAndUnit) {
  SetPlan(img, {Row("V120", "V1", 1, 16, kKindInt), Row("V120", "V2", 1, 17, kKindInt, "WRITE"),
                Row("V120", "V3", 1, 17, kKindInt, ""), Row("v120", "V4", 1, 17, kKindInt),
                Row("V120", "V5", 1, 17, kKindInt, "read"), Row("JUMO", "J1", 1, 17, kKindInt),
                Row("V120", "L1", 1, 20, kKindLong), Row("V120", "B1", 1, 10, kKindBit),
                Row("V120", "U2", 2, 16, kKindInt)});
  ASSERT_TRUE(V120_read(img, link, events, false)) << link.Status();
  const std::vector<double> expected{1234, 0, 0, 0, 0, 0, -1, 1, 77};
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(img.RawValues.Get(static_cast<int>(i)), expected[i]) << img.Signals[i].SignalName;
  const auto rx = sim.LogLines("rx ");
  ASSERT_EQ(rx.size(), 4u);
  EXPECT_EQ(rx[0].substr(0, 14), "rx /01RW001001");
  EXPECT_EQ(rx[1].substr(0, 15), "rx /01RNL001401");
  EXPECT_EQ(rx[2].substr(0, 14), "rx /01RB000A01");
  EXPECT_EQ(rx[3].substr(0, 14), "rx /02RW001001");
}

TEST_F(V120PollSim, AnUnreadableRowEndsThePassAndKeepsTheRowsAfterIt) {
  // FLOAT, an unknown kind, and a unit number that cannot be framed: each fails before any
  // exchange, so no V-120 reading of the pass changes.
  for (const TSignalSet& bad : {Row("V120", "F1", 1, 16, kKindFloat), Row("V120", "K9", 1, 16, 9),
                                Row("V120", "D300", 300, 16, kKindInt)}) {
    SetPlan(img, {bad, Row("V120", "V1", 1, 16, kKindInt), Row("V120", "L1", 1, 20, kKindLong)});
    for (int i = 0; i < 3; ++i) img.RawValues.Set(i, 7);
    EXPECT_FALSE(V120_read(img, link, events, true)) << bad.SignalName;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(img.RawValues.Get(i), 7) << bad.SignalName;
  }
  EXPECT_EQ(Requests(), 0u);

  // A silent unit in the middle: the row before it was read, the rows after it were not.
  SetPlan(img, {Row("V120", "V1", 1, 16, kKindInt), Row("V120", "S9", 9, 16, kKindInt),
                Row("V120", "L1", 1, 20, kKindLong)});
  EXPECT_FALSE(V120_read(img, link, events, false));
  EXPECT_EQ(img.RawValues.Get(0), 1234);
  EXPECT_EQ(img.RawValues.Get(1), 7);
  EXPECT_EQ(img.RawValues.Get(2), 7);
  EXPECT_EQ(Requests(), 2u);
}

TEST_F(V120PollSim, IntegralCounterAccumulatesScaledIncrementsOnFifthPasses) {
  SetPlan(img, {Row("V120", "G_1T1", 1, 52, kKindLong)});
  ASSERT_FALSE(img.CounterLastKnown.load());
  // Not a fifth pass: the counter is not even asked for.
  ASSERT_TRUE(V120_read(img, link, events, false));
  EXPECT_EQ(Requests(), 0u);

  ASSERT_TRUE(V120_read(img, link, events, true));  // 1000: the first reading adds nothing
  EXPECT_TRUE(img.CounterLastKnown.load());
  EXPECT_EQ(img.CounterLast.load(), 1000);
  EXPECT_EQ(img.RawValues.Get(0), 0);
  ASSERT_TRUE(V120_read(img, link, events, true));  // 1250
  EXPECT_EQ(img.CounterLast.load(), 1250);
  EXPECT_DOUBLE_EQ(img.RawValues.Get(0), 2.5);
  EXPECT_EQ(sim.LogLines("total "),
            (std::vector<std::string>{"total 1 52 1000", "total 1 52 1250"}));
  EXPECT_TRUE(test::DrainTexts(events).empty());

  // Readings that do not fit the base (a decrease, or a step above MAX_G_STEP) book nothing
  // until the next reading: one that fits the base drops them, one that fits the refused
  // reading confirms the step from the base, booked once.
  const std::string dropped3m = "### Показание интегрального счетчика отброшено: 3000000, база 5000000 ###";
  struct Case {
    const char* what;
    double previous;
    std::vector<int> readings;
    double booked;
    std::vector<std::string> events;
    double max_step = 1000000;
  } cases[] = {
      {"round its limit", 999999950, {100, 150}, 1.0,
       {"### Показание интегрального счетчика подтверждено: 999999950 -> 150 ###", kResetEvent}},
      {"reset, counted from 0", 5000, {3, 10}, 0.1,
       {"### Показание интегрального счетчика подтверждено: 5000 -> 10 ###", kResetEvent}},
      {"low glitch", 5000000, {3000000, 5000100}, 1.0, {dropped3m}},
      {"high glitch", 5000000, {9000000, 5000100}, 1.0,
       {"### Показание интегрального счетчика отброшено: 9000000, база 5000000 ###"}},
      {"transposed digits", 15000100, {51000100, 15000200}, 1.0,
       {"### Показание интегрального счетчика отброшено: 51000100, база 15000100 ###"}},
      {"false reset", 5000, {3, 5100}, 1.0,
       {"### Показание интегрального счетчика отброшено: 3, база 5000 ###"}},
      {"two glitches", 5000000, {3000000, 9000000, 5000100}, 1.0,
       {dropped3m, "### Показание интегрального счетчика отброшено: 9000000, база 5000000 ###"}},
      {"production while the link was away", 5000000, {7000000, 7000100}, 20001.0,
       {"### Показание интегрального счетчика подтверждено: 5000000 -> 7000100 ###"}},
      {"a smaller MAX_G_STEP", 1000, {1250, 1300}, 3.0,
       {"### Показание интегрального счетчика подтверждено: 1000 -> 1300 ###"}, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    img.CounterLast = c.previous;
    img.MaxGStep = c.max_step;
    img.RawValues.Set(0, 0);
    for (int reading : c.readings) {
      sim.Control("1 totaliser 52 " + std::to_string(reading) + " step=0\n");
      ASSERT_TRUE(V120_read(img, link, events, true)) << link.Status();
      if (reading != c.readings.back()) {
        EXPECT_EQ(img.RawValues.Get(0), 0);
      }
    }
    EXPECT_NEAR(img.RawValues.Get(0), c.booked, 1e-9);
    EXPECT_EQ(img.CounterLast.load(), c.readings.back());
    EXPECT_EQ(test::DrainTexts(events), c.events);
  }
}

TEST_F(V120PollSim, PollingLoopReadsTheCounterOnEveryFifthPassAndReportsFailures) {
  SetPlan(img, {Row("V120", "V1", 1, 16, kKindInt), Row("V120", "G_1T1", 1, 52, kKindLong)});
  sim.Control("fault silence 1\n");  // the first pass fails
  img.V120CycleCounter = 100;          // a leftover of an earlier run: restarts from 0
  std::thread poll([&] { V120PollThread(img, link, events); });
  for (int32_t c = 100; c < 12 || c >= 100; c = img.V120CycleCounter.load())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  img.StopFlag = true;
  poll.join();

  const int32_t passes = img.V120CycleCounter.load();
  ASSERT_GE(passes, 12);
  ASSERT_LT(passes, 15);
  // Requests in order: five reads of V1, then the counter, five more, the counter again.
  std::vector<char> order;
  for (const auto& l : sim.LogLines("rx ")) order.push_back(l.substr(6, 2) == "RW" ? 'W' : 'N');
  std::vector<char> expected;
  for (int p = 1; p <= passes; ++p) {
    expected.push_back('W');
    if (p % 5 == 0) expected.push_back('N');
  }
  EXPECT_EQ(order, expected);
  const auto totals = sim.LogLines("total ");
  ASSERT_EQ(totals.size(), 2u);
  EXPECT_DOUBLE_EQ(img.RawValues.Get(1), 2.5);  // 1000, then 1250
  EXPECT_EQ(img.RawValues.Get(0), 1234);
  EXPECT_EQ(img.ModuleErrors[kModuleV120].load(), 1);
  EXPECT_EQ(img.ModuleLastOk[kModuleV120].load(), clock.Now());
  // The failed pass, and the next one that read everything, each with an event.
  EXPECT_EQ(test::DrainTexts(events),
            (std::vector<std::string>{
                "*** Сбой опроса модуля V-120: Не удалось принять блок информации. ***",
                "=== Опрос модуля V-120 восстановлен, сбоев: 1 ==="}));
  EXPECT_EQ(img.LinkError(kLinkV120), "Не удалось принять блок информации.");
}

TEST(V120PollEmulation, ReadsTheEmulatorValuesAndNeverTheLine) {
  YieldingClock clock;
  TProcessImage img{clock};
  TEventFIFO events{100, clock};
  TVisionLink link;  // inactive: any exchange would fail the pass
  SetPlan(img, {Row("V120", "V1", 1, 16, kKindInt), Row("V120", "F1", 1, 17, kKindFloat),
                Row("V120", "G_1T1", 1, 52, kKindLong), Row("V120", "W1", 1, 18, 0, "WRITE")});
  img.V120Emul = true;
  img.EmulValues.Set(0, 42);
  img.EmulValues.Set(1, 1.5);
  img.EmulValues.Set(2, 10);
  img.EmulValues.Set(3, 99);
  img.CounterLast = 500;
  img.CounterLastKnown = true;

  ASSERT_TRUE(V120_read(img, link, events, false));
  EXPECT_EQ(img.RawValues.Get(0), 42);
  EXPECT_EQ(img.RawValues.Get(1), 1.5);
  EXPECT_EQ(img.RawValues.Get(2), 0);  // not a fifth pass
  EXPECT_EQ(img.RawValues.Get(3), 0);
  for (int pass = 1; pass <= 3; ++pass) {
    ASSERT_TRUE(V120_read(img, link, events, true));
    EXPECT_NEAR(img.RawValues.Get(2), 0.1 * pass, 1e-12);
    EXPECT_EQ(img.CounterLast.load(), 500 + 10 * pass);
  }
  EXPECT_EQ(link.SendCounter(), 0);
  EXPECT_TRUE(test::DrainTexts(events).empty());
}

// The polling side adds increments while the record writer takes recorded amounts out of the
// same slot: no increment may be lost. Meant to run under ThreadSanitizer as well.
TEST(V120PollConcurrency, NoIncrementIsLostToTheRecordWriter) {
  YieldingClock clock;
  TProcessImage img{clock};
  TEventFIFO events{100, clock};
  TVisionLink link;
  SetPlan(img, {Row("V120", "G_1T1", 1, 52, kKindLong)});
  img.V120Emul = true;
  img.EmulValues.Set(0, 100);  // an increment of exactly 1.0 a pass
  img.CounterLastKnown = true;

  // At least this many passes, and on until the writer has taken amounts out many times.
  constexpr int kPasses = 200000;
  constexpr int kTakes = 1000;
  std::atomic<bool> done{false};
  std::atomic<int> takes{0};
  double recorded = 0;
  std::thread writer([&] {
    while (!done.load()) {
      const double pending = img.RawValues.Get(0);
      if (pending >= 1) {
        recorded += pending;
        img.RawValues.Add(0, -pending);
        takes.fetch_add(1);
      }
    }
  });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int passes = 0;
  while ((passes < kPasses || takes.load() < kTakes) && std::chrono::steady_clock::now() < until) {
    ASSERT_TRUE(V120_read(img, link, events, true));
    ++passes;
  }
  done = true;
  writer.join();
  EXPECT_GE(takes.load(), kTakes);
  EXPECT_EQ(recorded + img.RawValues.Get(0), passes);
}

}  // namespace
}  // namespace liron
