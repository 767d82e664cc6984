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
  // XON/XOFF, RTS inactive on the PCOM profile (a refused ioctl is no error), input purged.
  // The Modbus profile reads its time-outs from the time-out file in the current directory.
  // On failure *error holds one of the four texts and the line stays closed.
  bool OpenLine(const std::string& port_name, int32_t speed, SerialProfile profile,
                std::string* error);
  void CloseLine();
  bool IsOpen() const { return fd_ >= 0; }

  // Sends n bytes; true only when all were written within the write time-out.
  bool WriteBlock(const uint8_t* data, size_t n);
  // Waits until the written bytes have left the driver.
  void DrainOutput();
  // One byte: true with *got = true as soon as a byte is there; true with *got = false after
  // the read total time-out (multiplier + constant); false only when the read itself fails.
  bool ReadByte(uint8_t* byte, bool* got);
  void PurgeInput();
  int InputQueued();

  const SerialTimeouts& Timeouts() const { return timeouts_; }
  // The speed the driver holds, in bit/s; -1 while closed.
  int32_t ActualSpeed() const;

 private:
  int fd_ = -1;
  SerialTimeouts timeouts_ = kModbusDefaultTimeouts;
};

}  // namespace liron
