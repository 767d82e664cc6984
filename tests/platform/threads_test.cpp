#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace liron {

TEST(WorkerThread, RunsTheBodyAndSwallowsItsException) {
  std::atomic<int> ran{0};
  {
    WorkerThread t;
    ASSERT_TRUE(t.Start(65536, [&] {
      SetCurrentThreadPriority(ThreadPriority::Highest);  // allowed or silently kept
      ++ran;
      throw std::runtime_error("must not end the process");
    }));
    EXPECT_FALSE(t.Start(65536, [] {}));  // one thread per object
    t.Join();
    t.Join();
  }
  EXPECT_EQ(ran, 1);
}

}  // namespace liron
