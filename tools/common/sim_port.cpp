#include "sim_port.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace liron::simtools {

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

SimPort::~SimPort() { Close(); }

void SimPort::Close() {
  if (!link_.empty()) {
    // Remove the symlink only while it still names our device.
    char buf[PATH_MAX];
    const ssize_t n = readlink(link_.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<size_t>(n)) == device_) unlink(link_.c_str());
  }
  if (far_fd_ >= 0) close(far_fd_);
  if (fd_ >= 0) close(fd_);
  far_fd_ = fd_ = -1;
}

bool SimPort::OpenDevice(const std::string& path, int32_t speed, std::string* error) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    *error = Errno("cannot open " + path);
    return false;
  }
  if (!SetRaw(fd_, speed)) {
    *error = Errno("cannot set line settings of " + path);
    return false;
  }
  device_ = path;
  return true;
}

bool SimPort::CreatePty(const std::string& link_path, std::string* error) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    *error = Errno("openpty");
    return false;
  }
  fd_ = master;
  far_fd_ = slave;
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  fcntl(fd_, F_SETFD, FD_CLOEXEC);
  fcntl(far_fd_, F_SETFD, FD_CLOEXEC);
  // No echo and no line editing before the master sets its own: a reply must never come back
  // to us, nor a carriage return become a line feed.
  if (!SetRaw(far_fd_, -1)) {
    *error = Errno("cannot set the pseudo-terminal raw");
    return false;
  }
  char name[PATH_MAX];
  if (ttyname_r(far_fd_, name, sizeof name) != 0) {
    *error = Errno("ttyname");
    return false;
  }
  device_ = name;
  // Published in one step: the link appears only once it points at a ready device.
  const std::string tmp = link_path + ".tmp" + std::to_string(getpid());
  unlink(tmp.c_str());
  if (symlink(device_.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link_path.c_str()) != 0) {
    *error = Errno("cannot publish " + link_path);
    unlink(tmp.c_str());
    return false;
  }
  link_ = link_path;
  return true;
}

void SimPort::Drop() {
  if (!IsPty() || fd_ < 0) return;
  const std::string link = link_;
  Close();
  link_ = link;  // still the path to come back at
}

bool SimPort::Return(std::string* error) {
  if (!IsPty() || fd_ >= 0) return true;
  return CreatePty(link_, error);
}

bool SimPort::Vanish(int ms, const SleepUntilFn& sleep_until,
                     const std::function<void(const std::string&)>& log) {
  if (!IsPty()) return true;
  Drop();
  log("vanished");
  sleep_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
  std::string error;
  if (!Return(&error)) {
    log("cannot return: " + error);
    return false;
  }
  log("returned " + device_);
  return true;
}

int32_t SimPort::Speed() const { return fd_ < 0 ? -1 : LineSpeed(fd_); }

}  // namespace liron::simtools
