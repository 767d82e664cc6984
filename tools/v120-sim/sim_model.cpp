#include "sim_model.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace liron::v120sim {

namespace {

struct FaultEntry {
  Fault fault;
  const char* name;
};

constexpr FaultEntry kFaults[] = {
    {Fault::None, "none"},     {Fault::Silence, "silence"}, {Fault::Lowercase, "lowercase"},
    {Fault::NoStx, "no-stx"},  {Fault::Short, "short"},     {Fault::Long, "long"},
    {Fault::BadCrc, "bad-crc"}, {Fault::Noise, "noise"},     {Fault::BadHex, "bad-hex"},
    {Fault::Late, "late"},      {Fault::Glitch, "glitch"},
};

bool ParseInt(const std::string& text, int64_t lo, int64_t hi, int64_t* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);  // decimal, or 0x.. hexadecimal
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseDouble(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

}  // namespace

const char* FaultName(Fault f) {
  for (const auto& e : kFaults)
    if (e.fault == f) return e.name;
  return "none";
}

bool ParseFault(const std::string& name, Fault* f) {
  for (const auto& e : kFaults) {
    if (name == e.name) {
      *f = e.fault;
      return true;
    }
  }
  return false;
}

Fault NextFault(Fault f) {
  constexpr size_t n = sizeof kFaults / sizeof kFaults[0];
  for (size_t i = 0; i < n; ++i)
    if (kFaults[i].fault == f) return kFaults[(i + 1) % n].fault;
  return Fault::None;
}

int64_t Totaliser::Read(SteadyTime now) {
  const double seconds = std::chrono::duration<double>(now - base).count();
  int64_t v = value + static_cast<int64_t>(std::floor(rate * seconds)) + step * reads;
  ++reads;
  if (wrap > 0) {
    v %= wrap;
    if (v < 0) v += wrap;
  }
  return v;
}

void Totaliser::Set(int64_t v, SteadyTime now) {
  value = v;
  base = now;
  reads = 0;
}

bool SimModel::ApplyLine(const std::string& raw, SteadyTime now, std::string* error) {
  std::string line = raw.substr(0, raw.find('#'));
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string t; in >> t;) w.push_back(t);
  if (w.empty()) return true;
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };

  int64_t n = 0;
  if (w[0] == "fault") {
    Fault f;
    if (w.size() < 2 || w.size() > 4 || !ParseFault(w[1], &f)) return fail("unknown fault mode");
    int64_t count = -1, late = late_ms;
    for (size_t i = 2; i < w.size(); ++i) {
      if (w[i].rfind("ms=", 0) == 0) {
        if (!ParseInt(w[i].substr(3), 0, 60000, &late)) return fail("bad fault ms");
      } else if (!ParseInt(w[i], 1, INT_MAX, &count)) {
        return fail("bad fault count");
      }
    }
    fault = f;
    fault_count = static_cast<int>(count);
    late_ms = static_cast<int>(late);
    return true;
  }
  switch (liron::simtools::ApplyWireWords(w, &wire, error)) {
    case liron::simtools::WireLine::Applied: return true;
    case liron::simtools::WireLine::Refused: return false;
    case liron::simtools::WireLine::NotMine: break;
  }
  if (w[0] == "vanish") {
    if (w.size() != 2 || !ParseInt(w[1], 0, 3600000, &n)) return fail("bad vanish");
    vanish_ms = static_cast<int>(n);
    return true;
  }
  if (w[0] == "turnaround") {
    if (w.size() != 2 || !ParseInt(w[1], 0, 10000, &n)) return fail("bad turnaround");
    turnaround_ms = static_cast<int>(n);
    return true;
  }
  if (w[0] == "speed") {
    if (w.size() != 2 || !ParseInt(w[1], 50, 4000000, &n)) return fail("bad speed");
    speed = static_cast<int32_t>(n);
    return true;
  }
  if (w[0] == "unit") {
    if (w.size() != 2 || !ParseInt(w[1], 0, 255, &n)) return fail("bad unit");
    units[static_cast<int>(n)];
    return true;
  }

  int64_t id = 0, addr = 0, value = 0;
  if (w.size() < 4 || !ParseInt(w[0], 0, 255, &id)) return fail("unknown line");
  if (!ParseInt(w[2], 0, 0xFFFF, &addr)) return fail("bad address");
  const int a = static_cast<int>(addr);
  if (w[1] == "bit") {
    if (w.size() != 4 || !ParseInt(w[3], 0, 1, &value)) return fail("bad bit");
    units[static_cast<int>(id)].bits[a] = static_cast<int>(value);
    return true;
  }
  if (w[1] == "word") {
    if (w.size() != 4 || !ParseInt(w[3], 0, 0xFFFF, &value)) return fail("bad word");
    units[static_cast<int>(id)].words[a] = static_cast<int>(value);
    return true;
  }
  if (w[1] == "long") {
    if (w.size() != 4 || !ParseInt(w[3], INT32_MIN, INT32_MAX, &value)) return fail("bad long");
    units[static_cast<int>(id)].longs[a] = static_cast<int32_t>(value);
    return true;
  }
  if (w[1] == "totaliser") {
    if (!ParseInt(w[3], 0, INT32_MAX, &value)) return fail("bad totaliser value");
    Unit& u = units[static_cast<int>(id)];
    Totaliser t;
    auto it = u.totalisers.find(a);
    if (it != u.totalisers.end()) t = it->second;  // options not given keep their values
    for (size_t i = 4; i < w.size(); ++i) {
      const size_t eq = w[i].find('=');
      if (eq == std::string::npos) return fail("bad totaliser option " + w[i]);
      const std::string key = w[i].substr(0, eq), val = w[i].substr(eq + 1);
      if (key == "rate") {
        if (!ParseDouble(val, &t.rate) || t.rate < 0) return fail("bad rate");
      } else if (key == "step") {
        if (!ParseInt(val, 0, INT32_MAX, &t.step)) return fail("bad step");
      } else if (key == "wrap") {
        if (!ParseInt(val, 1, INT32_MAX, &t.wrap)) return fail("bad wrap");
      } else {
        return fail("unknown totaliser option " + key);
      }
    }
    t.Set(value, now);
    u.totalisers[a] = t;
    return true;
  }
  return fail("unknown operand type " + w[1]);
}

bool SimModel::ApplyText(const std::string& text, SteadyTime now,
                         std::vector<std::string>* errors) {
  std::istringstream in(text);
  bool ok = true;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::string why;
    if (!ApplyLine(line, now, &why)) {
      ok = false;
      if (errors) errors->push_back("line " + std::to_string(number) + ": " + why);
    }
  }
  return ok;
}

Fault SimModel::TakeFault() {
  const Fault f = fault;
  if (f != Fault::None && fault_count > 0 && --fault_count == 0) {
    fault = Fault::None;
    fault_count = -1;
  }
  return f;
}

}  // namespace liron::v120sim
