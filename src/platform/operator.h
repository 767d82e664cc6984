// The operator seam: how the service shows a message box, asks a question and beeps.
// The window marshals these to the GUI thread; the headless runner writes them to the log;
// tests record them.
#pragma once

#include <string>

namespace liron {

enum class MsgIcon { Information, Warning, Error, Question };

class Operator {
 public:
  virtual ~Operator() = default;
  // Modal message box; returns once the operator closed it.
  virtual void ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon) = 0;
  // Yes/No question; true only for Yes. default_yes says which button is the default.
  virtual bool Ask(const std::string& text, const std::string& caption, MsgIcon icon,
                   bool default_yes) = 0;
  // The simple system beep.
  virtual void Beep() = 0;
};

}  // namespace liron
