#include "app/qt_operator.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace liron {
namespace {

QMessageBox::Icon ToQt(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// The texts of the service carry "\r\n" as the line break; the box wants "\n".
QString BoxText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  return s;
}

}  // namespace

QtOperator::QtOperator(QObject* parent) : QObject(parent) {}

bool QtOperator::OnOwnThread() const { return QThread::currentThread() == thread(); }

void QtOperator::ShowHere(const std::string& text, const std::string& caption, MsgIcon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), BoxText(text), QMessageBox::Ok,
                  owner_.data());
  box.exec();
}

bool QtOperator::AskHere(const std::string& text, const std::string& caption, MsgIcon icon,
                         bool default_yes) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), BoxText(text),
                  QMessageBox::Yes | QMessageBox::No, owner_.data());
  box.setDefaultButton(default_yes ? QMessageBox::Yes : QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtOperator::ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon) {
  try {
    if (OnOwnThread()) {
      ShowHere(text, caption, icon);
      return;
    }
    // The worker waits for the operator, as it would on the box itself.
    QMetaObject::invokeMethod(
        this,
        [&] {
          try {
            ShowHere(text, caption, icon);
          } catch (...) {
            QApplication::beep();
          }
        },
        Qt::BlockingQueuedConnection);
  } catch (...) {
    Beep();
  }
}

bool QtOperator::Ask(const std::string& text, const std::string& caption, MsgIcon icon,
                     bool default_yes) {
  try {
    if (OnOwnThread()) return AskHere(text, caption, icon, default_yes);
    bool yes = false;
    QMetaObject::invokeMethod(
        this,
        [&] {
          try {
            yes = AskHere(text, caption, icon, default_yes);
          } catch (...) {
            QApplication::beep();
          }
        },
        Qt::BlockingQueuedConnection);
    return yes;
  } catch (...) {
    Beep();
    return false;
  }
}

void QtOperator::Beep() {
  if (OnOwnThread()) {
    QApplication::beep();
    return;
  }
  // Not waited for: a beep needs no answer.
  QMetaObject::invokeMethod(this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

}  // namespace liron
