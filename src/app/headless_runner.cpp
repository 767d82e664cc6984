#include "app/headless_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "app/headless_operator.h"
#include "engine/service.h"

namespace liron {
namespace {

int g_signal_pipe[2] = {-1, -1};

void OnSignal(int sig) {
  const unsigned char b = static_cast<unsigned char>(sig);
  // Nothing but a write is safe here; the event loop does the rest.
  [[maybe_unused]] ssize_t n = write(g_signal_pipe[1], &b, 1);
}

bool InstallSignalPipe() {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  return true;
}

// Runs a handler of the service; nothing may leave a timer slot.
template <typename F>
void Guarded(Operator& op, F&& f) {
  try {
    f();
  } catch (...) {
    op.Beep();
  }
}

}  // namespace

int RunHeadless(int argc, char** argv, const std::string& home) {
  QCoreApplication app(argc, argv);
  if (!InstallSignalPipe()) {
    std::perror("liron36: signal pipe");
    return 1;
  }
  HeadlessOperator op;
  Service service(home, SystemClock(), op);
  op.SetEvents(&service.Events());
  service.WindowCreated();

  QTimer update, get_log, sql_work, sql_select;
  QObject::connect(&update, &QTimer::timeout, [&] { Guarded(op, [&] { service.OnUpdateTick(); }); });
  QObject::connect(&get_log, &QTimer::timeout, [&] { Guarded(op, [&] { service.DrainEvents(); }); });
  QObject::connect(&sql_work, &QTimer::timeout, [&] { Guarded(op, [&] { service.RunWriteQueue(); }); });
  QObject::connect(&sql_select, &QTimer::timeout, [&] { Guarded(op, [&] { service.RunSelectQueue(); }); });
  update.start(250);
  get_log.start(250);
  sql_work.start(100);
  sql_select.start(100);

  QSocketNotifier notifier(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    unsigned char sig = 0;
    if (read(g_signal_pipe[0], &sig, 1) != 1) return;
    notifier.setEnabled(false);
    for (QTimer* t : {&update, &get_log, &sql_work, &sql_select}) t->stop();
    if (sig == SIGINT) {
      Guarded(op, [&] { service.OrderlyEnd(); });
      service.DrainEvents();
      app.exit(0);
    } else {
      Guarded(op, [&] { service.SessionEnd(); });
      service.DrainEvents();
      // The session is ending: the process goes now, as on the desktop, without waiting for
      // a polling pass that may still be talking to a silent device.
      std::fflush(nullptr);
      _exit(0);
    }
  });
  return app.exec();
}

}  // namespace liron
