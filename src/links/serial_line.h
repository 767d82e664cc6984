// SerialLine: one serial port on termios with the line settings and time-out profile of the
// link that owns it. Both field links use it: the Modbus master with the Modbus profile (its
// time-outs can be overridden per port by "<port>SET.INI"), the PCOM link with fixed values
// and RTS held inactive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace liron {

struct SerialTimeouts {
  uint32_t ReadInterval;
  uint32_t ReadTotalMultiplier;
  uint32_t ReadTotalConstant;
  uint32_t WriteTotalMultiplier;
  uint32_t WriteTotalConstant;
};

enum class SerialProfile { Modbus, Pcom };

constexpr SerialTimeouts kModbusDefaultTimeouts{10, 7, 40, 7, 30};
// A one-byte read whose profile gives no total time-out (zeros in "<port>SET.INI") waits this
// long instead: on Windows such a read would wait for its byte without end, here it is bounded
// and never returns at once, so a caller that retries in a loop cannot spin.
constexpr uint32_t kSerialNoTotalReadMs =
    kModbusDefaultTimeouts.ReadTotalMultiplier + kModbusDefaultTimeouts.ReadTotalConstant;
constexpr SerialTimeouts kPcomTimeouts{50, 30, 100, 50, 100};

// Failure texts of OpenLine.
extern const char kSerialSpeedError[];     // "Попытка соединения с неправильной скоростью!"
extern const char kSerialOpenError[];      // "Не могу открыть COM-порт.\n\r..."
extern const char kSerialGetStateError[];  // "Не могу узнать состояние порта."
extern const char kSerialSetStateError[];  // "Не могу установить параметры порта."

// The fifteen accepted speeds.
bool IsAcceptedSpeed(int32_t speed);

// A configured port name as a device path: an absolute path as is; "COMn" -> /dev/ttyS<n-1>;
// any other name -> /dev/<name>.
std::string PortDevicePath(const std::string& port_name);
// Name of the Modbus time-out file: the last path component of the port name + "SET.INI".
std::string TimeoutFileName(const std::string& port_name);
// Reads section "timeouts" of that file in dir (missing file, section or key: defaults).
SerialTimeouts ReadModbusTimeouts(const std::string& dir, const std::string& port_name);

class SerialLine {
 public:
  SerialLine() = default;
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens and configures the port: speed check, exclusive open (TIOCEXCL against other
  // programs, an advisory lock against a second opener of ours, root or not), raw 8N1, no
  // flow control (neither XON/XOFF nor RTS/CTS: a USB adapter that keeps CRTSCTS from an
  // earlier program would hold every byte back), RTS inactive on the PCOM profile (a refused
  // ioctl is no error), input purged. The Modbus profile reads its time-outs from the time-out
  // file in the current directory. On failure *error holds one of the four texts, OpenErrno()
  // the reason, and the line stays closed.
  bool OpenLine(const std::string& port_name, int32_t speed, SerialProfile profile,
                std::string* error);
  void CloseLine();
  bool IsOpen() const { return fd_ >= 0; }

  // Sends n bytes; true only when all were written within the write time-out.
  bool WriteBlock(const uint8_t* data, size_t n);
  // Waits until the written bytes have left the driver.
  void DrainOutput();
  // One byte: true with *got = true as soon as a byte is there; true with *got = false after
  // ReadWaitMs(); false only when the read itself fails (the device has gone).
  bool ReadByte(uint8_t* byte, bool* got);
  // The same, waiting at most wait_ms for the byte.
  bool ReadByteWithin(uint8_t* byte, bool* got, uint32_t wait_ms);
  void PurgeInput();
  int InputQueued();

  const SerialTimeouts& Timeouts() const { return timeouts_; }
  // How long a one-byte read waits: the read total time-out (multiplier + constant), or
  // kSerialNoTotalReadMs when the profile gives none.
  uint32_t ReadWaitMs() const;
  // The inter-character silence that ends a frame: the read interval time-out, and never less
  // than three and a half character times at the line's speed (nor 2 ms).
  uint32_t SilenceMs() const;
  // The speed the driver holds, in bit/s; -1 while closed.
  int32_t ActualSpeed() const;

  // errno of the last failed open: ENOENT and the like for a device that is not there,
  // EACCES or EBUSY for one that refused, EINVAL for a refused speed or a device that is no
  // serial port.
  int OpenErrno() const { return open_errno_; }
  // The device under the open line has gone: a read or write failed as only a vanished
  // device fails (EIO, ENODEV, EBADF, a hang-up), or the configured path no longer names the
  // device that was opened. The line must be closed and opened again.
  bool DeviceGone() const;

 private:
  void MarkGone() { gone_ = true; }

  int fd_ = -1;
  SerialTimeouts timeouts_ = kModbusDefaultTimeouts;
  int32_t speed_ = 0;
  std::string path_;
  uint64_t rdev_ = 0;  // the device number behind path_ at the open
  bool gone_ = false;
  int open_errno_ = 0;
};

}  // namespace liron
