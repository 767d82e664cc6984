// The PCOM link's reply handling under arbitrary reply lines: TVisionLink sends a real request
// on a pseudo-terminal, reads the "controller's" line and checks and unpacks it (STX1, length,
// checksum, then the bits, words or longs of GetBitArray and GetIntArray).
//
// Input: byte 0 chooses the request and the reply prefix, byte 1 the operand count; the rest
// is the reply line. A carriage return is put after it, so that every line ends and no run
// waits out the reply time-out (bytes after an earlier carriage return are left unread).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "links/vision_link.h"
#include "pty_device.h"

namespace {

using liron::fuzz::DeviceClock;
using liron::fuzz::PtyDevice;

constexpr size_t kMaxReply = 1000;  // past the 900 characters a reply line may have

struct Rig {
  PtyDevice dev;
  DeviceClock clock{dev, 0};  // time stands: a long line never runs into the reply wait
  liron::TVisionLink link{clock};

  Rig() {
    link.SetPortName(dev.SlavePath());
    link.SetSpeed(57600);
    link.SetActive(true);
    if (!link.Active()) {
      std::fprintf(stderr, "cannot open %s: %s\n", dev.SlavePath().c_str(), link.Status().c_str());
      std::abort();
    }
  }
};

Rig& TheRig() {
  static Rig* rig = new Rig;
  return *rig;
}

// count operands at offset 8 of a buffer guarded by 8 known bytes on each side.
template <typename T>
struct Guarded {
  explicit Guarded(size_t count) : buf(count + 16, static_cast<T>(0x5A)), n(count) {}
  std::span<T> Span() { return {buf.data() + 8, n}; }
  bool GuardsIntact() const {
    for (size_t i = 0; i < 8; ++i)
      if (buf[i] != static_cast<T>(0x5A) || buf[buf.size() - 1 - i] != static_cast<T>(0x5A))
        return false;
    return true;
  }
  std::vector<T> buf;
  size_t n;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Rig& rig = TheRig();
  liron::TVisionLink& link = rig.link;
  const uint8_t mode = data[0];
  const size_t count = data[1];
  std::vector<uint8_t> reply(data + 2, data + 2 + std::min(size - 2, kMaxReply));
  reply.push_back('\r');
  link.SetSTX1((mode & 0x08) ? "" : "/A");

  rig.dev.Reset();
  // Opened afresh: after a failed exchange the link would first wait for a quiet line, and the
  // device has just been emptied.
  link.SetActive(false);
  link.SetActive(true);
  rig.clock.Arm(reply.data(), reply.size());
  const int32_t address = 0x20;
  switch (mode & 0x07) {
    case 0: {
      Guarded<uint8_t> bits(count);
      if (link.GetBitArray(address, bits.Span()))
        for (uint8_t b : bits.Span())
          if (b > 1) __builtin_trap();
      if (!bits.GuardsIntact()) __builtin_trap();
      break;
    }
    case 1:
    case 2: {
      const bool long_flag = (mode & 0x07) == 2;
      Guarded<int32_t> values(count);
      if (link.GetIntArray(address, values.Span(), long_flag) && !long_flag)
        for (int32_t v : values.Span())
          if (v < 0 || v > 0xFFFF) __builtin_trap();
      if (!values.GuardsIntact()) __builtin_trap();
      break;
    }
    case 3: {
      std::vector<int32_t> values(std::min<size_t>(count, 20), 1234);
      (void)link.SetIntArray(address, values, false);
      break;
    }
    case 4: {
      std::vector<uint8_t> bits(std::min<size_t>(count, 40), 1);
      (void)link.SetBitArray(address, bits);
      break;
    }
    default: {
      std::string rez = "untouched";
      const bool ok = link.GetQueryRez(&rez);
      if (ok && rez.size() > kMaxReply) __builtin_trap();
      if (!ok && rez != "untouched") __builtin_trap();  // a failed exchange hands back nothing
      break;
    }
  }
  if (std::getenv("LIRON_FUZZ_TRACE"))
    std::fprintf(stderr, "mode %02X count %zu: status \"%s\", result \"%s\"\n", mode, count,
                 link.Status().c_str(), link.ResultStr().c_str());
  return 0;
}
