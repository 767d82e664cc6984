// QtOperator: a box asked for on a worker thread opens on the GUI thread, and the worker waits
// there for the operator's answer. Tray images.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/qt_operator.h"
#include "app/tray_images.h"

namespace liron::test {
namespace {

// Presses the button of the given role on the box that is open, as the operator would.
void PressWhenOpen(QMessageBox::StandardButton which, QString* text, QString* title) {
  QTimer::singleShot(50, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      PressWhenOpen(which, text, title);
      return;
    }
    *text = box->text();
    *title = box->windowTitle();
    box->button(which)->click();
  });
}

void SpinUntil(const std::atomic<bool>& done) {
  for (int i = 0; i < 1000 && !done; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

TEST(QtOperatorTest, AWorkerWaitsForTheAnswerOnTheGuiThread) {
  QtOperator op;
  QString text, title;
  PressWhenOpen(QMessageBox::Yes, &text, &title);
  std::atomic<bool> done{false};
  bool yes = false;
  Qt::HANDLE asker = nullptr;
  std::thread worker([&] {
    asker = QThread::currentThreadId();
    yes = op.Ask("Применить?\r\nДа или нет", "Калибровки", MsgIcon::Warning, false);
    done = true;
  });
  SpinUntil(done);
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_TRUE(yes);
  EXPECT_NE(asker, QThread::currentThreadId());
  EXPECT_EQ(text, QStringLiteral("Применить?\nДа или нет"));
  EXPECT_EQ(title, QStringLiteral("Калибровки"));
}

TEST(QtOperatorTest, AMessageFromAWorkerReturnsOnceClosed) {
  QtOperator op;
  QString text, title;
  PressWhenOpen(QMessageBox::Ok, &text, &title);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    op.ShowMessage("Попытка соединения с неправильной скоростью!", "Фатальная ошибка!",
                   MsgIcon::Error);
    done = true;
  });
  SpinUntil(done);
  worker.join();
  EXPECT_EQ(text, QStringLiteral("Попытка соединения с неправильной скоростью!"));
  EXPECT_EQ(title, QStringLiteral("Фатальная ошибка!"));
}

TEST(QtOperatorTest, OnTheGuiThreadTheBoxOpensAtOnceWithNoAsDefault) {
  QtOperator op;
  QMessageBox::StandardButton default_button = QMessageBox::NoButton;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    default_button = box->standardButton(box->defaultButton());
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(op.Ask("Выйти?", "Выход", MsgIcon::Question, false));
  EXPECT_EQ(default_button, QMessageBox::No);
}

TEST(TrayImagesTest, ThreeDifferentImages) {
  const QImage stopped = TrayImageAt(0), one = TrayImageAt(1), two = TrayImageAt(2);
  EXPECT_EQ(stopped.size(), QSize(32, 32));
  EXPECT_NE(stopped, one);
  EXPECT_NE(one, two);
  EXPECT_NE(stopped, two);
  EXPECT_EQ(TrayImageAt(7), stopped);
  EXPECT_FALSE(TrayIconAt(1).isNull());
}

}  // namespace
}  // namespace liron::test
