#include "sim_config.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace jumo_sim {

namespace {

const char* const kOrderNames[] = {"ABCD", "CDAB", "DCBA", "BADC"};
// For each order, which byte of the pattern (3 = A, the most significant) stands at each of
// the four wire positions.
const int kOrderBytes[4][4] = {{3, 2, 1, 0}, {1, 0, 3, 2}, {0, 1, 2, 3}, {2, 3, 0, 1}};

const char* const kFaultNames[] = {"none",     "silence", "noise", "exception", "badcrc",
                                   "truncate", "pause",   "long",  "late"};

bool ParseNumber(const std::string& s, double* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  *v = std::strtod(s.c_str(), &end);
  return end && *end == '\0';
}

bool ParseInt(const std::string& s, long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  *v = std::strtol(s.c_str(), &end, 0);  // 0x10 and 16 alike
  return end && *end == '\0';
}

std::vector<std::string> Words(const std::string& line) {
  std::string s = line.substr(0, line.find('#'));
  std::istringstream in(s);
  std::vector<std::string> w;
  std::string t;
  while (in >> t) w.push_back(t);
  return w;
}

// key=value options after the fixed words.
bool ParseOptions(const std::vector<std::string>& w, size_t from,
                  std::map<std::string, std::string>* opts) {
  for (size_t i = from; i < w.size(); ++i) {
    const size_t eq = w[i].find('=');
    if (eq == std::string::npos) return false;
    (*opts)[w[i].substr(0, eq)] = w[i].substr(eq + 1);
  }
  return true;
}

bool ParseFaultWords(const std::vector<std::string>& w, Fault* f, std::string* why) {
  if (w.size() < 2 || !ParseFaultMode(w[1], &f->mode)) {
    *why = "unknown fault mode";
    return false;
  }
  std::map<std::string, std::string> opts;
  if (!ParseOptions(w, 2, &opts)) {
    *why = "expected key=value";
    return false;
  }
  for (const auto& [k, v] : opts) {
    long n = 0;
    if (!ParseInt(v, &n)) {
      *why = "not a number: " + v;
      return false;
    }
    if (k == "slave") f->slave = static_cast<int>(n);
    else if (k == "count") f->count = static_cast<int>(n);
    else if (k == "bytes") f->bytes = static_cast<int>(n);
    else if (k == "ms") f->ms = static_cast<int>(n);
    else if (k == "code") f->code = static_cast<int>(n);
    else if (k == "own") f->own = n != 0;
    else {
      *why = "unknown option " + k;
      return false;
    }
  }
  return true;
}

// The lines a config and a control file share: faults and the line's behaviour. True when
// the words were one of them; *why is set when such a line is wrong.
bool ParseSharedLine(const std::vector<std::string>& w, std::vector<Fault>* faults,
                     LineBehaviour* line, std::string* why) {
  if (w[0] == "fault") {
    Fault f;
    if (ParseFaultWords(w, &f, why)) faults->push_back(f);
    return true;
  }
  if (w[0] == "turnaround") {
    long n = 0;
    if (w.size() != 2 || !ParseInt(w[1], &n) || n < 0 || n > 60000)
      *why = "turnaround 0..60000";
    else
      line->turnaround_ms = static_cast<int>(n);
    return true;
  }
  return liron::simtools::ApplyWireWords(w, &line->wire, why) != liron::simtools::WireLine::NotMine;
}

bool Parse(const std::string& text, Config* config, Control* control, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int lineno = 0;
  int slave = -1;
  std::vector<Fault>& faults = control ? control->faults : config->faults;
  LineBehaviour& behaviour = control ? control->line : config->line;
  while (std::getline(in, line)) {
    ++lineno;
    const auto w = Words(line);
    if (w.empty()) continue;
    std::string why;
    auto bad = [&](const std::string& what) {
      *error = "line " + std::to_string(lineno) + ": " + what;
      return false;
    };
    if (ParseSharedLine(w, &faults, &behaviour, &why)) {
      if (!why.empty()) return bad(why);
      continue;
    }
    if (control) {
      long n = 0;
      if (w[0] != "vanish") return bad("unknown keyword " + w[0]);
      if (w.size() != 2 || !ParseInt(w[1], &n) || n < 0 || n > 3600000) return bad("vanish MS");
      control->vanish_ms = static_cast<int>(n);
      continue;
    }
    if (w[0] == "slave") {
      long n = 0;
      if (w.size() != 2 || !ParseInt(w[1], &n) || n < 1 || n > 247) return bad("slave 1..247");
      slave = static_cast<int>(n);
      config->slaves[slave];
      continue;
    }
    if (w[0] == "reg" || w[0] == "float") {
      if (slave < 0) return bad("a 'slave' line must come first");
      Variable v;
      v.is_float = w[0] == "float";
      long addr = 0;
      if (w.size() < 3 || !ParseInt(w[1], &addr) || addr < 0 || addr > 0xFFFF)
        return bad("expected: " + w[0] + " <address> <value> [options]");
      if (v.is_float && addr > 0xFFFE) return bad("a float needs two registers");
      v.addr = static_cast<uint16_t>(addr);
      if (!ParseNumber(w[2], &v.base)) return bad("not a number: " + w[2]);
      std::map<std::string, std::string> opts;
      if (!ParseOptions(w, 3, &opts)) return bad("expected key=value");
      for (const auto& [k, val] : opts) {
        if (k == "drift") {
          if (!ParseNumber(val, &v.drift)) return bad("not a number: " + val);
        } else if (k == "order" && v.is_float) {
          if (!ParseOrder(val, &v.order)) return bad("order is ABCD, CDAB, DCBA or BADC");
        } else {
          return bad("unknown option " + k);
        }
      }
      if (!v.is_float && (v.base < 0 || v.base > 65535)) return bad("a register holds 0..65535");
      config->slaves[slave].push_back(v);
      continue;
    }
    return bad("unknown keyword " + w[0]);
  }
  return true;
}

}  // namespace

bool ParseOrder(const std::string& text, FloatOrder* order) {
  for (int i = 0; i < 4; ++i)
    if (strcasecmp(text.c_str(), kOrderNames[i]) == 0) {
      *order = static_cast<FloatOrder>(i);
      return true;
    }
  return false;
}

const char* OrderName(FloatOrder order) { return kOrderNames[static_cast<int>(order)]; }

void EncodeFloat(float v, FloatOrder order, uint16_t regs[2]) {
  uint32_t pattern;
  std::memcpy(&pattern, &v, 4);
  uint8_t wire[4];
  for (int k = 0; k < 4; ++k)
    wire[k] = static_cast<uint8_t>(pattern >> (8 * kOrderBytes[static_cast<int>(order)][k]));
  // A register goes on the wire high byte first.
  regs[0] = static_cast<uint16_t>(wire[0] << 8 | wire[1]);
  regs[1] = static_cast<uint16_t>(wire[2] << 8 | wire[3]);
}

float DecodeFloat(const uint16_t regs[2], FloatOrder order) {
  const uint8_t wire[4] = {static_cast<uint8_t>(regs[0] >> 8), static_cast<uint8_t>(regs[0]),
                           static_cast<uint8_t>(regs[1] >> 8), static_cast<uint8_t>(regs[1])};
  uint32_t pattern = 0;
  for (int k = 0; k < 4; ++k)
    pattern |= static_cast<uint32_t>(wire[k]) << (8 * kOrderBytes[static_cast<int>(order)][k]);
  float v;
  std::memcpy(&v, &pattern, 4);
  return v;
}

bool ParseFaultMode(const std::string& text, FaultMode* mode) {
  for (int i = 0; i < 9; ++i)
    if (text == kFaultNames[i]) {
      *mode = static_cast<FaultMode>(i);
      return true;
    }
  return false;
}

const char* FaultName(FaultMode mode) { return kFaultNames[static_cast<int>(mode)]; }

bool ParseConfig(const std::string& text, Config* config, std::string* error) {
  return Parse(text, config, nullptr, error);
}

bool ParseControl(const std::string& text, const LineBehaviour& base, Control* control,
                  std::string* error) {
  Control c;
  c.line = base;
  if (!Parse(text, nullptr, &c, error)) return false;
  *control = c;
  return true;
}

}  // namespace jumo_sim
