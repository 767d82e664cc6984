#include "platform/threads.h"

#include <sched.h>

#include <climits>

namespace liron {

bool SetCurrentThreadPriority(ThreadPriority priority) {
  if (priority == ThreadPriority::Normal) return true;
  int lo = sched_get_priority_min(SCHED_FIFO);
  int hi = sched_get_priority_max(SCHED_FIFO);
  if (lo < 0 || hi < 0) return false;
  sched_param sp{};
  // The control thread sits above the polling threads, both well below the kernel's own.
  sp.sched_priority = priority == ThreadPriority::TimeCritical ? lo + 20 : lo + 10;
  if (sp.sched_priority > hi) sp.sched_priority = hi;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp) == 0;
}

WorkerThread::~WorkerThread() { Join(); }

bool WorkerThread::Start(size_t stack_size, std::function<void()> body) {
  if (started_) return false;
  body_ = std::move(body);
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  const size_t min_stack = static_cast<size_t>(PTHREAD_STACK_MIN);
  if (stack_size < min_stack) stack_size = min_stack;
  // Sanitizer runtimes need far more stack than the plant code does.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  if (stack_size < (1u << 20)) stack_size = 1u << 20;
#endif
  pthread_attr_setstacksize(&attr, stack_size);
  int rc = pthread_create(&thread_, &attr, &WorkerThread::Trampoline, this);
  pthread_attr_destroy(&attr);
  started_ = rc == 0;
  return started_;
}

void WorkerThread::Join() {
  if (!started_) return;
  pthread_join(thread_, nullptr);
  started_ = false;
}

void* WorkerThread::Trampoline(void* arg) {
  auto* self = static_cast<WorkerThread*>(arg);
  try {
    self->body_();
  } catch (...) {
    // A thread body reports its own failures; nothing may escape the thread.
  }
  return nullptr;
}

}  // namespace liron
