// A device simulator (jumo-sim, v120-sim) run as a child process for one test: started with
// its own arguments, waited for until it has published the path of its pseudo-terminal as a
// symlink, and stopped by its pid when the test ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace liron::test {

class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess();  // Stop(), then SIGKILL if it would not end
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Runs exe with args (SIGINT and SIGTERM at their defaults, stdout and stderr appended to
  // log_path when it is not empty) and waits up to timeout_ms until link_path is a symlink to
  // an existing device. False with *error when the program could not start, ended early or
  // published nothing in time; the child is then stopped.
  bool Start(const std::string& exe, const std::vector<std::string>& args,
             const std::string& link_path, const std::string& log_path = "",
             int timeout_ms = 5000, std::string* error = nullptr);

  // Sends sig to the child and waits up to timeout_ms for it to end. True when it ended by
  // itself with exit code 0; false when it failed, died of a signal or had to be killed.
  bool Stop(int sig = 15 /* SIGTERM */, int timeout_ms = 3000);

  bool Running();
  pid_t pid() const { return pid_; }
  // The symlink given to Start (open this as the port name).
  const std::string& link() const { return link_; }
  // The device the symlink points to.
  std::string Device() const;

 private:
  pid_t pid_ = -1;
  std::string link_;
};

}  // namespace liron::test
