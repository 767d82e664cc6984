#include "pcom_responder.h"

#include <cctype>
#include <vector>

namespace liron::v120sim {

namespace {

std::string Hex(uint32_t v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", width, v);
  return buf;
}

bool ReadHex(const std::string& s, size_t pos, size_t len, uint32_t* out) {
  if (pos + len > s.size()) return false;
  uint32_t v = 0;
  for (size_t i = pos; i < pos + len; ++i) {
    const char c = s[i];
    // Upper case only, as the controller reads its requests.
    if (!(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'F')) return false;
    v = v * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
  }
  *out = v;
  return true;
}

// The reply as a log line shows it: bytes outside printable ASCII as <XX>.
std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "<%02X>", c);
      out += b;
    }
  }
  return out;
}

}  // namespace

std::string Checksum(const std::string& text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return Hex(sum & 0xFF, 2);
}

void PcomResponder::Log(const std::string& line) {
  if (!log_) return;
  std::fputs(line.c_str(), log_);
  std::fputc('\n', log_);
  std::fflush(log_);
}

std::string PcomResponder::Handle(const std::string& request, SteadyTime now, int* late_ms) {
  *late_ms = -1;
  Log("rx " + request);
  uint32_t unit = 0;
  if (request.size() < 7 || request[0] != '/' || !ReadHex(request, 1, 2, &unit)) {
    Log("drop malformed");
    return "";
  }
  const std::string summed = request.substr(1, request.size() - 3);
  if (Checksum(summed) != request.substr(request.size() - 2)) {
    Log("drop checksum");
    return "";
  }
  if (model_.units.find(static_cast<int>(unit)) == model_.units.end()) {
    Log("drop unit " + std::to_string(unit));
    return "";
  }
  const Fault fault = model_.TakeFault();
  if (fault == Fault::Silence) {
    Log("fault silence");
    return "";  // a dead controller executes nothing
  }
  const std::string cmd = summed.substr(2);
  std::string data;
  std::vector<std::string> totals;
  if (!Execute(static_cast<int>(unit), cmd, now, &data, &totals)) {
    Log("drop command " + cmd);
    return "";
  }
  // bad-hex: a data character that is no hexadecimal digit, under a correct checksum.
  if (fault == Fault::BadHex && !data.empty()) data[0] = 'G';
  const std::string body = summed.substr(0, 2) + cmd.substr(0, 2) + data;
  std::string crc = Checksum(body);
  std::string reply;
  switch (fault) {
    case Fault::None:
    case Fault::Silence:
    case Fault::BadHex:
      reply = "/A" + body + crc;
      break;
    case Fault::Late:
      reply = "/A" + body + crc;
      *late_ms = model_.late_ms;
      break;
    case Fault::Glitch:
      reply = std::string(1, model_.glitches++ % 2 == 0 ? '\x00' : '\xFF') + "/A" + body + crc;
      break;
    case Fault::Lowercase:
      for (char& c : crc) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      reply = "/A" + body + crc;
      break;
    case Fault::NoStx:
      reply = body + crc;
      break;
    case Fault::Short:
      reply = "/A" + body.substr(0, 3);
      break;
    case Fault::Long:
      reply = "/A" + body + std::string(1000, '0') + crc;
      break;
    case Fault::BadCrc: {
      unsigned sum = 0;
      for (unsigned char c : body) sum += c;
      reply = "/A" + body + Hex((sum + 1) & 0xFF, 2);
      break;
    }
    case Fault::Noise:  // a burst longer than the glitch a master skips
      for (int i = 0; i < 8; ++i) reply += std::string("\x01\x7F~", 3);
      reply += "/A" + body + crc;
      break;
  }
  if (fault == Fault::None) {
    for (const auto& t : totals) Log(t);
  } else {
    Log(std::string("fault ") + FaultName(fault));
  }
  Log("tx " + Printable(reply));
  return reply + "\r";
}

bool PcomResponder::Execute(int unit_id, const std::string& cmd, SteadyTime now,
                            std::string* data, std::vector<std::string>* totals) {
  Unit& unit = model_.units[unit_id];
  std::string code;
  for (const char* c : {"RNL", "SNL", "RB", "RW", "SB", "SW"}) {
    if (cmd.rfind(c, 0) == 0) {
      code = c;
      break;
    }
  }
  if (code.empty()) return false;
  uint32_t addr = 0, count = 0;
  const size_t p = code.size();
  if (!ReadHex(cmd, p, 4, &addr) || !ReadHex(cmd, p + 4, 2, &count) || count == 0) return false;
  const std::string args = cmd.substr(p + 6);
  const auto at = [&](uint32_t j) { return static_cast<int>(addr + j); };

  if (code[0] == 'R') {
    if (!args.empty()) return false;
    for (uint32_t j = 0; j < count; ++j) {
      if (code == "RB") {
        auto it = unit.bits.find(at(j));
        data->push_back(it != unit.bits.end() && it->second ? '1' : '0');
      } else if (code == "RW") {
        auto it = unit.words.find(at(j));
        *data += Hex(it != unit.words.end() ? static_cast<uint32_t>(it->second) : 0, 4);
      } else {
        auto tot = unit.totalisers.find(at(j));
        uint32_t v = 0;
        if (tot != unit.totalisers.end()) {
          const int64_t r = tot->second.Read(now);
          v = static_cast<uint32_t>(r);
          totals->push_back("total " + std::to_string(unit_id) + " " + std::to_string(at(j)) +
                            " " + std::to_string(r));
        } else {
          auto it = unit.longs.find(at(j));
          v = it != unit.longs.end() ? static_cast<uint32_t>(it->second) : 0;
        }
        *data += Hex(v, 8);
      }
    }
    return true;
  }

  const size_t width = code == "SB" ? 1 : code == "SW" ? 4 : 8;
  if (args.size() != width * count) return false;
  std::vector<int64_t> values;
  for (uint32_t j = 0; j < count; ++j) {
    if (code == "SB") {
      const char c = args[j];
      if (c != '0' && c != '1') return false;
      values.push_back(c == '1');
    } else {
      uint32_t v = 0;
      if (!ReadHex(args, j * width, width, &v)) return false;
      values.push_back(code == "SNL" ? static_cast<int64_t>(static_cast<int32_t>(v)) : v);
    }
  }
  std::string line = "write " + code + " " + std::to_string(unit_id) + " " + std::to_string(addr);
  for (uint32_t j = 0; j < count; ++j) {
    const int64_t v = values[j];
    line += " " + std::to_string(v);
    if (code == "SB") {
      unit.bits[at(j)] = static_cast<int>(v);
    } else if (code == "SW") {
      unit.words[at(j)] = static_cast<int>(v);
    } else {
      auto tot = unit.totalisers.find(at(j));
      if (tot != unit.totalisers.end()) {
        tot->second.Set(v < 0 ? 0 : v, now);
      } else {
        unit.longs[at(j)] = static_cast<int32_t>(v);
      }
    }
  }
  Log(line);
  return true;
}

}  // namespace liron::v120sim
