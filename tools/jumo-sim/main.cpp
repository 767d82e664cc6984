// jumo-sim: a simulator of the JUMO controllers on the plant's Modbus RTU line, for tests, the
// demo and commissioning without the plant. One process serves several slave addresses on one
// line; libmodbus builds each reply from the register map of the addressed slave.
//
// Usage:
//   jumo-sim --config FILE (--pty LINK | --device PATH) [options]
//
//   --config FILE     slaves, registers, floats and faults (format below)
//   --pty LINK        create a pseudo-terminal and publish the path to open as symlink LINK
//                     (removed again at exit)
//   --device PATH     serve a real serial device instead
//   --baud N          line speed for --device; on a pty the speed the master set is used,
//                     N only when it cannot be read (default 9600)
//   --turnaround MS   pause between the end of a request and the start of the reply (10)
//   --log FILE        append one line per request, reply, write and fault change
//   --control FILE    fault lines, read again whenever the file changes; they replace the
//                     faults of the config (a missing file means no faults)
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
//   fault <mode> [slave=N] [count=N] [bytes=N] [ms=N] [code=N]
// Addresses are decimal or 0x hex. drift=D swings the value by up to ±D over 60 s.
// Fault modes (slave=0 or none: every slave; count=N: only the next N requests):
//   silence    no reply
//   noise      bytes=N stray bytes (default 10, never a slave address) before the reply
//   exception  an exception reply (function | 0x80) with code=N (default 4)
//   badcrc     the reply with its CRC spoiled
//   truncate   only the first bytes=N bytes of the reply (default: half of it)
//   pause      bytes=N bytes (default 3), a pause of ms=N (default 100), the rest
//   long       bytes=N extra bytes after the reply (default 40)
//   none       answer normally
//
// Log lines:  rx slave=S fn=F bytes=..      tx slave=S fault=M bytes=..
//             write slave=S reg=R count=N value=V
const char kUsage[] =
    "usage: jumo-sim --config FILE (--pty LINK | --device PATH) [--baud N]\n"
    "                [--turnaround MS] [--log FILE] [--control FILE] [--help]\n"
    "  A JUMO controller simulator: a Modbus RTU slave serving several addresses.\n"
    "  --pty LINK      create a pseudo-terminal, publish its path as symlink LINK\n"
    "  --device PATH   serve a real serial device (speed from --baud, default 9600)\n"
    "  --turnaround MS pause before a reply starts (default 10)\n"
    "  --log FILE      log requests, replies, writes (\"write slave=S reg=R count=N value=V\")\n"
    "  --control FILE  fault lines, re-read on change; replace the config's faults\n"
    "Config lines: slave N | reg ADDR VALUE [drift=D] |\n"
    "  float ADDR VALUE [order=ABCD|CDAB|DCBA|BADC] [drift=D] |\n"
    "  fault MODE [slave=N] [count=N] [bytes=N] [ms=N] [code=N]\n"
    "Fault modes: none silence noise exception badcrc truncate pause long\n"
    "Ends cleanly on SIGTERM, SIGINT, SIGHUP.\n";

#include <fcntl.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rtu_frames.h"
#include "signal_descriptor.h"
#include "sim_config.h"
#include "sim_line.h"

namespace jumo_sim {
namespace {

// SIGTERM, SIGINT and SIGHUP, each of which ends the simulator.
liron::simtools::SignalDescriptor g_signals;
bool g_stop = false;

void TakeSignals() {
  for (int sig = 0; g_signals.Take(&sig);) g_stop = true;
}

using Clock = std::chrono::steady_clock;

struct Options {
  std::string config, pty_link, device, log, control;
  int32_t baud = 9600;
  int turnaround_ms = 10;
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
    else return false;
  }
  return !o->config.empty() && (o->pty_link.empty() != o->device.empty()) && o->baud > 0 &&
         o->turnaround_ms >= 0;
}

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  *text = ss.str();
  return true;
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
  explicit ControlFile(std::string path) : path_(std::move(path)) {}
  // True when the faults changed; *faults then holds the new set.
  bool Poll(std::vector<Fault>* faults, Log& log) {
    if (path_.empty()) return false;
    struct stat st {};
    std::string key;
    if (stat(path_.c_str(), &st) == 0)
      key = std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
            std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (key == key_) return false;
    key_ = key;
    std::string text, error;
    std::vector<Fault> parsed;
    if (!key.empty() && (!ReadText(path_, &text) || !ParseFaults(text, &parsed, &error))) {
      log.Line("control file refused: " + error);
      return false;
    }
    *faults = parsed;
    log.Line("faults " + std::to_string(parsed.size()));
    return true;
  }

 private:
  std::string path_;
  std::string key_ = "\x01";  // differs from every real key, so the first poll reads the file
};

class Simulator {
 public:
  Simulator(Config config, int fd, const Options& o, Log& log)
      : config_(std::move(config)), fd_(fd), opt_(o), log_(log), start_(Clock::now()) {}
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

  void SetFaults(const std::vector<Fault>& f) { config_.faults = f; }

  void Run(ControlFile& control) {
    std::vector<uint8_t> buf;
    auto last_rx = Clock::now();
    for (TakeSignals(); !g_stop; TakeSignals()) {
      std::vector<Fault> f;
      if (control.Poll(&f, log_)) SetFaults(f);
      pollfd fds[2] = {{fd_, POLLIN, 0}, {g_signals.fd(), POLLIN, 0}};
      const int r = poll(fds, 2, 20);
      if (r < 0) continue;
      const pollfd& p = fds[0];
      if (p.revents & POLLIN) {
        uint8_t chunk[512];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n > 0) {
          buf.insert(buf.end(), chunk, chunk + n);
          last_rx = Clock::now();
        }
      } else if (p.revents) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // hang-up: wait
      }
      std::vector<std::vector<uint8_t>> frames;
      size_t dropped = 0;
      CutFrames(&buf, &frames, &dropped);
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
    const int32_t s = opt_.device.empty() ? LineSpeed(fd_) : opt_.baud;
    return s > 0 ? s : opt_.baud;
  }
  std::chrono::microseconds WireTime(size_t bytes) const {
    return std::chrono::microseconds(static_cast<int64_t>(bytes) * 10 * 1000000 / Baud());
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

  void SendAt(Clock::time_point when, const std::vector<uint8_t>& bytes) {
    std::this_thread::sleep_until(when);
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t w = write(fd_, bytes.data() + done, bytes.size() - done);
      if (w > 0) done += static_cast<size_t>(w);
      else if (w < 0 && errno != EINTR && errno != EAGAIN) return;
    }
  }

  void Handle(const std::vector<uint8_t>& req, Clock::time_point rx_end) {
    const int slave = req[0];
    log_.Line("rx slave=" + std::to_string(slave) + " fn=" + std::to_string(req[1]) +
              " bytes=" + Hex(req.data(), req.size()));
    if (!maps_.count(slave)) return;  // another device's request: stay quiet
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
        for (int i = 0; i < n; ++i) first.push_back(static_cast<uint8_t>(0xF8 + i % 8));
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
    // The request took its wire time to arrive: its last byte came at rx_end, the first one
    // that much earlier; the reply starts a turnaround after the request's end and is whole
    // once its own bytes have crossed the line.
    auto t = rx_end + std::chrono::milliseconds(opt_.turnaround_ms) + WireTime(first.size());
    SendAt(t, first);
    if (!rest.empty()) {
      t += std::chrono::milliseconds(f.ms) + WireTime(rest.size());
      SendAt(t, rest);
    }
    std::vector<uint8_t> all = first;
    all.insert(all.end(), rest.begin(), rest.end());
    log_.Line("tx slave=" + std::to_string(slave) + " fault=" + FaultName(f.mode) +
              " bytes=" + Hex(all.data(), all.size()));
  }

  Config config_;
  int fd_;
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
  if (!g_signals.Open({SIGTERM, SIGINT, SIGHUP}, &error)) {
    std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
    return 1;
  }

  Log log(o.log);
  int fd = -1, keep = -1;
  std::string path;
  if (!o.device.empty()) {
    if (!OpenDevice(o.device, o.baud, &fd, &error)) {
      std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
      return 1;
    }
    path = o.device;
  } else {
    if (!OpenOwnPty(&fd, &keep, &path, &error)) {
      std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
      return 1;
    }
  }
  Simulator sim(config, fd, o, log);
  if (!sim.Init(&error)) {
    std::fprintf(stderr, "jumo-sim: %s\n", error.c_str());
    return 1;
  }
  ControlFile control(o.control);
  if (!o.pty_link.empty()) {
    // Publish atomically: a reader sees either no link or the whole one.
    const std::string tmp = o.pty_link + ".tmp";
    unlink(tmp.c_str());
    if (symlink(path.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), o.pty_link.c_str()) != 0) {
      std::fprintf(stderr, "jumo-sim: cannot publish %s: %s\n", o.pty_link.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  log.Line("ready " + path);
  sim.Run(control);
  log.Line("stopped");
  if (!o.pty_link.empty()) unlink(o.pty_link.c_str());
  if (keep >= 0) close(keep);
  close(fd);
  return 0;
}

}  // namespace
}  // namespace jumo_sim

int main(int argc, char** argv) { return jumo_sim::Main(argc, argv); }
