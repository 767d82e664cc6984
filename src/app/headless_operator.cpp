#include "app/headless_operator.h"

#include <cstdio>

namespace liron {

void HeadlessOperator::ShowMessage(const std::string& text, const std::string& caption, MsgIcon) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (TEventFIFO* events = events_.load()) events->PostEvent(caption + ": " + text);
}

bool HeadlessOperator::Ask(const std::string& text, const std::string& caption, MsgIcon,
                           bool default_yes) {
  std::fprintf(stderr, "%s: %s -> %s\n", caption.c_str(), text.c_str(), default_yes ? "Yes" : "No");
  std::fflush(stderr);
  return default_yes;
}

}  // namespace liron
