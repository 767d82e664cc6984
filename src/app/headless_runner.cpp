#include "app/headless_runner.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "app/headless_operator.h"
#include "app/signal_pipe.h"
#include "engine/periodic_jobs.h"
#include "engine/service.h"

namespace liron {
namespace {

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
  HeadlessOperator op;
  Service service(home, SystemClock(), op);
  op.SetEvents(&service.Events());
  service.WindowCreated();

  QTimer timers[kPeriodicJobCount];
  for (int i = 0; i < kPeriodicJobCount; ++i) {
    const TPeriodicJob& job = kPeriodicJobs[i];
    QObject::connect(&timers[i], &QTimer::timeout, [&service, job] { RunPeriodicJob(job, service); });
    timers[i].start(static_cast<int>(job.PeriodMs));
  }

  SignalPipe signal_pipe([&](int sig) {
    signal_pipe.Disable();  // one end only
    for (QTimer& t : timers) t.stop();
    if (sig == SIGINT) {
      Guarded(op, [&] { service.OrderlyEnd(); });
      app.exit(0);
    } else {
      Guarded(op, [&] { service.SessionEnd(); });
      // The session is ending: the process goes now, as on the desktop, without waiting for
      // a polling pass that may still be talking to a silent device.
      std::fflush(nullptr);
      _exit(0);
    }
  });
  if (!signal_pipe.Ok()) {
    std::perror("liron36: signal pipe");
    return 1;
  }
  return app.exec();
}

}  // namespace liron
