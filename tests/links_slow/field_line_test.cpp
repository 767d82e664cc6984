// Field lines in real time against the simulators: replies that come after the master gave
// up, a device that vanishes and returns at its path, one that is not there at the start.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "links/jumo_poll.h"
#include "links/v120_poll.h"
#include "links/v120_sim_runner.h"
#include "links/vision_link_texts.h"
#include "support/event_texts.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/test_plan.h"

namespace liron {
namespace {

using test::V120SimRunner;

template <typename Pred>
bool WaitFor(Pred pred, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A polling thread on the real clock, with the events and journal records it made.
struct Polling {
  Polling() : img(SystemClock()), events(200, SystemClock()) {}
  ~Polling() { Stop(); }
  template <typename Body>
  void Start(Body body) {
    thread = std::thread([this, body] {
      body([this](const std::string& text) {
        std::lock_guard<std::mutex> l(mu);
        journal.push_back(text);
      });
    });
  }
  void Stop() {
    img.StopFlag = true;
    if (thread.joinable()) thread.join();
  }
  // Every event so far, oldest first.
  const std::vector<std::string>& Events() {
    for (const std::string& t : test::DrainTexts(events)) seen.push_back(t);
    return seen;
  }
  bool Saw(const std::string& text) {
    const auto& e = Events();
    return std::find(e.begin(), e.end(), text) != e.end();
  }

  TProcessImage img;
  TEventFIFO events;
  std::thread thread;
  std::mutex mu;
  std::vector<std::string> journal, seen;
};

class VisionLinkLate : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start("1 word 16 1234\n1 bit 10 1\n"));
    link.SetPortName(sim.Port());
    link.SetActive(true);
    ASSERT_TRUE(link.Active()) << link.Status();
  }
  V120SimRunner sim;
  TVisionLink link;
};

TEST_F(VisionLinkLate, AReplyToAnotherCommandIsRefusedAndTheNextExchangeSucceeds) {
  // The word's reply comes 1.4 s late, while the master waits for its bit.
  sim.Control("fault late 1 ms=1400\n");
  int32_t word = 0;
  EXPECT_FALSE(link.GetIntArray(16, {&word, 1}, false));
  EXPECT_EQ(link.Status(), kVisionNoReply);
  uint8_t bit = 7;
  EXPECT_FALSE(link.GetBitArray(10, {&bit, 1}));
  EXPECT_EQ(link.Status(), kVisionForeignReply);
  EXPECT_EQ(bit, 7);
  EXPECT_TRUE(link.GetBitArray(10, {&bit, 1})) << link.Status();
  EXPECT_EQ(bit, 1);
}

TEST_F(VisionLinkLate, AReplyToTheSameCommandNeverPassesForTheNext) {
  // Just after the master gave up on it: the same command asked again must not take it.
  sim.Control("fault late 1 ms=1100\n");
  int32_t word = 0;
  link.GetIntArray(16, {&word, 1}, false);  // fails, or (on a slow machine) gets it in time
  sim.Control("1 word 16 4321\n");
  EXPECT_TRUE(link.GetIntArray(16, {&word, 1}, false)) << link.Status();
  EXPECT_EQ(word, 4321);
}

TEST(V120PollingLine, ADeviceThatVanishesIsReadAgainWhenItReturnsAtItsPath) {
  V120SimRunner sim;
  ASSERT_TRUE(sim.Start("1 word 16 1234\n"));
  TVisionLink link;
  link.SetPortName(sim.Port());
  link.SetActive(true);
  ASSERT_TRUE(link.Active()) << link.Status();
  Polling p;
  test::SetPlan(p.img, {{"V120", "V1", "READ", 1, 16, kKindInt}});
  p.Start([&](const JournalSink& journal) { V120PollThread(p.img, link, p.events, journal); });
  ASSERT_TRUE(WaitFor([&] { return p.img.ModuleLastOk[kModuleV120].load() > 0; }, 5000));

  sim.Control("vanish 1500\n");
  const std::string lost = "*** V120: Связь с портом " + sim.Port() + " потеряна ***";
  const std::string back = "=== V120: Связь с портом " + sim.Port() + " восстановлена ===";
  ASSERT_TRUE(WaitFor([&] { return p.Saw(lost); }, 5000)) << ::testing::PrintToString(p.Events());
  ASSERT_TRUE(WaitFor([&] { return p.Saw(back); }, 8000)) << ::testing::PrintToString(p.Events());
  const double returned = SystemClock().Now();
  EXPECT_TRUE(WaitFor([&] { return p.img.ModuleLastOk[kModuleV120].load() > returned; }, 3000));
  p.Stop();
  EXPECT_EQ(p.journal, (std::vector<std::string>{lost, back}));
  // The passes without the line failed, and said so once.
  const std::vector<std::string> events = p.Events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& e) {
                            return e.rfind("*** Сбой опроса модуля V-120: ", 0) == 0;
                          }),
            1)
      << ::testing::PrintToString(events);
  EXPECT_GT(p.img.ModuleErrors[kModuleV120].load(), 0);
}

TEST(JumoPollingLine, ADeviceNotThereAtTheStartIsReadOnceItAppears) {
  test::TempDir dir;
  const std::string port = dir.File("jumo");
  TModBUS bus(SystemClock());
  bus.PortName = port;  // as the control thread leaves a line it awaits
  bus.Speed = 19200;
  Polling p;
  test::SetPlan(p.img, {{"JUMO", "T1", "READ", 1, 0, kKindInt}});
  p.Start([&](const JournalSink& journal) { JumoPollThread(p.img, &bus, p.events, journal); });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(p.img.ModuleLastOk[kModuleJumo1].load(), 0.0);

  test::WriteFileBytes(dir.File("sim.conf"), "slave 1\nreg 0 300\n");
  test::SimProcess sim;
  std::string err;
  ASSERT_TRUE(sim.Start(LIRON_JUMO_SIM, {"--config", dir.File("sim.conf"), "--pty", port}, port,
                        dir.File("sim.out"), 5000, &err))
      << err;
  ASSERT_TRUE(WaitFor([&] { return p.img.ModuleLastOk[kModuleJumo1].load() > 0; }, 6000))
      << ::testing::PrintToString(p.Events());
  EXPECT_EQ(p.img.RawValues.Get(0), 300);
  EXPECT_TRUE(p.Saw("=== JUMO: Связь с портом " + port + " восстановлена ==="));
}

}  // namespace
}  // namespace liron
