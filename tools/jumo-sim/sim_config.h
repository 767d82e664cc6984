// The simulator's configuration: the slaves on the line, their registers and floats, and the
// faults to inject. Read from a small text file; the fault lines can also come from a control
// file that is read again whenever it changes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim_wire.h"

namespace jumo_sim {

// Byte order of a float in its two registers, letters A (most significant byte of the IEEE
// pattern) to D (least) in the order they stand on the wire. ABCD is the Modbus convention.
enum class FloatOrder { ABCD, CDAB, DCBA, BADC };
bool ParseOrder(const std::string& text, FloatOrder* order);
const char* OrderName(FloatOrder order);
void EncodeFloat(float v, FloatOrder order, uint16_t regs[2]);
float DecodeFloat(const uint16_t regs[2], FloatOrder order);

struct Variable {
  bool is_float = false;
  uint16_t addr = 0;
  double base = 0;   // value without drift
  double drift = 0;  // amplitude of the slow swing around base (period 60 s)
  FloatOrder order = FloatOrder::ABCD;
};

enum class FaultMode { None, Silence, Noise, Exception, BadCrc, Truncate, Pause, Long, Late };
bool ParseFaultMode(const std::string& text, FaultMode* mode);
const char* FaultName(FaultMode mode);

struct Fault {
  FaultMode mode = FaultMode::None;
  int slave = 0;     // 0: every slave
  int count = -1;    // requests still affected; -1: until changed
  int bytes = -1;    // noise bytes, bytes kept, bytes before the pause, extra bytes
  int ms = 100;      // pause inside the reply; delay of a late reply
  int code = 4;      // exception code
  bool own = false;  // noise that holds the slave's address and the start of its reply
};

// How the line behaves: the turnaround (reply latency) and the wire settings.
struct LineBehaviour {
  int turnaround_ms = 10;
  liron::simtools::WireSettings wire;
};

struct Config {
  std::map<int, std::vector<Variable>> slaves;  // by slave address
  std::vector<Fault> faults;
  LineBehaviour line;
};

// What a control file holds: the faults, the line's behaviour (starting from the config's and
// the command line's), and a device to drop for vanish_ms (-1: none).
struct Control {
  std::vector<Fault> faults;
  LineBehaviour line;
  int vanish_ms = -1;
};

// Parses config text; false with *error naming the line.
bool ParseConfig(const std::string& text, Config* config, std::string* error);
// Parses a control file: fault, turnaround, pace, echo and vanish lines (and comments).
bool ParseControl(const std::string& text, const LineBehaviour& base, Control* control,
                  std::string* error);

}  // namespace jumo_sim
