#include "sim_wire.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace liron::simtools {

namespace {

bool ParseInt(const std::string& s, long lo, long hi, long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *v = std::strtol(s.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && *v >= lo && *v <= hi;
}

// Writes all of it; a line nobody reads is given up after about a second.
void WriteAll(int fd, const uint8_t* data, size_t n) {
  size_t done = 0;
  for (int stalls = 0; done < n && stalls <= 10;) {
    const ssize_t w = write(fd, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return;
    ++stalls;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, 100);
  }
}

}  // namespace

WireLine ApplyWireWords(const std::vector<std::string>& w, WireSettings* wire, std::string* error) {
  if (w.empty() || (w[0] != "pace" && w[0] != "echo")) return WireLine::NotMine;
  auto refuse = [&](const std::string& why) {
    *error = why;
    return WireLine::Refused;
  };
  if (w[0] == "pace") {
    if (w.size() != 2 || (w[1] != "on" && w[1] != "off")) return refuse("pace on|off");
    wire->paced = w[1] == "on";
    return WireLine::Applied;
  }
  WireSettings e = *wire;
  e.echo_delay_ms = 0;
  long n = 0;
  if (w.size() < 2) return refuse("echo off|whole|tail=N [delay=MS]");
  if (w[1] == "off") {
    e.echo = EchoMode::Off;
  } else if (w[1] == "whole") {
    e.echo = EchoMode::Whole;
  } else if (w[1].rfind("tail=", 0) == 0 && ParseInt(w[1].substr(5), 1, 1000, &n)) {
    e.echo = EchoMode::Tail;
    e.echo_tail = static_cast<int>(n);
  } else {
    return refuse("echo off|whole|tail=N [delay=MS]");
  }
  for (size_t i = 2; i < w.size(); ++i) {
    if (w[i].rfind("delay=", 0) != 0 || !ParseInt(w[i].substr(6), 0, 3, &n))
      return refuse("echo delay=0..3");
    e.echo_delay_ms = static_cast<int>(n);
  }
  *wire = e;
  return WireLine::Applied;
}

std::chrono::nanoseconds ByteTime(int32_t baud) {
  return std::chrono::nanoseconds(10LL * 1000000000LL / std::max<int32_t>(baud, 1));
}

SteadyTime SendOnWire(int fd, const uint8_t* data, size_t n, SteadyTime start, int32_t baud,
                      bool paced, const SleepUntilFn& sleep_until) {
  const auto bt = ByteTime(baud);
  if (!paced) {
    const SteadyTime end = start + bt * static_cast<long>(n);
    sleep_until(end);
    WriteAll(fd, data, n);
    return end;
  }
  SteadyTime t = start;
  for (size_t i = 0; i < n; ++i) {
    t += bt;
    sleep_until(t);
    WriteAll(fd, data + i, 1);
  }
  return t;
}

SteadyTime SendEcho(int fd, const uint8_t* request, size_t n, SteadyTime rx_end,
                    const WireSettings& wire, const SleepUntilFn& sleep_until) {
  if (wire.echo == EchoMode::Off) return rx_end;
  size_t skip = 0;
  if (wire.echo == EchoMode::Tail && static_cast<size_t>(wire.echo_tail) < n)
    skip = n - static_cast<size_t>(wire.echo_tail);
  // The adapter's receiver heard the request as it went out: all of it is there at its end,
  // and reaches the master the delay later, after the purge that follows its send.
  const SteadyTime at = rx_end + std::chrono::milliseconds(wire.echo_delay_ms);
  sleep_until(at);
  WriteAll(fd, request + skip, n - skip);
  return at;
}

}  // namespace liron::simtools
