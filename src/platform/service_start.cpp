#include "platform/service_start.h"

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace liron {
namespace {

// The full path of a program, looked up in PATH before the fork (execvp may allocate, which
// a child of a threaded process must not do).
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* env = std::getenv("PATH");
  std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace

bool RunDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    ::setsid();
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);  // the service runner may block signals
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (null > 2) ::close(null);
    }
    ::execv(program.c_str(), args.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void StartDatabaseService(const std::string& name) {
  if (name.empty()) return;
  // Never a password prompt: a service that may not be started by this user stays stopped.
  RunDetached({"systemctl", "start", "--no-ask-password", "--", name});
}

}  // namespace liron
