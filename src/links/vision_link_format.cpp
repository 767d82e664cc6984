#include "links/vision_link_format.h"

#include <cstdio>

namespace liron {

namespace {

std::string HexWidth(int64_t n, int width) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*X", width, static_cast<uint32_t>(n));
  return buf;
}

}  // namespace

std::string Hex2(int64_t n) { return HexWidth(n, 2); }
std::string Hex4(int64_t n) { return HexWidth(n, 4); }
std::string Hex8(int64_t n) { return HexWidth(n, 8); }

std::string PcomChecksum(const std::string& text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return Hex2(sum & 0xFF);
}

bool ParseHexGroup(const std::string& group, uint32_t* value) {
  if (group.empty() || group.size() > 8) return false;
  uint32_t v = 0;
  for (char c : group) {
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      d = static_cast<uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return false;
    }
    v = (v << 4) | d;
  }
  *value = v;
  return true;
}


}  // namespace liron
