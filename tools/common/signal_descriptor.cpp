#include "signal_descriptor.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace liron::simtools {

SignalDescriptor::~SignalDescriptor() {
  if (fd_ >= 0) close(fd_);
}

bool SignalDescriptor::Open(const std::vector<int>& sigs, std::string* error) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : sigs) sigaddset(&set, sig);
  if (const int rc = pthread_sigmask(SIG_BLOCK, &set, nullptr); rc != 0) {
    *error = std::string("cannot block signals: ") + std::strerror(rc);
    return false;
  }
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    *error = std::string("cannot open a signal descriptor: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool SignalDescriptor::Take(int* sig) {
  signalfd_siginfo info{};
  if (fd_ < 0 || read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return false;
  *sig = static_cast<int>(info.ssi_signo);
  return true;
}

bool SignalDescriptor::Wait(int ms) {
  pollfd p{fd_, POLLIN, 0};
  return fd_ >= 0 && poll(&p, 1, ms) > 0 && (p.revents & POLLIN);
}

bool SignalDescriptor::WaitUntil(std::chrono::steady_clock::time_point t) {
  using namespace std::chrono;
  for (;;) {
    const auto left = t - steady_clock::now();
    if (left <= nanoseconds(0)) return false;
    if (left < milliseconds(3)) {
      std::this_thread::sleep_until(t);
      return false;
    }
    if (Wait(static_cast<int>(duration_cast<milliseconds>(left).count()) - 1)) return true;
  }
}

}  // namespace liron::simtools
