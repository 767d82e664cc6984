// The event loop of a Service for tests without a window: one thread that runs the timers as
// the window does (the update tick and the log drain every 250 ms, the write queue and the
// select queue every 100 ms) and, between timer runs, the commands a test hands it, so that
// every command runs on the event-loop thread as it would behind a button.
//
//   Service svc(home, SystemClock(), op);
//   ServicePump pump(svc);                 // declared after the service, so it ends first
//   pump.WaitTicks(10);                    // the start-up sequence has run (LoadConfig at 5)
//   pump.Run([&] { svc.StartControl(); });
//   bool ok = pump.Call([&] { return svc.StopControl(); });
//   pump.Run([&] { svc.OrderlyEnd(); });
//   pump.Stop();                           // the timers end, as the runner stops its timers
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>

#include "engine/service.h"

namespace liron::test {

class ServicePump {
 public:
  using Ms = std::chrono::milliseconds;

  explicit ServicePump(Service& service, Ms tick = Ms(250), Ms sql = Ms(100))
      : service_(service), tick_(tick), sql_(sql), thread_([this] { Loop(); }) {}
  ~ServicePump() { Stop(); }
  ServicePump(const ServicePump&) = delete;
  ServicePump& operator=(const ServicePump&) = delete;

  // Ends the timers after the run in progress; commands already handed over still run.
  void Stop() {
    {
      std::lock_guard<std::mutex> l(mu_);
      if (stop_) return;
      stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Runs fn on the pump thread between timer runs and waits for its end.
  void Run(std::function<void()> fn) { Call([&] { fn(); }); }

  // The same, handing back fn's result.
  template <typename F>
  auto Call(F&& fn) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    std::packaged_task<R()> task(std::forward<F>(fn));
    std::future<R> result = task.get_future();
    {
      std::lock_guard<std::mutex> l(mu_);
      if (stop_) throw std::logic_error("ServicePump stopped");
      commands_.emplace_back([&task] { task(); });
    }
    cv_.notify_all();
    return result.get();
  }

  // Update ticks run so far.
  int Ticks() const {
    std::lock_guard<std::mutex> l(mu_);
    return ticks_;
  }

  // Waits until at least n update ticks have run (the start-up sequence needs 9); false when
  // they did not come within timeout (LoadConfig may take many seconds against a dead server).
  bool WaitTicks(int n, Ms timeout = Ms(60000)) {
    std::unique_lock<std::mutex> l(mu_);
    return ticked_.wait_for(l, timeout, [&] { return ticks_ >= n; });
  }

 private:
  using SteadyClock = std::chrono::steady_clock;

  void Loop() {
    auto next_tick = SteadyClock::now() + tick_;
    auto next_sql = SteadyClock::now() + sql_;
    std::unique_lock<std::mutex> l(mu_);
    while (!stop_) {
      if (!commands_.empty()) {
        std::function<void()> command = std::move(commands_.front());
        commands_.pop_front();
        l.unlock();
        command();
        l.lock();
        continue;
      }
      const auto now = SteadyClock::now();
      if (now >= next_sql) {
        l.unlock();
        service_.RunWriteQueue();
        service_.RunSelectQueue();
        l.lock();
        next_sql = std::max(next_sql + sql_, SteadyClock::now());
        continue;
      }
      if (now >= next_tick) {
        l.unlock();
        service_.OnUpdateTick();
        service_.DrainEvents();
        l.lock();
        ++ticks_;
        ticked_.notify_all();
        next_tick = std::max(next_tick + tick_, SteadyClock::now());
        continue;
      }
      cv_.wait_until(l, std::min(next_tick, next_sql),
                     [&] { return stop_ || !commands_.empty(); });
    }
    // Commands handed over before the stop still run: their callers wait for them.
    while (!commands_.empty()) {
      std::function<void()> command = std::move(commands_.front());
      commands_.pop_front();
      l.unlock();
      command();
      l.lock();
    }
  }

  Service& service_;
  const Ms tick_, sql_;
  mutable std::mutex mu_;
  std::condition_variable cv_, ticked_;
  std::deque<std::function<void()>> commands_;
  bool stop_ = false;
  int ticks_ = 0;
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace liron::test
