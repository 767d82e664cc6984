// Plays the GUI thread's select timer for tests of code that runs on the control thread:
// answers the select queue from a thread of its own, on a real connection, until destroyed.
// A requester is woken inside RunSelectQueue, before the run's count is added, so Served()
// waits for the run in progress: a test reading it right after its select has its answer
// counted.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "db/mysql_connection.h"
#include "db/sql_queues.h"

namespace liron::test {

class SelectServer {
 public:
  SelectServer(TSqlQueues& queues, TMySQLConnection& conn)
      : thread_([this, &queues, &conn] {
          while (!stop_) {
            {
              std::lock_guard<std::mutex> l(run_mu_);
              served_ += queues.RunSelectQueue(conn);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}
  ~SelectServer() {
    stop_ = true;
    thread_.join();
  }
  SelectServer(const SelectServer&) = delete;
  SelectServer& operator=(const SelectServer&) = delete;

  int Served() const {
    std::lock_guard<std::mutex> l(run_mu_);
    return served_;
  }

 private:
  std::atomic<bool> stop_{false};
  mutable std::mutex run_mu_;
  int served_ = 0;
  std::thread thread_;
};

}  // namespace liron::test
