#include "links/modbus_reply_scan.h"

#include <algorithm>
#include <limits>

#include "links/modbus.h"

namespace liron {

namespace {

constexpr size_t kUnknownLength = std::numeric_limits<size_t>::max();
// An echo shorter than this is not told from a reply that happens to begin like the request's
// last byte; a stray byte costs nothing anyway.
constexpr size_t kMinEcho = 2;

}  // namespace

TModbusReplyScan::TModbusReplyScan(std::span<const uint8_t> request, int32_t address,
                                   bool check_function)
    : request_(request.begin(), request.end()), address_(address), check_function_(check_function) {}

void TModbusReplyScan::Add(uint8_t byte) {
  buf_.push_back(byte);
  pos_.push_back(Pos::Open);
  if (buf_.size() <= request_.size()) echo_ = EchoLength();
  whole_ = -1;
  for (size_t p = 0; p < buf_.size(); ++p) {
    if (pos_[p] == Pos::Open) Judge(p);
    if (whole_ < 0 && p >= echo_ && pos_[p] == Pos::Good) whole_ = static_cast<long>(p);
  }
}

size_t TModbusReplyScan::EchoLength() const {
  const size_t n = request_.size();
  for (size_t k = std::min(buf_.size(), n); k >= kMinEcho; --k)
    if (std::equal(buf_.begin(), buf_.begin() + static_cast<long>(k), request_.end() - static_cast<long>(k)))
      return k;
  return 0;
}

size_t TModbusReplyScan::ExpectedLength(size_t p) const {
  if (p + 1 >= buf_.size()) return 0;
  const uint8_t fn = buf_[p + 1];
  if (fn & 0x80) return 5;  // address, function | 0x80, exception code, CRC
  switch (fn) {
    case 1: case 2: case 3: case 4:
      return p + 2 < buf_.size() ? 5 + size_t{buf_[p + 2]} : 0;  // ..., byte count, data, CRC
    case 5: case 6: case 15: case 16:
      return 8;  // address, function, two 16-bit fields, CRC
    default:
      return kUnknownLength;  // ends where the line goes quiet
  }
}

void TModbusReplyScan::Judge(size_t p) {
  if (buf_[p] != address_) {
    pos_[p] = Pos::NoStart;
    return;
  }
  if (p + 1 >= buf_.size()) return;
  const uint8_t fn = buf_[p + 1];
  if (check_function_ && request_.size() >= 2) {
    const uint8_t asked = request_[1];
    if (fn != asked && fn != (asked | 0x80)) {
      pos_[p] = Pos::NoStart;
      return;
    }
    // A register read answers with two bytes per register asked: anything else is a reply
    // to another request, or noise.
    if ((fn == 3 || fn == 4) && fn == asked && request_.size() >= 6 && p + 2 < buf_.size() &&
        buf_[p + 2] != 2 * (request_[4] * 256 + request_[5])) {
      pos_[p] = Pos::NoStart;
      return;
    }
  }
  const size_t len = ExpectedLength(p);
  if (len == 0 || len == kUnknownLength || p + len > buf_.size()) return;
  const uint16_t crc = ModbusCrc(buf_.data() + p, len - 2);
  const bool ok = buf_[p + len - 2] == (crc & 0xFF) && buf_[p + len - 1] == (crc >> 8);
  pos_[p] = ok ? Pos::Good : Pos::Bad;
}

bool TModbusReplyScan::Started() const {
  for (size_t p = echo_; p < buf_.size(); ++p)
    if (pos_[p] != Pos::NoStart) return true;
  return false;
}

bool TModbusReplyScan::Undecided() const {
  for (size_t p = echo_; p < buf_.size(); ++p)
    if (pos_[p] != Pos::NoStart) return p + 1 == buf_.size();
  return false;
}

std::span<const uint8_t> TModbusReplyScan::Reply() const {
  const uint8_t* b = buf_.data();
  if (whole_ >= 0) {
    const size_t p = static_cast<size_t>(whole_);
    return {b + p, ExpectedLength(p)};
  }
  for (size_t p = echo_; p < buf_.size(); ++p) {
    if (pos_[p] == Pos::Bad) return {b + p, ExpectedLength(p)};
    if (pos_[p] == Pos::Open) return {b + p, buf_.size() - p};
  }
  return {};
}

size_t TModbusReplyScan::Stray() const {
  size_t p = echo_;
  while (p < buf_.size() && pos_[p] == Pos::NoStart) ++p;  // up to the first reply begun
  return p > echo_ ? p - echo_ : 0;
}

}  // namespace liron
