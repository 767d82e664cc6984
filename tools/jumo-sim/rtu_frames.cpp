#include "rtu_frames.h"

#include <cstdio>

namespace jumo_sim {

uint16_t Crc16(const uint8_t* data, size_t len) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < len; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

int RequestLength(const std::vector<uint8_t>& buf) {
  if (buf.size() < 2) return 0;
  switch (buf[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return 8;  // address, function, two 16-bit fields, CRC
    case 15: case 16:
      if (buf.size() < 7) return 0;
      return 9 + buf[6];  // ..., byte count, data, CRC
    default:
      return -1;
  }
}

void CutFrames(std::vector<uint8_t>* buf, std::vector<std::vector<uint8_t>>* frames,
               size_t* dropped, bool quiet) {
  size_t start = 0;
  while (buf->size() - start >= 2) {
    std::vector<uint8_t> view(buf->begin() + static_cast<long>(start), buf->end());
    const int len = RequestLength(view);
    if (len == 0) break;
    if (len < 0 && !quiet) break;  // its end is where the line goes quiet
    if (len < 0 && view.size() >= 4 &&
        Crc16(view.data(), view.size() - 2) == (view[view.size() - 2] | view[view.size() - 1] << 8)) {
      frames->push_back(view);
      start = buf->size();
      break;
    }
    if (len > 0 && view.size() < static_cast<size_t>(len)) break;
    if (len > 0 && Crc16(view.data(), len - 2) == (view[len - 2] | view[len - 1] << 8)) {
      frames->emplace_back(view.begin(), view.begin() + len);
      start += static_cast<size_t>(len);
      continue;
    }
    ++start;  // no frame starts here
    ++*dropped;
  }
  buf->erase(buf->begin(), buf->begin() + static_cast<long>(start));
}

std::string Hex(const uint8_t* data, size_t len) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < len; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
    s += b;
  }
  return s;
}

}  // namespace jumo_sim
