#include "app/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace liron {
namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int sig) {
  const unsigned char b = static_cast<unsigned char>(sig);
  [[maybe_unused]] ssize_t n = write(g_pipe[1], &b, 1);
}

}  // namespace

SignalPipe::SignalPipe(std::function<void(int)> action) : action_(std::move(action)) {
  if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    unsigned char sig = 0;
    while (read(g_pipe[0], &sig, 1) == 1)
      if (notifier_->isEnabled()) action_(sig);
  });
}

SignalPipe::~SignalPipe() = default;

void SignalPipe::Disable() {
  if (notifier_) notifier_->setEnabled(false);
}

}  // namespace liron
