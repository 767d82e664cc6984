// v120-sim: a V-120 controller on a serial line, answering PCOM ASCII request lines for the
// receiving service's tests, its demo and commissioning.
//
//   v120-sim (--link PATH | --device PATH) [--config FILE] [--control FILE] [--log FILE]
//            [--speed BPS] [--turnaround MS] [--help]
//
//   --link PATH       create a pseudo-terminal and publish the path of its far end as the
//                     symlink PATH (open PATH as the port name); removed again at the end
//   --device PATH     answer on an existing serial device instead (set raw 8N1 at --speed)
//   --config FILE     units, operands, totalisers, fault mode (grammar in sim_model.h);
//                     without it unit 1 answers with all operands 0
//   --control FILE    a file of the same grammar, applied line by line whenever it changes
//                     (checked every 100 ms and before every request; write it whole with a
//                     rename): switch fault modes, set a totaliser just below its wrap or
//                     reset it, change values, pace or echo the line, let the device vanish
//   --log FILE        appends one line per request, reply, write, totaliser reading handed
//                     out, dropped request and fault (formats in pcom_responder.h)
//   --speed BPS       line speed for the wire times (default 57600, or the config)
//   --turnaround MS   pause after the wire time before the reply (default 15, or the config)
//   --pace on|off     reply bytes one by one at the line's rate (default off)
//   --echo MODE       off, whole or tail=N: the request (its last N bytes) comes back before
//                     the reply, as from a 2-wire RS-485 adapter
//   --echo-delay MS   0..3 ms from the request's end to its echo (default 0)
//
// The reply starts only after the request's time on the wire plus the turnaround, as from a
// real controller (the master empties its input right after sending), and arrives whole once
// its own wire time has passed, or byte by byte when paced.
//
// Signals: SIGTERM and SIGINT end it cleanly (exit code 0); SIGHUP reads the config and the
// control file again from scratch; SIGUSR1 steps to the next fault mode (none, silence,
// lowercase, no-stx, short, long, bad-crc, noise, bad-hex, late, glitch); SIGUSR2 sets fault
// mode none.
// Exit codes: 0 after a signal, 1 when the line cannot be opened, 2 for a bad command line or
// config.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pcom_responder.h"
#include "sim_file.h"
#include "sim_model.h"
#include "sim_port.h"
#include "sim_signals.h"
#include "sim_wire.h"

namespace {

using namespace liron::v120sim;
using liron::simtools::FileWatch;
using liron::simtools::ReadText;
using liron::simtools::SimPort;
using liron::simtools::SteadyTime;

constexpr char kUsage[] =
    "usage: v120-sim (--link PATH | --device PATH) [--config FILE] [--control FILE]\n"
    "                [--log FILE] [--speed BPS] [--turnaround MS] [--pace on|off]\n"
    "                [--echo off|whole|tail=N] [--echo-delay MS] [--help]\n"
    "\n"
    "A V-120 controller answering PCOM ASCII request lines (RB, RW, RNL, SB, SW, SNL).\n"
    "  --link PATH       create a pseudo-terminal, publish its path as the symlink PATH\n"
    "  --device PATH     answer on an existing serial device instead\n"
    "  --config FILE     operands and behaviour, one per line:\n"
    "                      unit <id>\n"
    "                      <id> bit|word|long <addr> <value>\n"
    "                      <id> totaliser <addr> <value> [rate=<per s>] [step=<per read>]"
    " [wrap=<n>]\n"
    "                      fault none|silence|lowercase|no-stx|short|long|bad-crc|noise|\n"
    "                            bad-hex|late|glitch [count] [ms=<latency of late>]\n"
    "                      turnaround <ms>\n"
    "                      speed <bps>\n"
    "                      pace on|off\n"
    "                      echo off|whole|tail=N [delay=MS]\n"
    "                      vanish <ms>   (control file, --link: gone and back)\n"
    "  --control FILE    same grammar, applied whenever the file changes\n"
    "  --log FILE        one line per rx, tx, write, totaliser reading, drop, fault\n"
    "  --speed BPS       line speed for the wire time (default 57600)\n"
    "  --turnaround MS   pause before replying, after the wire time (default 15)\n"
    "  --pace on|off     reply bytes one by one at the line's rate (default off)\n"
    "  --echo MODE       off, whole or tail=N: the request comes back first\n"
    "  --echo-delay MS   0..3 ms from the request's end to its echo (default 0)\n"
    "Only upper-case hexadecimal is taken in requests, as the controller does.\n"
    "Signals: TERM/INT end, HUP re-reads the files, USR1 next fault mode, USR2 fault none.\n";

// SIGTERM and SIGINT end the simulator; SIGHUP, SIGUSR1 and SIGUSR2 are flags the loop acts on.
liron::simtools::SimSignals g_signals;

struct Options {
  std::string link, device, config, control, log;
  int32_t speed = -1;
  int turnaround = -1;
  std::vector<std::string> lines;  // --pace and --echo as config lines
  std::string echo_delay;
};

bool ParseNumber(const char* text, long lo, long hi, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || end == text || v < lo || v > hi) return false;
  *out = v;
  return true;
}

int ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "v120-sim: %s needs a value\n%s", a.c_str(), kUsage);
      return 2;
    }
    const char* v = argv[++i];
    long n = 0;
    if (a == "--link") {
      o->link = v;
    } else if (a == "--device") {
      o->device = v;
    } else if (a == "--config") {
      o->config = v;
    } else if (a == "--control") {
      o->control = v;
    } else if (a == "--log") {
      o->log = v;
    } else if (a == "--speed" && ParseNumber(v, 50, 4000000, &n)) {
      o->speed = static_cast<int32_t>(n);
    } else if (a == "--turnaround" && ParseNumber(v, 0, 10000, &n)) {
      o->turnaround = static_cast<int>(n);
    } else if (a == "--pace") {
      o->lines.push_back(std::string("pace ") + v);
    } else if (a == "--echo") {
      o->lines.push_back(std::string("echo ") + v);
    } else if (a == "--echo-delay") {
      o->echo_delay = std::string(" delay=") + v;
    } else {
      std::fprintf(stderr, "v120-sim: bad option %s %s\n%s", a.c_str(), v, kUsage);
      return 2;
    }
  }
  if (o->link.empty() == o->device.empty()) {
    std::fprintf(stderr, "v120-sim: give exactly one of --link and --device\n%s", kUsage);
    return 2;
  }
  return -1;  // go on
}

// The model from the config file, the command line's overrides and the control file.
bool BuildModel(const Options& o, SimModel* model, PcomResponder* log) {
  SimModel m;
  const auto now = std::chrono::steady_clock::now();
  if (o.config.empty()) {
    m.units[1];
  } else {
    std::string text;
    if (!ReadText(o.config, &text)) {
      std::fprintf(stderr, "v120-sim: cannot read %s\n", o.config.c_str());
      return false;
    }
    std::vector<std::string> errors;
    if (!m.ApplyText(text, now, &errors)) {
      for (const auto& e : errors) std::fprintf(stderr, "v120-sim: %s: %s\n", o.config.c_str(), e.c_str());
      return false;
    }
  }
  if (o.speed > 0) m.speed = o.speed;
  if (o.turnaround >= 0) m.turnaround_ms = o.turnaround;
  for (std::string line : o.lines) {
    if (line.rfind("echo ", 0) == 0) line += o.echo_delay;
    std::string why;
    if (!m.ApplyLine(line, now, &why)) {
      std::fprintf(stderr, "v120-sim: --%s: %s\n", line.c_str(), why.c_str());
      return false;
    }
  }
  std::string text;
  if (!o.control.empty() && ReadText(o.control, &text)) {
    std::vector<std::string> errors;
    m.ApplyText(text, now, &errors);
    for (const auto& e : errors) log->Log("control " + e);
  }
  *model = std::move(m);
  return true;
}

// Applies the control file when it has changed since the watch last looked.
void ApplyControl(FileWatch* watch, SimModel* model, PcomResponder* log) {
  if (!watch->Changed()) return;
  std::string text;
  if (!watch->Exists() || !ReadText(watch->path(), &text)) return;
  std::vector<std::string> errors;
  model->ApplyText(text, std::chrono::steady_clock::now(), &errors);
  for (const auto& e : errors) log->Log("control " + e);
  log->Log("control applied");
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  const int rc = ParseOptions(argc, argv, &opt);
  if (rc >= 0) return rc;
  signal(SIGPIPE, SIG_IGN);
  std::string error;
  if (!g_signals.Open({SIGTERM, SIGINT}, {SIGHUP, SIGUSR1, SIGUSR2}, &error)) {
    std::fprintf(stderr, "v120-sim: %s\n", error.c_str());
    return 1;
  }

  std::FILE* log_file = nullptr;
  if (!opt.log.empty()) {
    log_file = std::fopen(opt.log.c_str(), "a");
    if (!log_file) {
      std::fprintf(stderr, "v120-sim: cannot open log %s\n", opt.log.c_str());
      return 2;
    }
  }
  SimModel model;
  PcomResponder responder(model, log_file);
  if (!BuildModel(opt, &model, &responder)) return 2;
  FileWatch control(opt.control);
  control.Seen();

  SimPort port;
  const bool opened = opt.device.empty() ? port.CreatePty(opt.link, &error)
                                         : port.OpenDevice(opt.device, model.speed, &error);
  if (!opened) {
    std::fprintf(stderr, "v120-sim: %s\n", error.c_str());
    return 1;
  }
  responder.Log("ready " + port.device());

  std::string pending;
  for (g_signals.Take(); !g_signals.Stopped(); g_signals.Take()) {
    if (g_signals.Arrived(SIGHUP)) {
      SimModel fresh;
      PcomResponder tmp(fresh, log_file);
      if (BuildModel(opt, &fresh, &tmp)) {
        model = std::move(fresh);
        responder.Log("reload");
      }
      control.Seen();
    }
    if (g_signals.Arrived(SIGUSR1)) {
      model.fault = NextFault(model.fault);
      model.fault_count = -1;
      responder.Log(std::string("mode ") + FaultName(model.fault));
    }
    if (g_signals.Arrived(SIGUSR2)) {
      model.fault = Fault::None;
      model.fault_count = -1;
      responder.Log("mode none");
    }
    ApplyControl(&control, &model, &responder);
    if (model.vanish_ms >= 0) {
      const int ms = model.vanish_ms;
      model.vanish_ms = -1;
      pending.clear();
      // The master's line hangs up, the node and the link vanish; later they return.
      if (!port.Vanish(ms, g_signals.Sleeper(), [&](const std::string& l) { responder.Log(l); }))
        g_signals.Stop();
      continue;
    }

    pollfd p[2] = {{port.fd(), POLLIN, 0}, {g_signals.fd(), POLLIN, 0}};
    if (poll(p, 2, 100) <= 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[256];
    const ssize_t n = read(port.fd(), buf, sizeof buf);
    if (n <= 0) {
      // A pseudo-terminal whose far end is not open reports a hang-up: wait for the master.
      if (n < 0 && errno != EAGAIN && errno != EINTR)
        g_signals.SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
      continue;
    }
    const SteadyTime rx = std::chrono::steady_clock::now();
    pending.append(buf, static_cast<size_t>(n));
    size_t cr;
    while ((cr = pending.find('\r')) != std::string::npos && !g_signals.Stopped()) {
      const std::string request = pending.substr(0, cr + 1);
      std::string line = pending.substr(0, cr);
      pending.erase(0, cr + 1);
      while (!line.empty() && line[0] == '\n') line.erase(0, 1);
      ApplyControl(&control, &model, &responder);
      // The request's time on the wire: it ended that long after its first byte came in.
      const auto bt = liron::simtools::ByteTime(model.speed);
      const SteadyTime req_end = rx + bt * static_cast<long>(request.size());
      liron::simtools::SendEcho(port.fd(), reinterpret_cast<const uint8_t*>(request.data()),
                                request.size(), req_end, model.wire, g_signals.Sleeper());
      int late_ms = -1;
      const std::string reply = responder.Handle(line, std::chrono::steady_clock::now(), &late_ms);
      if (reply.empty()) continue;
      const int latency = late_ms >= 0 ? late_ms : model.turnaround_ms;
      liron::simtools::SendOnWire(port.fd(), reinterpret_cast<const uint8_t*>(reply.data()),
                                  reply.size(), req_end + std::chrono::milliseconds(latency),
                                  model.speed, model.wire.paced, g_signals.Sleeper());
    }
    if (pending.size() > 1024) {
      responder.Log("drop overlong request");
      pending.clear();
    }
  }
  responder.Log("end");
  if (log_file) std::fclose(log_file);
  return 0;
}
