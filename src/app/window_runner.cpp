#include "app/window_runner.h"

#include <signal.h>

#include <QApplication>

#include "app/form_main.h"
#include "app/qt_operator.h"
#include "app/signal_pipe.h"
#include "engine/service.h"

namespace liron {

int RunWindow(int argc, char** argv, const std::string& home, bool start_hidden) {
  QApplication app(argc, argv);
  app.setApplicationName(QString::fromUtf8(kAppTitle));
  app.setQuitOnLastWindowClosed(false);  // hidden behind the tray icon is still running
  QtOperator op;
  Service service(home, SystemClock(), op);
  TFormMain form(service);
  // SIGTERM and SIGHUP end the session as the desktop's logout does; SIGINT (Ctrl+C where the
  // program was started from a terminal) too, since nobody can answer the close question there.
  SignalPipe signal_pipe([&](int) {
    signal_pipe.Disable();
    form.SessionEnd();
  });
  form.ShowAtStart(start_hidden);
  return app.exec();
}

}  // namespace liron
