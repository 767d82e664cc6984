// The simulated controller's memory and behaviour: which units answer, their bit, 16-bit and
// 32-bit operands, the totalisers that count up, the fault mode and the turnaround time. Built
// from the lines of the config file and changed by the lines of the control file.
//
// Line grammar (blank lines and text after '#' are ignored):
//   unit <id>                                   a unit that answers, operands all 0
//   <id> bit <addr> <0|1>
//   <id> word <addr> <0..65535>
//   <id> long <addr> <int32>
//   <id> totaliser <addr> <value> [rate=<counts per second>] [step=<counts per read>]
//                                 [wrap=<n>]     a 32-bit operand that counts up and wraps to
//                                                0 at n (default 999999900)
//   fault <mode> [count] [ms=<n>]               none, silence, lowercase, no-stx, short, long,
//                                               bad-crc, noise, bad-hex, late, glitch; count:
//                                               only the next count replies, then none; late:
//                                               the reply starts ms (default 1500) after the
//                                               request, a stale reply once the master has
//                                               given up; glitch: a byte 0x00 or 0xFF (by
//                                               turns) before the reply's "/A"; noise: 24
//                                               noise bytes before it
//   turnaround <ms>                             pause after the request's wire time
//   speed <bps>                                 line speed (wire time, and --device setting)
//   pace on|off                                 reply bytes one by one at the line's rate
//   echo off|whole|tail=N [delay=MS]            the request comes back first (2-wire adapter)
//   vanish <ms>                                 (control file, --link) the device goes, as a
//                                               USB adapter pulled out, and comes back at the
//                                               same path ms later
// Numbers are decimal; an id or address may also be written 0x.. in hexadecimal. A totaliser
// line for an operand that exists sets its reading (a reset of the controller's counter to a
// small value); wrap= sets the limit at which it goes round.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim_wire.h"

namespace liron::v120sim {

enum class Fault { None, Silence, Lowercase, NoStx, Short, Long, BadCrc, Noise, BadHex, Late, Glitch };

const char* FaultName(Fault f);
bool ParseFault(const std::string& name, Fault* f);
// The mode after f in the order above (SIGUSR1 steps through them).
Fault NextFault(Fault f);

using SteadyTime = std::chrono::steady_clock::time_point;

struct Totaliser {
  int64_t value = 0;     // reading at base
  double rate = 0;       // counts per second since base
  int64_t step = 0;      // counts added after each read
  int64_t wrap = 999999900;
  SteadyTime base{};
  int64_t reads = 0;     // reads since base

  // The reading handed out now; counts the read.
  int64_t Read(SteadyTime now);
  // Sets the reading from now on.
  void Set(int64_t v, SteadyTime now);
};

struct Unit {
  std::map<int, int> bits;
  std::map<int, int> words;
  std::map<int, int32_t> longs;
  std::map<int, Totaliser> totalisers;
};

struct SimModel {
  std::map<int, Unit> units;
  Fault fault = Fault::None;
  int fault_count = -1;  // replies left in this mode; -1: until changed
  int late_ms = 1500;    // latency of a late reply
  int glitches = 0;      // glitch bytes sent, for taking turns between 0x00 and 0xFF
  int turnaround_ms = 15;
  int32_t speed = 57600;
  liron::simtools::WireSettings wire;
  int vanish_ms = -1;    // a drop of the device asked for, taken by the main loop

  // Applies one line; false with *error for a line it cannot read (the model is unchanged).
  bool ApplyLine(const std::string& line, SteadyTime now, std::string* error);
  // Applies every line of a text; errors name their line numbers. Returns false when any
  // line was refused (the good lines are applied).
  bool ApplyText(const std::string& text, SteadyTime now, std::vector<std::string>* errors);

  // The fault for the next reply, counting down a limited fault.
  Fault TakeFault();
};

}  // namespace liron::v120sim
