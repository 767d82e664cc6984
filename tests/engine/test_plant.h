// A plant for tests of the control loop's own rules: every operation is counted, each can be
// made to fail or throw, and the polling threads are real threads that only pace.
#pragma once

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/control_plant.h"
#include "engine/thread_entry.h"
#include "image/process_image.h"
#include "platform/pacing.h"
#include "platform/threads.h"

namespace liron::test {

class TestPlant : public ControlPlant {
 public:
  explicit TestPlant(TProcessImage& img) : img_(img) {}
  ~TestPlant() override { JoinPolling(); }

  void CopyConnectionParams() override { ++starts; }
  bool OpenWork() override {
    ++open_attempts;
    connected = open_succeeds.load();
    return connected;
  }
  bool WorkConnected() override { return connected; }
  // The check runs at once here; a test holds it "in progress" with check_busy.
  bool StartWorkCheck() override {
    if (check_busy) return false;
    if (!connected) {
      ++open_attempts;
      connected = open_succeeds.load();
    }
    last_check_ok = connected.load();
    ++checks_finished;
    return true;
  }
  WorkCheck LastWorkCheck() override { return {checks_finished.load(), last_check_ok.load()}; }
  void CloseWork() override {
    connected = false;
    ++closes;
  }
  void Journal(const std::string& text) override {
    std::lock_guard<std::mutex> l(mu_);
    journal.push_back(text);
  }
  void LoadSetupConsts() override {}
  bool JournalAt(TDateTime moment, const std::string& text) override {
    if (journal_refusals > 0) {
      --journal_refusals;
      return false;
    }
    std::lock_guard<std::mutex> l(mu_);
    journal.push_back(text);
    journal_moments.push_back(moment);
    return true;
  }
  LineStart OpenJumoLine(std::string* port) override {
    *port = "COM9";
    return jumo_opens;
  }
  LineStart OpenV120Link(std::string* port) override {
    *port = "COM8";
    return v120_opens;
  }
  void StartPolling() override {
    ++polling_starts;
    v120_.Start(65536, [this] { RunThreadEntry(img_.V120PollRunning, [this] { Poll(); }); });
    jumo_.Start(65536, [this] { RunThreadEntry(img_.JumoPollRunning, [this] { Poll(); }); });
  }
  void StopPollingAndCloseLines() override {
    JoinPolling();
    polling_running_at_close = img_.JumoPollRunning.load() || img_.V120PollRunning.load();
    ++lines_closed;
  }

  bool TranslateIn() override { return Step(0); }
  bool UpdateStateRecord() override { return Step(1); }
  bool CalcWorks() override { return Step(2); }
  bool ReadControlVector() override { return Step(3); }
  bool UpdatePafRecord() override { return Step(4); }

  std::vector<std::string> Journal() {
    std::lock_guard<std::mutex> l(mu_);
    return journal;
  }
  std::vector<TDateTime> JournalMoments() {  // of the records journalled with a moment
    std::lock_guard<std::mutex> l(mu_);
    return journal_moments;
  }

  std::atomic<int> starts{0}, open_attempts{0}, closes{0}, polling_starts{0}, lines_closed{0};
  std::atomic<bool> connected{false}, open_succeeds{true};
  std::atomic<bool> check_busy{false}, last_check_ok{false};
  std::atomic<uint64_t> checks_finished{0};
  std::atomic<LineStart> jumo_opens{LineStart::Open}, v120_opens{LineStart::Open};
  std::atomic<bool> polling_running_at_close{false};
  std::atomic<int> fail_step{-1}, throw_step{-1};
  std::atomic<int> journal_refusals{0};  // records of an earlier moment turned away (full queue)
  std::atomic<int> step_calls[5] = {};

 private:
  bool Step(int k) {
    ++step_calls[k];
    if (throw_step == k) throw std::runtime_error("step failure");
    return fail_step != k;
  }
  void Poll() {
    while (!img_.StopFlag.load()) {
      uint32_t t = img_.clock.Ticks();
      PaceCycle(img_.clock, img_.StopFlag, t, kCyclePeriodMs);
    }
  }
  void JoinPolling() {
    v120_.Join();
    jumo_.Join();
  }

  TProcessImage& img_;
  std::mutex mu_;
  std::vector<std::string> journal;
  std::vector<TDateTime> journal_moments;
  WorkerThread v120_, jumo_;
};

}  // namespace liron::test
