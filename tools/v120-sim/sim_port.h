// The simulator's end of the line: a given serial device, or a pseudo-terminal of its own
// whose path is published as a symlink for the master to open.
#pragma once

#include <cstdint>
#include <string>

namespace liron::v120sim {

class SimPort {
 public:
  SimPort() = default;
  ~SimPort();  // closes, removes the symlink it published
  SimPort(const SimPort&) = delete;
  SimPort& operator=(const SimPort&) = delete;

  // Opens an existing device raw 8N1 at speed (a non-standard speed keeps the driver's).
  bool OpenDevice(const std::string& path, int32_t speed, std::string* error);
  // Creates a pseudo-terminal pair, keeps both ends (the far end stays raw and open, so the
  // master may come and go) and points link_path at the far end's device.
  bool CreatePty(const std::string& link_path, std::string* error);

  int fd() const { return fd_; }
  const std::string& device() const { return device_; }

 private:
  int fd_ = -1;
  int far_fd_ = -1;
  std::string device_;
  std::string link_;
};

}  // namespace liron::v120sim
