#include "links/module_watch.h"

namespace liron {

namespace {

const char* const kModuleNames[kModuleCount] = {"JUMO 1", "JUMO 2", "V-120"};

int LinkOf(int m) { return m == kModuleV120 ? kLinkV120 : kLinkJumo; }

bool Valid(int m) { return m >= 0 && m < kModuleCount; }

// A reason on one line of the log: "Не могу открыть COM-порт." spans three.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

TModuleWatch::TModuleWatch(TProcessImage& img, TEventFIFO& events) : img_(img), events_(events) {}

void TModuleWatch::Failed(int m, int row, const std::string& signal, const std::string& reason) {
  if (!Valid(m)) return;
  img_.SetLinkError(LinkOf(m), reason);
  ++failed_in_pass_[m];
  ++failures_[m];
  if (row >= 0 && row < kMaxSignals && !signal_failing_[row]) {
    signal_failing_[row] = true;
    if (!signal.empty()) events_.PostEvent("Сбой чтения сигнала " + signal);
  }
  if (!failing_[m]) {
    failing_[m] = true;
    events_.PostEvent(std::string("*** Сбой опроса модуля ") + kModuleNames[m] + ": " +
                      OneLine(reason) + " ***");
  }
}

void TModuleWatch::Succeeded(int m, int row) {
  if (!Valid(m)) return;
  ++ok_in_pass_[m];
  if (row >= 0 && row < kMaxSignals) signal_failing_[row] = false;
}

void TModuleWatch::EndPass() {
  for (int m = 0; m < kModuleCount; ++m) {
    if (failing_[m] && ok_in_pass_[m] > 0 && failed_in_pass_[m] == 0) {
      events_.PostEvent(std::string("=== Опрос модуля ") + kModuleNames[m] +
                        " восстановлен, сбоев: " + std::to_string(failures_[m]) + " ===");
      failing_[m] = false;
      failures_[m] = 0;
    }
    ok_in_pass_[m] = 0;
    failed_in_pass_[m] = 0;
  }
}

}  // namespace liron
