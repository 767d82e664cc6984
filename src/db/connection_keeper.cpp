#include "db/connection_keeper.h"

#include <chrono>

namespace liron {

TConnectionKeeper::TConnectionKeeper(TMySQLConnection& conn) : conn_(conn) {}

TConnectionKeeper::~TConnectionKeeper() {
  {
    std::lock_guard<std::mutex> l(mu_);
    ending_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

template <typename Job>
bool TConnectionKeeper::StartLocked(Job job) {
  if (busy_ || ending_) return false;
  if (thread_.joinable()) thread_.join();  // has ended: busy_ is cleared as its last step
  busy_ = true;
  try {
    thread_ = std::thread([this, job] {
      job();
      MySqlThreadEnd();
      std::lock_guard<std::mutex> l(mu_);
      busy_ = false;
      cv_.notify_all();
    });
  } catch (...) {
    busy_ = false;
    return false;
  }
  return true;
}

bool TConnectionKeeper::StartCheckLocked() {
  return StartLocked([this] {
    std::string e;
    const bool ok = conn_.Connected() || conn_.Open(&e);
    std::lock_guard<std::mutex> g(mu_);
    check_ok_ = ok;
    check_error_ = e;
    ++checks_finished_;
  });
}

bool TConnectionKeeper::StartCheck() {
  std::lock_guard<std::mutex> l(mu_);
  return StartCheckLocked();
}

TConnectionKeeper::Result TConnectionKeeper::LastCheck() const {
  std::lock_guard<std::mutex> l(mu_);
  return {checks_finished_, check_ok_, check_error_};
}

TConnectionKeeper::Check TConnectionKeeper::Ensure(uint32_t wait_ms, std::string* error) {
  std::unique_lock<std::mutex> l(mu_);
  if (!StartCheckLocked()) return Check::Busy;
  if (!cv_.wait_for(l, std::chrono::milliseconds(wait_ms), [this] { return !busy_; }))
    return Check::Busy;
  thread_.join();  // it has let go of mu_ and only returns: no thread left behind
  if (check_ok_) return Check::Open;
  if (error) *error = check_error_.empty() ? "нет ответа сервера" : check_error_;
  return Check::Failed;
}

bool TConnectionKeeper::Pause(uint32_t ms) {
  std::unique_lock<std::mutex> l(mu_);
  return !cv_.wait_for(l, std::chrono::milliseconds(ms), [this] { return ending_; });
}

void TConnectionKeeper::KeepOpening(int attempts, uint32_t gap_ms, uint32_t retry_ms) {
  std::lock_guard<std::mutex> l(mu_);
  opening_ = Opening{};
  opening_.Running = StartLocked([this, attempts, gap_ms, retry_ms] {
    for (int attempt = 0;; ++attempt) {
      std::string e;
      const bool ok = conn_.Open(&e);
      {
        std::lock_guard<std::mutex> g(mu_);
        if (ok) {
          opening_.Opened = true;
        } else {
          ++opening_.Failures;
          opening_.Error = e;
        }
        opening_.Running = !ok;
      }
      if (ok || !Pause(attempt + 1 < attempts ? gap_ms : retry_ms)) break;
    }
    std::lock_guard<std::mutex> g(mu_);
    opening_.Running = false;
  });
}

TConnectionKeeper::Opening TConnectionKeeper::OpeningState() const {
  std::lock_guard<std::mutex> l(mu_);
  return opening_;
}

void TConnectionKeeper::Reap() {
  std::unique_lock<std::mutex> l(mu_);
  // A thread whose work is done is only ending: a moment at most.
  if (cv_.wait_for(l, std::chrono::milliseconds(200), [this] { return !busy_; }) && thread_.joinable())
    thread_.join();
}

bool TConnectionKeeper::Busy() const {
  std::lock_guard<std::mutex> l(mu_);
  return busy_;
}

}  // namespace liron
