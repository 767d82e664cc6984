// A simulator's end of the line: a given serial device, or a pseudo-terminal of its own whose
// path is published as a symlink for the master to open. The pseudo-terminal can drop away and
// come back at the same path, as a USB adapter pulled out and plugged in again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim_wire.h"

namespace liron::simtools {

class SimPort {
 public:
  SimPort() = default;
  ~SimPort();  // closes, removes the symlink it published
  SimPort(const SimPort&) = delete;
  SimPort& operator=(const SimPort&) = delete;

  // Opens an existing device raw 8N1 at speed (any rate the driver takes).
  bool OpenDevice(const std::string& path, int32_t speed, std::string* error);
  // Creates a pseudo-terminal pair, keeps both ends (the far end stays raw and open, so the
  // master may come and go) and points link_path at the far end's device, in one step.
  bool CreatePty(const std::string& link_path, std::string* error);

  // Pseudo-terminal only: the device goes (both ends closed, so the master's descriptor hangs
  // up and the device node vanishes; the symlink removed) ...
  void Drop();
  // ... and returns as a new pseudo-terminal behind the same symlink.
  bool Return(std::string* error);
  // Both, ms apart, with the log lines "vanished" and "returned <device>" (or "cannot return:
  // <why>", and false). Nothing for a real device.
  bool Vanish(int ms, const SleepUntilFn& sleep_until,
              const std::function<void(const std::string&)>& log);

  bool IsPty() const { return !link_.empty(); }
  int fd() const { return fd_; }  // -1 while dropped
  const std::string& device() const { return device_; }
  // The speed the line is set to; on a pseudo-terminal the one the master set. -1: unknown.
  int32_t Speed() const;

 private:
  void Close();

  int fd_ = -1;
  int far_fd_ = -1;
  std::string device_;
  std::string link_;
};

// termios2 helpers (any rate), kept apart from <termios.h>.
int32_t LineSpeed(int fd);
// Raw 8N1, no flow control; the speed too when speed > 0.
bool SetRaw(int fd, int32_t speed);

}  // namespace liron::simtools
