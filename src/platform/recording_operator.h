// An Operator for tests: remembers every message, question and beep; answers questions with
// a configurable reply. Safe to call from several threads.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/operator.h"

namespace liron {

class RecordingOperator : public Operator {
 public:
  struct Message {
    std::string text, caption;
    MsgIcon icon;
  };

  void ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon) override {
    std::lock_guard<std::mutex> l(mu_);
    messages_.push_back({text, caption, icon});
  }
  bool Ask(const std::string& text, const std::string& caption, MsgIcon icon, bool) override {
    std::lock_guard<std::mutex> l(mu_);
    questions_.push_back({text, caption, icon});
    return answer_;
  }
  void Beep() override {
    std::lock_guard<std::mutex> l(mu_);
    ++beeps_;
  }

  void SetAnswer(bool yes) {
    std::lock_guard<std::mutex> l(mu_);
    answer_ = yes;
  }
  std::vector<Message> Messages() {
    std::lock_guard<std::mutex> l(mu_);
    return messages_;
  }
  std::vector<Message> Questions() {
    std::lock_guard<std::mutex> l(mu_);
    return questions_;
  }
  int Beeps() {
    std::lock_guard<std::mutex> l(mu_);
    return beeps_;
  }

 private:
  std::mutex mu_;
  std::vector<Message> messages_, questions_;
  int beeps_ = 0;
  bool answer_ = false;
};

}  // namespace liron
