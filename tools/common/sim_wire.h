// How a simulated device's bytes cross the line, beside what it answers: written whole once
// their wire time has passed, or paced byte by byte at the line's rate (8N1: 10 bit times a
// byte), so that the master sees a reply still arriving; and the echo of a 2-wire RS-485
// adapter, which hands the master's own request back to it (whole, or only its tail) before
// the device's reply.
//
// Line grammar, shared by both simulators' config and control files:
//   pace on|off                        bytes one by one at the line's rate
//   echo off|whole|tail=N [delay=MS]   the request comes back (its last N bytes), MS
//                                      (0..3) after its end
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace liron::simtools {

using SteadyTime = std::chrono::steady_clock::time_point;

enum class EchoMode { Off, Whole, Tail };

struct WireSettings {
  bool paced = false;
  EchoMode echo = EchoMode::Off;
  int echo_tail = 0;   // bytes of the request's tail that come back (EchoMode::Tail)
  int echo_delay_ms = 0;
};

enum class WireLine { NotMine, Applied, Refused };

// Applies a "pace" or "echo" line given as words; NotMine for any other keyword.
WireLine ApplyWireWords(const std::vector<std::string>& words, WireSettings* wire,
                        std::string* error);

// The time one byte takes on the wire at baud bit/s.
std::chrono::nanoseconds ByteTime(int32_t baud);

// Sleeps until a moment; the simulator's own, which wakes for its end signal.
using SleepUntilFn = std::function<void(SteadyTime)>;

// Writes n bytes to fd as they cross the line from `start` on: paced, each byte once its own
// ten bits have passed, or all at once when the last one has. Returns the moment the last
// byte has crossed.
SteadyTime SendOnWire(int fd, const uint8_t* data, size_t n, SteadyTime start, int32_t baud,
                      bool paced, const SleepUntilFn& sleep_until);

// The echo of a request that ended at rx_end, as the settings say: written at once, the echo
// delay after it. Returns that moment (rx_end when there is no echo).
SteadyTime SendEcho(int fd, const uint8_t* request, size_t n, SteadyTime rx_end,
                    const WireSettings& wire, const SleepUntilFn& sleep_until);

}  // namespace liron::simtools
