// QtOperator: message boxes, questions and the beep of the window. Any thread may call it: on
// the GUI thread the box opens at once; a worker thread (the control thread's speed error, for
// one) hands the box to the GUI thread and waits there until the operator has answered.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/operator.h"

namespace liron {

class QtOperator : public QObject, public Operator {
  Q_OBJECT
 public:
  // Lives on the thread that creates it, which must be the GUI thread.
  explicit QtOperator(QObject* parent = nullptr);

  // The window the boxes belong to (may be null: boxes without an owner).
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon) override;
  bool Ask(const std::string& text, const std::string& caption, MsgIcon icon,
           bool default_yes) override;
  void Beep() override;

 private:
  bool OnOwnThread() const;
  void ShowHere(const std::string& text, const std::string& caption, MsgIcon icon);
  bool AskHere(const std::string& text, const std::string& caption, MsgIcon icon,
               bool default_yes);

  QPointer<QWidget> owner_;
};

}  // namespace liron
