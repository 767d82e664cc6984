// jumo-sim: a simulator of the JUMO controllers on the plant's Modbus RTU line, for tests, the
// demo and commissioning without the plant. One process serves several slave addresses on one
// line; libmodbus builds each reply from the register map of the addressed slave.
//
// Usage:
//   jumo-sim --config FILE (--pty LINK | --device PATH) [options]
//
//   --config FILE     slaves, registers, floats, faults and line behaviour (format below)
//   --pty LINK        create a pseudo-terminal and publish the path to open as symlink LINK
//                     (removed again at exit)
//   --device PATH     serve a real serial device instead
//   --baud N          line speed for --device; on a pty the speed the master set is used,
//                     N only when it cannot be read (default 9600)
//   --turnaround MS   reply latency: from the end of a request to the start of its reply (10)
//   --pace on|off     write replies byte by byte at the line's rate (default off: each reply
//                     in one piece once its wire time has passed)
//   --echo MODE       off, whole or tail=N: hand the request (its last N bytes) back before
//                     the reply, as a 2-wire RS-485 adapter does
//   --echo-delay MS   0..3 ms between the request's end and its echo (default 0)
//   --log FILE        append one line per request, reply, write and fault change
//   --control FILE    fault and line lines, read again whenever the file changes; they
//                     replace the config's faults and change the line's behaviour from what
//                     the config and the options set (a missing file means no faults)
//   --help            this text
//
// Like a device on a real line the simulator answers only after the request's time on the
// wire plus the turnaround, and the reply arrives once its own wire time has passed (the
// master empties its input right after sending). SIGTERM, SIGINT and SIGHUP end it cleanly
// with exit code 0.
//
// Config file, one item a line, '#' starts a comment:
//   slave <1..247>                         the lines below belong to this slave
//   reg <addr> <0..65535> [drift=D]        one holding register
//   float <addr> <value> [order=ABCD|CDAB|DCBA|BADC] [drift=D]
//                                          an IEEE single in two registers; the letters give
//                                          the wire order of its bytes, A the most
//                                          significant (ABCD: high word first, high byte
//                                          first; default)
//   fault <mode> [slave=N] [count=N] [bytes=N] [ms=N] [code=N] [own=1]
//   turnaround <ms> | pace on|off | echo off|whole|tail=N [delay=MS]
// Addresses are decimal or 0x hex. drift=D swings the value by up to ±D over 60 s.
// Fault modes (slave=0 or none: every slave; count=N: only the next N requests):
//   silence    no reply
//   noise      bytes=N stray bytes (default 10) before the reply: never a slave address, or
//              with own=1 copies of the start of the reply itself (its address among them)
//   exception  an exception reply (function | 0x80) with code=N (default 4)
//   badcrc     the reply with its CRC spoiled
//   truncate   only the first bytes=N bytes of the reply (default: half of it)
//   pause      a gap inside the reply: bytes=N bytes (default 3), ms=N of silence (default
//              100), the rest
//   long       bytes=N extra bytes after the reply (default 40)
//   late       the reply starts ms=N after the request (a stale reply once the master has
//              given up)
//   none       answer normally
// A request with a function code the slave does not know is answered with exception 1.
// The control file may also hold:
//   vanish <ms>   (--pty only) the device goes, as a USB adapter pulled out, and comes back
//                 at the same path ms later; once each time the file changes
//
// Log lines:  rx slave=S fn=F bytes=..      tx slave=S fault=M bytes=..
//             write slave=S reg=R count=N value=V        vanished, returned DEVICE
const char kUsage[] =
    "usage: jumo-sim --config FILE (--pty LINK | --device PATH) [--baud N]\n"
    "                [--turnaround MS] [--pace on|off] [--echo off|whole|tail=N]\n"
    "                [--echo-delay MS] [--log FILE] [--control FILE] [--help]\n"
    "  A JUMO controller simulator: a Modbus RTU slave serving several addresses.\n"
    "  --pty LINK      create a pseudo-terminal, publish its path as symlink LINK\n"
    "  --device PATH   serve a real serial device (speed from --baud, default 9600)\n"
    "  --turnaround MS reply latency after the request's end (default 10)\n"
    "  --pace on|off   reply bytes one by one at the line's rate (default off)\n"
    "  --echo MODE     off, whole or tail=N: the request comes back first (2-wire adapter)\n"
    "  --echo-delay MS 0..3 ms from the request's end to its echo (default 0)\n"
    "  --log FILE      log requests, replies, writes (\"write slave=S reg=R count=N value=V\")\n"
    "  --control FILE  fault and line lines, re-read on change; replace the config's faults\n"
    "Config lines: slave N | reg ADDR VALUE [drift=D] |\n"
    "  float ADDR VALUE [order=ABCD|CDAB|DCBA|BADC] [drift=D] |\n"
    "  fault MODE [slave=N] [count=N] [bytes=N] [ms=N] [code=N] [own=1] |\n"
    "  turnaround MS | pace on|off | echo off|whole|tail=N [delay=MS]\n"
    "Fault modes: none silence noise exception badcrc truncate pause long late\n"
    "Control file also: vanish MS (--pty: the device goes and returns at the same path)\n"
    "Unknown function codes are answered with exception 1.\n"
    "Ends cleanly on SIGTERM, SIGINT, SIGHUP.\n";

#include <fcntl.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rtu_frames.h"
#include "sim_config.h"
#include "sim_file.h"
#include "sim_port.h"
#include "sim_signals.h"
#include "sim_wire.h"

namespace jumo_sim {
namespace {

// SIGTERM, SIGINT and SIGHUP, each of which ends the simulator.
liron::simtools::SimSignals g_signals;

using Clock = std::chrono::steady_clock;
using liron::simtools::ReadText;
using liron::simtools::SteadyTime;

struct Options {
  std::string config, pty_link, device, log, control;
  int32_t baud = 9600;
  int turnaround_ms = -1;  // -1: the config's
  std::vector<std::vector<std::string>> wire_lines;  // --pace and --echo as config lines
  std::string echo_delay;
};

bool ParseArgs(int argc, char** argv, Options* o, bool* help) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      *help = true;
      return true;
    }
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--config") o->config = v;
    else if (a == "--pty") o->pty_link = v;
    else if (a == "--device") o->device = v;
    else if (a == "--log") o->log = v;
    else if (a == "--control") o->control = v;
    else if (a == "--baud") o->baud = std::atoi(v.c_str());
    else if (a == "--turnaround") o->turnaround_ms = std::atoi(v.c_str());
    else if (a == "--pace") o->wire_lines.push_back({"pace", v});
    else if (a == "--echo") o->wire_lines.push_back({"echo", v});
    else if (a == "--echo-delay") o->echo_delay = "delay=" + v;
    else return false;
  }
  return !o->config.empty() && (o->pty_link.empty() != o->device.empty()) && o->baud > 0;
}

// The line's behaviour from the config, then the command line.
bool ApplyOptions(const Options& o, LineBehaviour* line, std::string* error) {
  if (o.turnaround_ms >= 0) line->turnaround_ms = o.turnaround_ms;
  for (std::vector<std::string> w : o.wire_lines) {
    if (w[0] == "echo" && !o.echo_delay.empty()) w.push_back(o.echo_delay);
    if (liron::simtools::ApplyWireWords(w, &line->wire, error) !=
        liron::simtools::WireLine::Applied)
      return false;
  }
  return o.turnaround_ms >= -1;
}

class Log {
 public:
  explicit Log(const std::string& path) {
    if (!path.empty()) f_ = std::fopen(path.c_str(), "a");
  }
  ~Log() {
    if (f_) std::fclose(f_);
  }
  void Line(const std::string& s) {
    if (!f_) return;
    std::fprintf(f_, "%s\n", s.c_str());
    std::fflush(f_);
  }

 private:
  FILE* f_ = nullptr;
};

// The control file, re-read when its identity, size or time stamp changes.
class ControlFile {
 public:
  ControlFile(std::string path, LineBehaviour base) : watch_(std::move(path)), base_(base) {}
  // True when the file changed (the first look counts as a change); *control then holds what
  // it says now.
  bool Poll(Control* control, Log& log) {
    if (!watch_.Changed()) return false;
    std::string text, error;
    Control parsed;
    parsed.line = base_;
    if (watch_.Exists() &&
        (!ReadText(watch_.path(), &text) || !ParseControl(text, base_, &parsed, &error))) {
      log.Line("control file refused: " + error);
      return false;
    }
    *control = parsed;
    log.Line("faults " + std::to_string(parsed.faults.size()));
    return true;
  }

 private:
  liron::simtools::FileWatch watch_;
  LineBehaviour base_;
};

class Simulator {
 public:
  Simulator(Config config, liron::simtools::SimPort& port, const Options& o, Log& log)
      : config_(std::move(config)), port_(port), opt_(o), log_(log), start_(Clock::now()) {}
  ~Simulator() {
    for (auto& [id, m] : maps_) modbus_mapping_free(m);
    if (ctx_) modbus_free(ctx_);
    if (sv_[0] >= 0) close(sv_[0]);
    if (sv_[1] >= 0) close(sv_[1]);
  }

  bool Init(std::string* error) {
    // libmodbus writes its replies into a socket pair; the simulator reads them back, so that
    // it can time them like a device and spoil them on purpose.
    ctx_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (!ctx_ || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv_) != 0) {
      *error = "libmodbus context";
      return false;
    }
    fcntl(sv_[1], F_SETFL, O_NONBLOCK);
    modbus_set_socket(ctx_, sv_[0]);
    // An exception for an unknown function code first waits out the response time-out
    // (libmodbus flushes the line that way): keep that wait out of the reply's latency.
    modbus_set_response_timeout(ctx_, 0, 1);
    for (auto& [id, vars] : config_.slaves) {
      modbus_mapping_t* m = modbus_mapping_new(0, 0, 65536, 0);
      if (!m) {
        *error = "out of memory";
        return false;
      }
      maps_[id] = m;
    }
    return true;
  }

  void Run(ControlFile& control) {
    std::vector<uint8_t> buf;
    auto last_rx = Clock::now();
    for (g_signals.Take(); !g_signals.Stopped(); g_signals.Take()) {
      Control c;
      if (control.Poll(&c, log_)) {
        config_.faults = c.faults;
        config_.line = c.line;
        if (c.vanish_ms >= 0) {
          // The master's line hangs up, the node and the link vanish; later they return.
          buf.clear();
          if (!port_.Vanish(c.vanish_ms, g_signals.Sleeper(),
                            [this](const std::string& l) { log_.Line(l); }))
            g_signals.Stop();
        }
      }
      pollfd fds[2] = {{port_.fd(), POLLIN, 0}, {g_signals.fd(), POLLIN, 0}};
      // While a frame is unfinished, look again soon: its end may be the line going quiet.
      const int r = poll(fds, 2, buf.empty() ? 20 : 2);
      if (r < 0) continue;
      const pollfd& p = fds[0];
      if (p.revents & POLLIN) {
        uint8_t chunk[512];
        const ssize_t n = read(port_.fd(), chunk, sizeof chunk);
        if (n > 0) {
          buf.insert(buf.end(), chunk, chunk + n);
          last_rx = Clock::now();
        }
      } else if (p.revents) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // hang-up: wait
      }
      // The line has been quiet for 3.5 characters (at least 2 ms): a frame ends there.
      const bool quiet = Clock::now() - last_rx >
                         std::max<Clock::duration>(std::chrono::milliseconds(2),
                                                   liron::simtools::ByteTime(Baud()) * 7 / 2);
      std::vector<std::vector<uint8_t>> frames;
      size_t dropped = 0;
      CutFrames(&buf, &frames, &dropped, quiet);
      if (dropped) log_.Line("dropped " + std::to_string(dropped));
      for (const auto& fr : frames) Handle(fr, last_rx);
      // A frame left unfinished for longer than any inter-character gap is line noise.
      if (!buf.empty() && Clock::now() - last_rx > std::chrono::milliseconds(50)) {
        log_.Line("discarded " + Hex(buf.data(), buf.size()));
        buf.clear();
      }
    }
  }

 private:
  int32_t Baud() const {
    const int32_t s = port_.IsPty() ? port_.Speed() : opt_.baud;
    return s > 0 ? s : opt_.baud;
  }

  // Puts the current values (with their drift) into the slave's registers.
  void Refresh(int slave) {
    modbus_mapping_t* m = maps_[slave];
    const double t = std::chrono::duration<double>(Clock::now() - start_).count();
    for (const Variable& v : config_.slaves[slave]) {
      const double value = v.base + v.drift * std::sin(2 * M_PI * t / 60.0);
      if (v.is_float) {
        EncodeFloat(static_cast<float>(value), v.order, &m->tab_registers[v.addr]);
      } else {
        m->tab_registers[v.addr] = static_cast<uint16_t>(std::lround(std::fmin(65535, std::fmax(0, value))));
      }
    }
  }

  // A write changed registers [a, a + count): the values held there become the new bases.
  void Written(int slave, int a, int count) {
    modbus_mapping_t* m = maps_[slave];
    std::string value;
    bool described = false;
    for (Variable& v : config_.slaves[slave]) {
      if (v.addr < a || v.addr + (v.is_float ? 2 : 1) > a + count) continue;
      v.drift = 0;
      v.base = v.is_float ? DecodeFloat(&m->tab_registers[v.addr], v.order)
                          : m->tab_registers[v.addr];
      if (v.addr == a) {
        char b[64];
        std::snprintf(b, sizeof b, "%.9g", v.base);
        value = b;
        if (v.is_float) value += std::string(" order=") + OrderName(v.order);
        described = true;
      }
    }
    if (!described) {
      char b[64];
      if (count == 2)
        std::snprintf(b, sizeof b, "%.9g order=ABCD",
                      DecodeFloat(&m->tab_registers[a], FloatOrder::ABCD));
      else
        std::snprintf(b, sizeof b, "%u", m->tab_registers[a]);
      value = b;
    }
    log_.Line("write slave=" + std::to_string(slave) + " reg=" + std::to_string(a) +
              " count=" + std::to_string(count) + " value=" + value);
  }

  Fault TakeFault(int slave) {
    for (Fault& f : config_.faults) {
      if ((f.slave != 0 && f.slave != slave) || f.count == 0) continue;
      if (f.count > 0) --f.count;
      return f;
    }
    return Fault{};
  }

  std::vector<uint8_t> LibmodbusReply(const std::vector<uint8_t>& req, int slave, int code) {
    modbus_set_slave(ctx_, slave);
    if (code > 0)
      modbus_reply_exception(ctx_, req.data(), static_cast<unsigned>(code));
    else
      modbus_reply(ctx_, req.data(), static_cast<int>(req.size()), maps_[slave]);
    std::vector<uint8_t> out;
    uint8_t b[1024];
    ssize_t n;
    while ((n = read(sv_[1], b, sizeof b)) > 0) out.insert(out.end(), b, b + n);
    return out;
  }

  // Bytes on the wire from start on, as the line's behaviour says; the moment they are over.
  SteadyTime Send(const std::vector<uint8_t>& bytes, SteadyTime start) {
    return liron::simtools::SendOnWire(port_.fd(), bytes.data(), bytes.size(), start, Baud(),
                                       config_.line.wire.paced, g_signals.Sleeper());
  }

  void Handle(const std::vector<uint8_t>& req, Clock::time_point rx_end) {
    const int slave = req[0];
    log_.Line("rx slave=" + std::to_string(slave) + " fn=" + std::to_string(req[1]) +
              " bytes=" + Hex(req.data(), req.size()));
    if (!maps_.count(slave)) return;  // another device's request: stay quiet
    // A 2-wire adapter hands the request back to the master first.
    liron::simtools::SendEcho(port_.fd(), req.data(), req.size(), rx_end, config_.line.wire,
                              g_signals.Sleeper());
    const Fault f = TakeFault(slave);
    Refresh(slave);
    std::vector<uint8_t> rep = LibmodbusReply(req, slave, f.mode == FaultMode::Exception ? f.code : 0);
    if (f.mode != FaultMode::Exception && (req[1] == 16 || req[1] == 6) && rep.size() > 1 &&
        !(rep[1] & 0x80))
      Written(slave, req[2] << 8 | req[3], req[1] == 16 ? (req[4] << 8 | req[5]) : 1);

    std::vector<uint8_t> first, rest;
    switch (f.mode) {
      case FaultMode::Silence:
        log_.Line("tx slave=" + std::to_string(slave) + " fault=silence bytes=");
        return;
      case FaultMode::Noise: {
        const int n = f.bytes >= 0 ? f.bytes : 10;
        for (int i = 0; i < n; ++i) {
          // own: every fourth byte is noise, the others the first three bytes of the reply
          // (address, function code, byte count): false starts for the master's hunt.
          const bool copy = f.own && i % 4 != 0 && rep.size() >= 3;
          first.push_back(copy ? rep[static_cast<size_t>(i % 4 - 1)]
                               : static_cast<uint8_t>(0xF8 + i % 8));
        }
        first.insert(first.end(), rep.begin(), rep.end());
        break;
      }
      case FaultMode::BadCrc:
        first = rep;
        first.back() ^= 0x5A;
        break;
      case FaultMode::Truncate: {
        const size_t keep = f.bytes >= 0 ? static_cast<size_t>(f.bytes) : rep.size() / 2;
        first.assign(rep.begin(), rep.begin() + static_cast<long>(std::min(keep, rep.size())));
        break;
      }
      case FaultMode::Pause: {
        const size_t cut = std::min(static_cast<size_t>(f.bytes >= 0 ? f.bytes : 3), rep.size());
        first.assign(rep.begin(), rep.begin() + static_cast<long>(cut));
        rest.assign(rep.begin() + static_cast<long>(cut), rep.end());
        break;
      }
      case FaultMode::Long: {
        first = rep;
        const int n = f.bytes >= 0 ? f.bytes : 40;
        for (int i = 0; i < n; ++i) first.push_back(static_cast<uint8_t>(i));
        break;
      }
      default:
        first = rep;
    }
    // The request took its wire time to arrive: its last byte came at rx_end; the reply
    // starts a turnaround after it (a late one ms= after it) and is whole once its own bytes
    // have crossed the line.
    const int latency = f.mode == FaultMode::Late ? f.ms : config_.line.turnaround_ms;
    SteadyTime t = Send(first, rx_end + std::chrono::milliseconds(latency));
    if (!rest.empty()) Send(rest, t + std::chrono::milliseconds(f.ms));
    std::vector<uint8_t> all = first;
    all.insert(all.end(), rest.begin(), rest.end());
    log_.Line("tx slave=" + std::to_string(slave) + " fault=" + FaultName(f.mode) +
              " bytes=" + Hex(all.data(), all.size()));
  }

  Config config_;
  liron::simtools::SimPort& port_;
  const Options& opt_;
  Log& log_;
  Clock::time_point start_;
  modbus_t* ctx_ = nullptr;
  int sv_[2] = {-1, -1};
  std::map<int, modbus_mapping_t*> maps_;
};

int Main(int argc, char** argv) {
  Options o;
  bool help = false;
  if (!ParseArgs(argc, argv, &o, &help)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::string text, error;
  Config config;
  if (!ReadText(o.config, &text)) {
    std::fprintf(stderr, "jumo-sim: cannot read %s\n", o.config.c_str());
    return 1;
  }
  if (!ParseConfig(text, &config, &error)) {
    std::fprintf(stderr, "jumo-sim: %s: %s\n", o.config.c_str(), error.c_str());
    return 1;
  }

  signal(SIGPIPE, SIG_IGN);
  if (!g_signals.Open({SIGTERM, SIGINT, SIGHUP}, {}, &error)) {
    std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
    return 1;
  }

  if (!ApplyOptions(o, &config.line, &error)) {
    std::fprintf(stderr, "jumo-sim: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  Log log(o.log);
  liron::simtools::SimPort port;
  const bool opened = o.device.empty() ? port.CreatePty(o.pty_link, &error)
                                       : port.OpenDevice(o.device, o.baud, &error);
  if (!opened) {
    std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
    return 1;
  }
  const std::string path = port.device();
  ControlFile control(o.control, config.line);
  Simulator sim(config, port, o, log);
  if (!sim.Init(&error)) {
    std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
    return 1;
  }
  log.Line("ready " + path);
  sim.Run(control);
  log.Line("stopped");
  return 0;
}

}  // namespace
}  // namespace jumo_sim

int main(int argc, char** argv) { return jumo_sim::Main(argc, argv); }
