#include "support/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace liron::test {

namespace {

bool WaitExit(pid_t pid, int timeout_ms, int* status) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0) return true;  // not our child any more
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Start(const std::string& exe, const std::vector<std::string>& args,
                       const std::string& link_path, const std::string& log_path,
                       int timeout_ms, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    Stop(SIGKILL, 2000);
    return false;
  };
  if (pid_ > 0) return fail("simulator already running");
  link_ = link_path;
  unlink(link_path.c_str());

  std::vector<std::string> argv_s;
  argv_s.push_back(exe);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) return fail("fork failed");
  if (pid == 0) {
    // Child: default signal handling and an empty mask, whatever the test runner set.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (!log_path.empty()) {
      const int fd = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
      }
    }
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  pid_ = pid;

  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < until) {
    struct stat st {};
    if (lstat(link_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        stat(link_path.c_str(), &st) == 0)
      return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return fail(exe + " ended before publishing " + link_path + " (status " +
                  std::to_string(status) + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return fail(exe + " published no " + link_path + " within " + std::to_string(timeout_ms) +
              " ms");
}

bool SimProcess::Stop(int sig, int timeout_ms) {
  if (pid_ <= 0) return false;
  const pid_t pid = pid_;
  pid_ = -1;
  kill(pid, sig);
  int status = 0;
  if (!WaitExit(pid, timeout_ms, &status)) {
    kill(pid, SIGKILL);
    WaitExit(pid, 2000, &status);
    return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SimProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

std::string SimProcess::Device() const {
  char buf[256];
  const ssize_t n = readlink(link_.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return "";
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace liron::test
