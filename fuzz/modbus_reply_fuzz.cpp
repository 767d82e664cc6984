// The Modbus master's receive path under arbitrary replies: TModBUS sends a real request on a
// pseudo-terminal and reads whatever bytes the "slave" answers, through the address hunt, the
// function check, the open-length read and the checks of ReadRegister, ReadFloat and WriteFloat.
//
// Input: byte 0 chooses the transaction and the layout, byte 1 is the slave address, byte 2
// the reply buffer size of the bare receive; the rest is the reply on the wire.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "links/modbus.h"
#include "pty_device.h"

namespace {

using liron::fuzz::DeviceClock;
using liron::fuzz::PtyDevice;

constexpr size_t kMaxReply = 1200;  // past the 500 positions of the open-length read

struct Rig {
  PtyDevice dev;
  DeviceClock clock{dev, 100};  // the 400 ms address hunt ends after 4 empty reads
  liron::TModBUS bus{clock};

  Rig() {
    // The shortest read time-out: an empty read answers after 1 ms instead of 47 (zeros would
    // mean the default). It comes from the port's time-out file in the current folder, read
    // when the port opens.
    char dir[] = "/tmp/modbus-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) std::abort();
    const std::string here = cwd;
    bus.PortName = dev.SlavePath();
    const std::string ini = std::string(dir) + "/" + liron::TimeoutFileName(bus.PortName);
    FILE* f = std::fopen(ini.c_str(), "w");
    if (!f) std::abort();
    std::fputs("[timeouts]\nRInterval=0\nRMult=0\nRConst=1\n", f);
    std::fclose(f);
    if (chdir(dir) != 0) std::abort();
    const bool open = bus.OpenPort(19200);
    if (chdir(here.c_str()) != 0) std::abort();
    std::remove(ini.c_str());
    rmdir(dir);
    if (!open) {
      std::fprintf(stderr, "cannot open %s: %s\n", bus.PortName.c_str(), bus.LastError.c_str());
      std::abort();
    }
  }
};

Rig& TheRig() {
  static Rig* rig = new Rig;
  return *rig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  Rig& rig = TheRig();
  liron::TModBUS& bus = rig.bus;
  const uint8_t mode = data[0];
  bus.DeviceAddress = data[1];
  const size_t reply_size = data[2];
  bus.SwapBytes = (mode & 0x04) != 0;
  bus.SwapWords = (mode & 0x08) != 0;
  bus.CheckFunction = (mode & 0x10) == 0;
  const uint8_t* reply = data + 3;
  const size_t n = std::min(size - 3, kMaxReply);

  rig.dev.Reset();
  rig.clock.Arm(reply, n);
  switch (mode & 0x03) {
    case 0: {
      int32_t value = -1;
      if (bus.ReadRegister(0x0102, value) && (value < 0 || value > 0xFFFF)) __builtin_trap();
      break;
    }
    case 1: {
      float value = 0;
      if (bus.ReadFloat(0x0102, value) && std::getenv("LIRON_FUZZ_TRACE"))
        std::fprintf(stderr, "float %g\n", static_cast<double>(value));
      break;
    }
    case 2:
      (void)bus.WriteFloat(0x0102, 12.5f);
      break;
    default: {
      // The bare receive into a buffer of the caller's size, guarded on both sides.
      std::vector<uint8_t> buf(reply_size + 16, 0xA5);
      rig.clock.Ticks();  // no request: the device answers now
      bus.FunctionCode = 3;
      (void)bus.ReciveComBlock(buf.data() + 8, reply_size);
      if (bus.ReplyLength < 0 || static_cast<size_t>(bus.ReplyLength) > reply_size) __builtin_trap();
      for (size_t i = 0; i < 8; ++i)
        if (buf[i] != 0xA5 || buf[buf.size() - 1 - i] != 0xA5) __builtin_trap();
      break;
    }
  }
  if (std::getenv("LIRON_FUZZ_TRACE"))
    std::fprintf(stderr, "mode %02X: reply length %d, error \"%s\"\n", mode, bus.ReplyLength,
                 bus.LastError.c_str());
  if (bus.Busy.load()) __builtin_trap();  // every transaction lets the master go
  return 0;
}
