// Worker threads with a given stack size and priority. A body that throws is caught at the
// thread's entry: no exception ever leaves a thread.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace liron {

enum class ThreadPriority { Normal, Highest, TimeCritical };

// Raises the calling thread to SCHED_FIFO at a level for the given priority when the process
// may do so; otherwise it keeps the normal policy. Returns whether it was raised.
bool SetCurrentThreadPriority(ThreadPriority priority);

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread();  // joins
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts body on a new thread with the given stack size (rounded up to the system's minimum).
  // False when the thread could not be created, or when this object still holds one.
  bool Start(size_t stack_size, std::function<void()> body);
  // Waits for the thread to end; does nothing when none was started or it was joined already.
  void Join();
  bool Started() const { return started_; }

 private:
  static void* Trampoline(void* arg);
  pthread_t thread_{};
  bool started_ = false;
  std::function<void()> body_;
};

}  // namespace liron
