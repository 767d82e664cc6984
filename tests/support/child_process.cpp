#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace liron::test {

ChildProcess::~ChildProcess() {
  if (Running()) {
    Signal(SIGTERM);
    if (!Wait(5000)) {
      Signal(SIGKILL);
      Wait(5000);
    }
  }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& output_path) {
  if (argv.empty()) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setpgid(0, 0);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    int fd = open(output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  pid_ = pid;
  reaped_ = false;
  return true;
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_ = status;
    return false;
  }
  return r == 0;
}

bool ChildProcess::Signal(int sig) { return Running() && kill(pid_, sig) == 0; }

bool ChildProcess::Wait(int timeout_ms, int* status) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (status) *status = status_;
  return pid_ > 0;
}

}  // namespace liron::test
