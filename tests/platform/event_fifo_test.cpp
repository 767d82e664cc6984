#include "platform/event_fifo.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/datetime.h"
#include "platform/fake_clock.h"
#include "platform/recording_operator.h"

namespace liron {
namespace {

TEST(EventFifo, SmallCapacityGivesTenSlots) {
  FakeClock clock;
  TEventFIFO fifo(5, clock);
  EXPECT_EQ(fifo.Capacity(), 10);
}

TEST(EventFifo, FullBufferRefusesWithABeepUntilOnePopped) {
  FakeClock clock;
  RecordingOperator op;
  TEventFIFO fifo(400, clock, &op);
  for (int i = 0; i < 400; ++i) ASSERT_TRUE(fifo.PostEvent("e" + std::to_string(i)));
  EXPECT_FALSE(fifo.PostEvent("401st"));
  EXPECT_EQ(op.Beeps(), 1);
  EXPECT_FALSE(fifo.PostEvent(""));  // empty text: refused, no beep
  EXPECT_EQ(op.Beeps(), 1);
  std::string text;
  TDateTime m;
  uint32_t s;
  ASSERT_TRUE(fifo.Pop(text, m, s));
  EXPECT_EQ(text, "e0");
  EXPECT_TRUE(fifo.PostEvent("accepted again"));
}

TEST(EventFifo, KeepsOrderAcrossTheEndOfTheRingAndStampsTime) {
  FakeClock clock(EncodeDateTime(2009, 10, 3, 15, 50, 16), 3u * 3600u * 1000u + 999u);
  TEventFIFO fifo(10, clock);
  std::string text;
  TDateTime m;
  uint32_t s;
  int next_in = 0, next_out = 0;
  for (int round = 0; round < 7; ++round) {
    for (int k = 0; k < 6; ++k) ASSERT_TRUE(fifo.Push(std::to_string(next_in++)));
    for (int k = 0; k < 6; ++k) {
      ASSERT_TRUE(fifo.Pop(text, m, s));
      EXPECT_EQ(text, std::to_string(next_out++));
    }
  }
  EXPECT_FALSE(fifo.Pop(text, m, s));
  fifo.Push("x");
  fifo.Pop(text, m, s);
  EXPECT_EQ(s, 10800u);
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn:ss", m), "03.10.2009 15:50:16");
}

TEST(EventFifo, ConcurrentProducersLoseNothingBelowCapacity) {
  TEventFIFO fifo(400, SystemClock());
  std::vector<std::thread> producers;
  for (int t = 0; t < 4; ++t)
    producers.emplace_back([&fifo, t] {
      for (int i = 0; i < 100; ++i) fifo.PostEvent(std::to_string(t * 1000 + i));
    });
  int popped = 0;
  std::string text;
  TDateTime m;
  uint32_t s;
  for (auto& p : producers) p.join();
  while (fifo.Pop(text, m, s)) ++popped;
  EXPECT_EQ(popped, 400);
}

}  // namespace
}  // namespace liron
