// A program started by a test: its own process group, stdout and stderr into a file, stopped
// by its pid (a signal, then SIGKILL after a grace period) when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace liron::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] with SIGINT and SIGTERM at their defaults; output to output_path.
  bool Start(const std::vector<std::string>& argv, const std::string& output_path);
  bool Running();
  // Sends sig; false when the process was not running.
  bool Signal(int sig);
  // Waits up to timeout_ms for the end. True when it ended; *status gets the wait status.
  bool Wait(int timeout_ms, int* status = nullptr);
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace liron::test
