// JUMO polling against jumo-sim: reading the plan, module status, events, the setpoint write
// passes, the hardware-write switch and emulation.
#include "links/jumo_poll.h"

#include <thread>

#include <gtest/gtest.h>

#include "links/jumo_sim_fixture.h"
#include "links/setpoint_write.h"
#include "platform/datetime.h"
#include "platform/clock.h"
#include "platform/fake_clock.h"

namespace liron {
namespace {

using test::JumoSim;

const char kPlant[] =
    "slave 1\n"
    "reg 0 300\n"
    "float 0x0020 0\n"
    "float 0x0050 nan\n"
    "slave 2\n"
    "float 0x0010 100.0\n"
    "float 0x0030 55.5 order=DCBA\n"
    "slave 3\n"
    "float 0x0040 -4.25\n";

TSignalSet Row(const std::string& bus, const std::string& name, int dev, uint16_t addr, int kind,
               bool bytes = true, bool words = false, const std::string& dir = "READ") {
  TSignalSet s;
  s.BusName = bus;
  s.SignalName = name;
  s.DevNum = dev;
  s.Addr = addr;
  s.Kind = kind;
  s.InverseBytes = bytes;
  s.InverseWords = words;
  s.Direction = dir;
  return s;
}

void SetPlan(TProcessImage& img, const std::vector<TSignalSet>& rows) {
  img.Signals = rows;
  img.SignalNames.clear();
  for (const auto& r : rows) img.SignalNames.push_back(r.SignalName);
  img.SignalCount = static_cast<int32_t>(rows.size());
}

std::vector<std::string> Events(TEventFIFO& fifo) {
  std::vector<std::string> out;
  std::string t;
  TDateTime m;
  uint32_t s;
  while (fifo.Pop(t, m, s)) out.push_back(t);
  return out;
}

class JumoPollTest : public ::testing::Test {
 protected:
  JumoPollTest()
      : clock_(45000.5), img_(clock_), events_(200, clock_), sim_(kPlant), bus_(SystemClock()) {
    img_.Delivery.SetJournal([this](const std::string& text) { journal_.push_back(text); });
    bus_.PortName = sim_.port();
    if (sim_.started()) {
      EXPECT_TRUE(bus_.OpenPort(19200)) << bus_.LastError;
    }
  }
  // The image runs on a fake clock (stamps and pauses); the bus times its hunt for real.
  FakeClock clock_;
  TProcessImage img_;
  TEventFIFO events_;
  TModuleWatch watch_{img_, events_};
  JumoSim sim_;
  TModBUS bus_;
  std::vector<std::string> journal_;  // the delivery's journal records
};

TEST_F(JumoPollTest, ReadsThePlanIntoRawValuesAndStampsBothModules) {
  ASSERT_TRUE(sim_.started());
  SetPlan(img_, {
                    Row("JUMO", "T1", 1, 0x0000, kKindInt),               // 0: register
                    Row("JUMO", "PLS", 2, 0x0010, kKindFloat),            // 1: float
                    Row("JUMO", "_PLSZ", 1, 0x0020, kKindFloat),          // 2: setpoint
                    Row("JUMO", "", 1, 0x0000, kKindInt),                 // 3: no name
                    Row("V120", "I_1", 1, 0x0000, kKindInt),              // 4: other bus
                    Row("jumo", "LOW", 1, 0x0000, kKindInt),              // 5: case matters
                    Row("JUMO", "LVL", 2, 0x0030, kKindLong, false, false, "WRITE"),  // 6
                    Row("JUMO", "B3", 3, 0x0040, kKindBit),               // 7: DevNum 3 -> JUMO 2
                });
  for (int i = 0; i < 8; ++i) img_.RawValues.Set(i, -7.0);
  EXPECT_TRUE(ModBUS_read(img_, &bus_, events_, watch_));

  EXPECT_EQ(img_.RawValues.Get(0), 300.0);
  EXPECT_EQ(img_.RawValues.Get(1), 100.0);
  EXPECT_EQ(img_.RawValues.Get(6), 55.5);   // read although its Direction says WRITE
  EXPECT_EQ(img_.RawValues.Get(7), -4.25);  // LONG and BIT are IEEE singles too
  for (int i : {2, 3, 4, 5}) EXPECT_EQ(img_.RawValues.Get(i), -7.0) << i;
  // Stamped at the moment of each module's last good reading: T1 first, B3 after three pauses.
  EXPECT_EQ(img_.ModuleLastOk[kModuleJumo1].load(), 45000.5);
  EXPECT_DOUBLE_EQ(img_.ModuleLastOk[kModuleJumo2].load(), 45000.5 + 150 / 86400000.0);
  EXPECT_EQ(img_.ModuleErrors[kModuleJumo1].load(), 0);
  EXPECT_EQ(img_.ModuleErrors[kModuleJumo2].load(), 0);
  EXPECT_TRUE(Events(events_).empty());
  // Four reads, each followed by its 50 ms pause; nothing else was asked of the line.
  EXPECT_EQ(clock_.Sleeps(), (std::vector<uint32_t>{50, 50, 50, 50}));
  const auto rx = sim_.LogLines("rx ");
  ASSERT_EQ(rx.size(), 4u);
  EXPECT_EQ(rx[0], "rx slave=1 fn=3 bytes=01 03 00 00 00 01 84 0A");
  EXPECT_EQ(rx[1], "rx slave=2 fn=3 bytes=02 03 00 10 00 02 C5 FD");
}

TEST_F(JumoPollTest, FailingReadingsAreReportedWhenTheyBeginAndWhenTheModuleRecovers) {
  ASSERT_TRUE(sim_.started());
  SetPlan(img_, {Row("JUMO", "T1", 1, 0x0000, kKindInt), Row("JUMO", "PLS", 2, 0x0010, kKindFloat),
                 Row("JUMO", "BROKEN", 1, 0x0050, kKindFloat)});  // a sensor that sends NaN
  img_.RawValues.Set(1, 12.5);
  img_.RawValues.Set(2, 1.25);
  sim_.SetFaults("fault silence slave=2 count=3\n");
  for (int pass = 1; pass <= 4; ++pass) {
    EXPECT_TRUE(ModBUS_read(img_, &bus_, events_, watch_));
    EXPECT_EQ(img_.ModuleErrors[kModuleJumo2].load(), std::min(pass, 3));
    EXPECT_EQ(img_.ModuleErrors[kModuleJumo1].load(), pass);
    EXPECT_EQ(img_.RawValues.Get(1), pass < 4 ? 12.5 : 100.0);  // kept while failing
  }
  EXPECT_EQ(img_.RawValues.Get(2), 1.25);
  // The first failed pass names each signal and each module's reason, the next ones say
  // nothing, and the pass that reads JUMO 2 again says so with the count.
  EXPECT_EQ(Events(events_),
            (std::vector<std::string>{
                "Сбой чтения сигнала PLS",
                "*** Сбой опроса модуля JUMO 2: Нет ответа от контроллера. Проверте аппаратуру. ***",
                "Сбой чтения сигнала BROKEN",
                "*** Сбой опроса модуля JUMO 1: Значение сигнала не является числом. ***",
                "=== Опрос модуля JUMO 2 восстановлен, сбоев: 3 ==="}));
  EXPECT_EQ(img_.LinkError(kLinkJumo), "Значение сигнала не является числом.");
}

// The order of a row entered at 10:00:07 on 1 March 2020, owed to every controller of the plan
// that has a setpoint row, `writes` confirmed writes each.
TSetpointOrder RaiseOrder(TProcessImage& img, std::optional<double> plsz,
                          std::optional<double> urnsz, int writes, int minute = 0) {
  TSetpointOrder order;
  order.Plsz = plsz;
  order.Urnsz = urnsz;
  order.Moment = EncodeDateTime(2020, 3, 1, 10, minute, 7);
  img.Delivery.Raise(order, SetpointControllers(img.Signals, img.SignalCount, order), {}, writes);
  return order;
}

TEST_F(JumoPollTest, OrderIsWrittenUntilEachControllerConfirmedItsWrites) {
  ASSERT_TRUE(sim_.started());
  SetPlan(img_, {Row("JUMO", "PLS", 2, 0x0010, kKindFloat),
                 Row("JUMO", "_PLSZ", 1, 0x0020, kKindFloat),
                 Row("JUMO", "_URNSZ", 2, 0x0030, kKindFloat, false, false)});
  const TSetpointOrder order = RaiseOrder(img_, 1.45, 2.5, 6);  // MaxWriteCount 5

  auto writes = [&] { return sim_.CountLines("write "); };
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(journal_, (std::vector<std::string>{DeliveredText(1, order.Moment),
                                                DeliveredText(2, order.Moment)}));
  // The control thread starts again and clears its frames: the order is still what is sent.
  img_.ClearValues();
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(writes(), 4u);  // two passes, two setpoints each
  // Switched off, and then under emulation: the order waits with its writes untouched; the
  // wait for the emulator is journalled once.
  img_.HardWriteOff = true;
  clock_.ClearSleeps();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  img_.HardWriteOff = false;
  img_.JumoEmul = true;
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(clock_.Sleeps(), (std::vector<uint32_t>(5, 100)));
  EXPECT_EQ(writes(), 4u);
  EXPECT_TRUE(img_.Delivery.Pending());
  EXPECT_EQ(journal_.size(), 3u);
  EXPECT_EQ(journal_.back(), EmulationHoldText(order.Moment));
  img_.JumoEmul = false;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_FALSE(img_.Delivery.Pending());
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));  // nothing owed: no write
  const auto w = sim_.LogLines("write ");
  ASSERT_EQ(w.size(), 12u);  // 6 passes x 2 setpoints
  EXPECT_EQ(w[0], "write slave=1 reg=32 count=2 value=1.45000005 order=ABCD");
  EXPECT_EQ(w[1], "write slave=2 reg=48 count=2 value=2.5 order=DCBA");
  for (size_t k = 2; k < w.size(); ++k) EXPECT_EQ(w[k], w[k % 2]) << k;
  EXPECT_TRUE(sim_.LogLines("rx slave=2 fn=3").empty());  // a write pass reads nothing
  EXPECT_EQ(journal_.size(), 3u);
  EXPECT_TRUE(Events(events_).empty());
}

TEST_F(JumoPollTest, ControllerThatAnswersNoWritesReceivesTheOrderWhenItReturns) {
  ASSERT_TRUE(sim_.started());
  SetPlan(img_, {Row("JUMO", "_PLSZ", 1, 0x0020, kKindFloat),
                 Row("JUMO", "_URNSZ", 2, 0x0030, kKindFloat, false, false)});
  const TSetpointOrder first = RaiseOrder(img_, 1.45, 2.5, 2);
  sim_.SetFaults("fault exception slave=2\n");
  // Ten seconds of refusals: written every pass, one event, counted for nobody.
  for (int pass = 0; pass < 3; ++pass) {
    EXPECT_FALSE(HardWrite(img_, &bus_, events_));
    clock_.Advance(5000);
  }
  EXPECT_EQ(Events(events_), std::vector<std::string>{"Сбой записи задания в контроллер JUMO 2"});
  EXPECT_EQ(journal_, std::vector<std::string>{DeliveredText(1, first.Moment)});
  sim_.SetFaults("");
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_FALSE(img_.Delivery.Pending());
  EXPECT_EQ(journal_.back(), DeliveredText(2, first.Moment));
  EXPECT_EQ(journal_.back(), "=== Задание от 01.03.2020 10:00:07 принято контроллером JUMO 2 ===");
  EXPECT_EQ(sim_.CountLines("write slave=2 "), 2u);  // the refused writes are not counted

  // A controller that stays away for a minute: the order is journalled as undelivered and
  // rests until its module has failed a reading and read well again.
  const TSetpointOrder second = RaiseOrder(img_, 1.5, 3.0, 1, 5);
  sim_.SetFaults("fault exception slave=2\n");
  for (int pass = 0; pass < 4; ++pass) {
    EXPECT_FALSE(HardWrite(img_, &bus_, events_));
    clock_.Advance(20000);
  }
  EXPECT_EQ(Events(events_), std::vector<std::string>{"Сбой записи задания в контроллер JUMO 2"});
  EXPECT_EQ(journal_.back(), UndeliveredText(2, second.Moment));
  EXPECT_FALSE(img_.Delivery.Pending());
  sim_.SetFaults("");
  const size_t written = sim_.CountLines("write ");
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(sim_.CountLines("write "), written);
  img_.ModuleErrors[kModuleJumo2] += 1;
  img_.StampModuleRead(kModuleJumo2);
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(journal_.back(), DeliveredText(2, second.Moment));
  EXPECT_EQ(sim_.CountLines("write slave=2 reg=48 count=2 value=3 order=DCBA"), 1u);
}

TEST_F(JumoPollTest, OnlyRowsWithASetpointAreWrittenAndEveryOneOfThem) {
  ASSERT_TRUE(sim_.started());
  SetPlan(img_, {Row("JUMO", "_PLSZ", 1, 0x0020, kKindFloat),
                 Row("JUMO", "_SPARE", 1, 0x0000, kKindInt),     // carries no setpoint
                 Row("JUMO", "_plsz", 2, 0x0010, kKindFloat),    // shares the density's name
                 Row("JUMO", "_URNSZ", 3, 0x0040, kKindFloat)}); // never given
  RaiseOrder(img_, 1.45, std::nullopt, 1);
  EXPECT_TRUE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(sim_.LogLines("write "),
            (std::vector<std::string>{"write slave=1 reg=32 count=2 value=1.45000005 order=ABCD",
                                      "write slave=2 reg=16 count=2 value=1.45000005 order=ABCD"}));
  ReportUnwrittenSetpointRows(img_, events_);
  EXPECT_EQ(Events(events_),
            std::vector<std::string>{"### Сигнал без задания не записывается: _SPARE ###"});
}

TEST_F(JumoPollTest, ClosedLineFailsTheWriteAndGivesTheOrderBackWhenItReopens) {
  ASSERT_TRUE(sim_.started());
  SetPlan(img_, {Row("JUMO", "_PLSZ", 9, 0x0020, kKindFloat)});  // nobody answers to 9
  RaiseOrder(img_, 1.45, 2.5, 1);
  TModBUS closed(SystemClock());
  EXPECT_FALSE(HardWrite(img_, &closed, events_));
  clock_.Advance(kSetpointGiveUpMs);
  EXPECT_FALSE(HardWrite(img_, nullptr, events_));
  EXPECT_FALSE(img_.Delivery.Pending());
  EXPECT_EQ(journal_.size(), 1u);
  // Open again: the order goes out at once (and fails on the wire this time).
  EXPECT_FALSE(HardWrite(img_, &bus_, events_));
  EXPECT_EQ(sim_.CountLines("rx slave=9 fn=16"), 1u);
}

TEST(JumoPollNoLine, EmulationNeverTouchesTheBus) {
  FakeClock clock(45000.25);
  TProcessImage img(clock);
  TEventFIFO events(50, clock);
  SetPlan(img, {Row("JUMO", "T1", 1, 0, kKindInt), Row("JUMO", "_PLSZ", 2, 0x20, kKindFloat),
                Row("JUMO", "PLS", 1, 0x10, kKindFloat)});
  img.EmulValues.Set(0, 11.0);
  img.EmulValues.Set(1, 22.0);
  img.EmulValues.Set(2, 33.0);
  // Not emulating and no connected bus: false, module status untouched.
  TModBUS closed(SystemClock());
  TModuleWatch watch(img, events);
  EXPECT_FALSE(ModBUS_read(img, &closed, events, watch));
  EXPECT_FALSE(ModBUS_read(img, nullptr, events, watch));
  EXPECT_EQ(img.ModuleLastOk[0].load(), 0.0);

  img.JumoEmul = true;
  EXPECT_TRUE(ModBUS_read(img, nullptr, events, watch));
  EXPECT_EQ(img.RawValues.Get(0), 11.0);
  EXPECT_EQ(img.RawValues.Get(1), 0.0);  // a setpoint is not read
  EXPECT_EQ(img.RawValues.Get(2), 33.0);
  EXPECT_EQ(img.ModuleLastOk[kModuleJumo1].load(), clock.Now());
  EXPECT_EQ(img.ModuleLastOk[kModuleJumo2].load(), 0.0);  // no read signal on JUMO 2
  EXPECT_TRUE(clock.Sleeps().empty());                   // no pauses in emulation
  EXPECT_TRUE(Events(events).empty());
}

TEST(JumoPollNoLine, ThreadCountsPassesAndStopsOnTheFlag) {
  FakeClock clock;
  TProcessImage img(clock);
  TEventFIFO events(50, clock);
  SetPlan(img, {Row("JUMO", "T1", 1, 0, kKindInt)});
  img.JumoEmul = true;
  // Raised before the start: the counter restarts from 0 and no pass runs.
  img.JumoCycleCounter = 77;
  img.StopFlag = true;
  JumoPollThread(img, nullptr, events);
  EXPECT_EQ(img.JumoCycleCounter.load(), 0);
  EXPECT_TRUE(clock.Sleeps().empty());

  img.StopFlag = false;
  std::thread t([&] { JumoPollThread(img, nullptr, events); });
  while (img.JumoCycleCounter.load() < 5) std::this_thread::yield();
  img.StopFlag = true;
  t.join();
  EXPECT_GE(img.JumoCycleCounter.load(), 5);
  EXPECT_EQ(img.RawValues.Get(0), 0.0);
  // Each pass: the 100 ms idle write pass, then pacing up to the 980 ms period.
  const auto sleeps = clock.Sleeps();
  ASSERT_GE(sleeps.size(), 6u);
  EXPECT_EQ(sleeps[0], 100u);
  EXPECT_EQ(sleeps[1] + sleeps[2] + sleeps[3] + sleeps[4] + sleeps[5], 880u);
}

}  // namespace
}  // namespace liron
