// The far end of a pseudo-terminal pair, played by a fuzz target as the device on the line.
//
// A link under test opens the slave side by its path, exactly as it opens a real port. The
// target hands the device its next reply; the device clock delivers it at the moment the link
// starts to wait for it (the first tick read or sleep after the request went out), so the
// purges right after sending never throw it away and no thread races the link. Delivery waits
// until the slave's input queue holds every byte, which keeps each run deterministic.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"

namespace liron::fuzz {

class PtyDevice {
 public:
  PtyDevice() {
    if (openpty(&master_, &slave_, name_, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::abort();
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyDevice() {
    ::close(master_);
    ::close(slave_);
  }
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  std::string SlavePath() const { return name_; }

  // Drops whatever waits on either side: the link's last request and unread reply bytes.
  void Reset() {
    DrainRequest();
    tcflush(slave_, TCIFLUSH);
  }

  // Reads away what the link sent.
  void DrainRequest() {
    uint8_t buf[512];
    while (::read(master_, buf, sizeof buf) > 0) {
    }
  }

  // Writes bytes toward the link and returns once its input queue holds all of them. The
  // reply must fit the line discipline's buffer (4 KiB); callers cap it well below.
  void Deliver(const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(master_, data + done, n - done);
      if (w > 0) done += static_cast<size_t>(w);
      else usleep(50);
    }
    for (int spin = 0; spin < 200000 && Queued() < static_cast<int>(n); ++spin) usleep(10);
  }

  int Queued() const {
    int q = 0;
    if (ioctl(slave_, FIONREAD, &q) != 0) return 0;
    return q;
  }

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open so the queue can be asked and flushed from here
  char name_[128] = {};
};

// A clock on which time moves only when read: every tick read advances it by step_ms, every
// sleep by its length. An armed reply is delivered by the device at the first tick read or
// sleep, which is when the link begins to wait for its answer.
class DeviceClock : public Clock {
 public:
  DeviceClock(PtyDevice& dev, uint32_t step_ms) : dev_(dev), step_ms_(step_ms) {}

  void Arm(const uint8_t* data, size_t n) {
    reply_.assign(reinterpret_cast<const char*>(data), n);
    armed_ = true;
  }
  bool Delivered() const { return !armed_; }

  TDateTime Now() override { return 40000.0 + ticks_ / 86400000.0; }
  uint32_t Ticks() override {
    Fire();
    ticks_ += step_ms_;
    return ticks_;
  }
  uint64_t MonotonicMs() override { return ticks_; }
  void SleepMs(uint32_t ms) override {
    Fire();
    ticks_ += ms;
  }

 private:
  void Fire() {
    if (!armed_) return;
    armed_ = false;
    dev_.DrainRequest();
    dev_.Deliver(reinterpret_cast<const uint8_t*>(reply_.data()), reply_.size());
  }

  PtyDevice& dev_;
  uint32_t step_ms_;
  uint32_t ticks_ = 0;
  bool armed_ = false;
  std::string reply_;
};

}  // namespace liron::fuzz
