// Takes every event out of a ring buffer and returns their texts, oldest first.
#pragma once

#include <string>
#include <vector>

#include "platform/event_fifo.h"

namespace liron::test {

inline std::vector<std::string> DrainTexts(TEventFIFO& fifo) {
  std::vector<std::string> out;
  std::string text;
  TDateTime moment;
  uint32_t secs;
  while (fifo.Pop(text, moment, secs)) out.push_back(text);
  return out;
}

inline bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const auto& t : texts)
    if (t == text) return true;
  return false;
}

}  // namespace liron::test
