// SerialLine on real pseudo-terminals: the far end of each pty plays the device.
#include "links/serial_line.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace liron {
namespace {

using test::TempDir;
using test::WriteFileBytes;

// A pty pair; the master side stands for the device on the line.
class Pty {
 public:
  Pty() {
    char name[128];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) ADD_FAILURE() << "openpty";
    path_ = name;
    // The line opens the slave by its path; our own slave fd only keeps the pair alive.
  }
  ~Pty() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  void CloseMaster() {
    close(master_);
    master_ = -1;
  }
  void Send(const std::vector<uint8_t>& b) {
    ASSERT_EQ(write(master_, b.data(), b.size()), static_cast<ssize_t>(b.size()));
  }
  std::vector<uint8_t> Receive(size_t n) {
    std::vector<uint8_t> out;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    while (out.size() < n && std::chrono::steady_clock::now() < until) {
      uint8_t c;
      if (read(master_, &c, 1) == 1)
        out.push_back(c);
      else
        usleep(1000);
    }
    return out;
  }

 private:
  int master_ = -1, slave_ = -1;
  std::string path_;
};

long MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               t0)
      .count();
}

TEST(SerialPortNames, MapToDevices) {
  EXPECT_EQ(PortDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(PortDevicePath("COM12"), "/dev/ttyS11");
  EXPECT_EQ(PortDevicePath("com3"), "/dev/ttyS2");
  EXPECT_EQ(PortDevicePath("COM0"), "/dev/COM0");
  EXPECT_EQ(PortDevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath("/tmp/jumo"), "/tmp/jumo");
  EXPECT_EQ(PortDevicePath("\\\\.\\COM2"), "/dev/ttyS1");
  EXPECT_EQ(TimeoutFileName("COM1"), "COM1SET.INI");
  EXPECT_EQ(TimeoutFileName("/dev/ttyUSB0"), "ttyUSB0SET.INI");
}

TEST(SerialSpeeds, ExactlyTheFifteen) {
  const int32_t accepted[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                              19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int32_t s : accepted) EXPECT_TRUE(IsAcceptedSpeed(s)) << s;
  for (int32_t s : {0, -9600, 33600, 57000, 230400, 9601}) EXPECT_FALSE(IsAcceptedSpeed(s)) << s;
}

TEST(SerialTimeoutFile, DefaultsAndOverrides) {
  TempDir dir;
  SerialTimeouts t = ReadModbusTimeouts(dir.path(), "COM1");
  EXPECT_EQ(t.ReadInterval, 10u);
  EXPECT_EQ(t.ReadTotalMultiplier, 7u);
  EXPECT_EQ(t.ReadTotalConstant, 40u);
  EXPECT_EQ(t.WriteTotalMultiplier, 7u);
  EXPECT_EQ(t.WriteTotalConstant, 30u);

  WriteFileBytes(dir.File("COM2SET.INI"),
                 "[timeouts]\r\nRInterval=11\r\nRMult=2\r\nRConst=90\r\nWMult=3\r\nWConst=55\r\n");
  t = ReadModbusTimeouts(dir.path(), "COM2");
  EXPECT_EQ(t.ReadInterval, 11u);
  EXPECT_EQ(t.ReadTotalMultiplier, 2u);
  EXPECT_EQ(t.ReadTotalConstant, 90u);
  EXPECT_EQ(t.WriteTotalMultiplier, 3u);
  EXPECT_EQ(t.WriteTotalConstant, 55u);
  // The file of COM2 is not the file of COM1.
  EXPECT_EQ(ReadModbusTimeouts(dir.path(), "COM1").ReadTotalConstant, 40u);

  // Missing keys, another section, a non-number and a negative number give the defaults;
  // key names are compared without regard to case, as the Windows profile reader does.
  WriteFileBytes(dir.File("ttyUSB0SET.INI"),
                 "[other]\nRConst=1\n[TIMEOUTS]\nrmult=3\nRConst=abc\nWConst=-5\n");
  t = ReadModbusTimeouts(dir.path(), "/dev/ttyUSB0");
  EXPECT_EQ(t.ReadTotalMultiplier, 3u);
  EXPECT_EQ(t.ReadTotalConstant, 40u);
  EXPECT_EQ(t.WriteTotalConstant, 30u);
  EXPECT_EQ(t.ReadInterval, 10u);
}

TEST(SerialOpen, FailuresGiveTheirTexts) {
  SerialLine line;
  std::string err;
  // A refused speed is reported before the device is looked at: the device does not exist,
  // yet the text is the speed text.
  for (int32_t s : {33600, 57000}) {
    EXPECT_FALSE(line.OpenLine("/dev/liron-no-such-port", s, SerialProfile::Modbus, &err));
    EXPECT_EQ(err, kSerialSpeedError);
  }
  EXPECT_FALSE(line.OpenLine("/dev/liron-no-such-port", 9600, SerialProfile::Modbus, &err));
  EXPECT_EQ(err, kSerialOpenError);
  EXPECT_EQ(std::string(kSerialOpenError),
            "Не могу открыть COM-порт.\n\rВозможно, он используется\n\rдругой программой.");
  // A plain file opens but is no terminal: its state cannot be read; it is released at once.
  TempDir dir;
  WriteFileBytes(dir.File("plain"), "x");
  EXPECT_FALSE(line.OpenLine(dir.File("plain"), 9600, SerialProfile::Modbus, &err));
  EXPECT_EQ(err, kSerialGetStateError);
  EXPECT_FALSE(line.IsOpen());
}

TEST(SerialOpen, EveryAcceptedSpeedIsSet) {
  Pty pty;
  SerialLine line;
  std::string err;
  for (int32_t s : {110, 9600, 14400, 19200, 56000, 57600, 115200, 128000, 256000}) {
    ASSERT_TRUE(line.OpenLine(pty.path(), s, SerialProfile::Modbus, &err)) << s << " " << err;
    EXPECT_EQ(line.ActualSpeed(), s);
    line.CloseLine();
  }
  ASSERT_TRUE(line.OpenLine(pty.path(), 57600, SerialProfile::Pcom, &err)) << err;
  EXPECT_EQ(line.ActualSpeed(), 57600);
}

TEST(SerialOpen, HeldPortIsRefusedAndFreedByClose) {
  Pty pty;
  SerialLine a, b;
  std::string err;
  ASSERT_TRUE(a.OpenLine(pty.path(), 9600, SerialProfile::Modbus, &err)) << err;
  EXPECT_FALSE(b.OpenLine(pty.path(), 9600, SerialProfile::Pcom, &err));
  EXPECT_EQ(err, kSerialOpenError);
  EXPECT_FALSE(b.IsOpen());
  a.CloseLine();
  a.CloseLine();  // twice: harmless
  EXPECT_FALSE(a.IsOpen());
  EXPECT_TRUE(b.OpenLine(pty.path(), 9600, SerialProfile::Pcom, &err)) << err;
  SerialLine never;
  never.CloseLine();
  EXPECT_FALSE(never.IsOpen());
}

TEST(SerialOpen, ModbusProfileReadsTheFileOfTheCurrentDirectory) {
  Pty pty;
  TempDir dir;
  const std::string base = std::filesystem::path(pty.path()).filename().string();
  WriteFileBytes(dir.File(base + "SET.INI"), "[timeouts]\nRMult=1\nRConst=20\n");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  SerialLine line;
  std::string err;
  const bool ok = line.OpenLine(pty.path(), 9600, SerialProfile::Modbus, &err);
  std::filesystem::current_path(old);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(line.Timeouts().ReadTotalMultiplier, 1u);
  EXPECT_EQ(line.Timeouts().ReadTotalConstant, 20u);
  EXPECT_EQ(line.Timeouts().ReadInterval, 10u);
  // The PCOM profile has fixed values and no file.
  line.CloseLine();
  std::filesystem::current_path(dir.path());
  ASSERT_TRUE(line.OpenLine(pty.path(), 9600, SerialProfile::Pcom, &err));
  std::filesystem::current_path(old);
  EXPECT_EQ(line.Timeouts().ReadTotalConstant, 100u);
  EXPECT_EQ(line.Timeouts().ReadTotalMultiplier, 30u);

  // Zeros mean no time-out, as on Windows: a read still waits (bounded), it never spins, and
  // a write still goes out.
  WriteFileBytes(dir.File(base + "SET.INI"),
                 "[timeouts]\nRInterval=0\nRMult=0\nRConst=0\nWMult=0\nWConst=0\n");
  line.CloseLine();
  std::filesystem::current_path(dir.path());
  ASSERT_TRUE(line.OpenLine(pty.path(), 9600, SerialProfile::Modbus, &err));
  std::filesystem::current_path(old);
  uint8_t c = 0;
  bool have = true;
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.ReadByte(&c, &have));
  EXPECT_FALSE(have);
  EXPECT_GE(MsSince(t0), 40);
  EXPECT_TRUE(line.WriteBlock(&c, 1));
}

TEST(SerialOpen, NoFlowControlWhateverTheDeviceHeld) {
  Pty pty;
  const int held = open(pty.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  for (SerialProfile profile : {SerialProfile::Modbus, SerialProfile::Pcom}) {
    // An earlier program left hardware and software handshake switched on.
    termios tio{};
    ASSERT_EQ(tcgetattr(held, &tio), 0);
    tio.c_cflag |= CRTSCTS;
    tio.c_iflag |= IXON | IXOFF | ICRNL;
    tio.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(held, TCSANOW, &tio), 0);
    SerialLine line;
    std::string err;
    ASSERT_TRUE(line.OpenLine(pty.path(), 19200, profile, &err)) << err;
    ASSERT_EQ(tcgetattr(held, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
  }
  close(held);
}

TEST(SerialIo, RawBytesBothWays) {
  Pty pty;
  SerialLine line;
  std::string err;
  ASSERT_TRUE(line.OpenLine(pty.path(), 19200, SerialProfile::Modbus, &err)) << err;
  // Bytes a cooked line would eat or translate: CR, LF, XON, XOFF, ^C, ^D, DEL, 0xFF.
  const std::vector<uint8_t> special = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x04, 0x7F, 0xFF, 0x00};
  ASSERT_TRUE(line.WriteBlock(special.data(), special.size()));
  line.DrainOutput();
  EXPECT_EQ(pty.Receive(special.size()), special);

  pty.Send(special);
  usleep(20000);
  EXPECT_EQ(line.InputQueued(), static_cast<int>(special.size()));
  std::vector<uint8_t> got;
  uint8_t c;
  bool have = false;
  while (line.ReadByte(&c, &have) && have) got.push_back(c);
  EXPECT_EQ(got, special);
  EXPECT_EQ(line.InputQueued(), 0);

  pty.Send({1, 2, 3});
  usleep(20000);
  line.PurgeInput();
  EXPECT_EQ(line.InputQueued(), 0);
  ASSERT_TRUE(line.ReadByte(&c, &have));
  EXPECT_FALSE(have);
}

TEST(SerialIo, ReadTimeoutFollowsTheProfile) {
  Pty pty;
  SerialLine line;
  std::string err;
  uint8_t c;
  bool have = true;
  ASSERT_TRUE(line.OpenLine(pty.path(), 9600, SerialProfile::Modbus, &err)) << err;
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.ReadByte(&c, &have));
  long ms = MsSince(t0);
  EXPECT_FALSE(have);
  EXPECT_GE(ms, 45);  // 7 + 40
  EXPECT_LT(ms, 400);
  line.CloseLine();

  ASSERT_TRUE(line.OpenLine(pty.path(), 57600, SerialProfile::Pcom, &err)) << err;
  t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.ReadByte(&c, &have));
  ms = MsSince(t0);
  EXPECT_FALSE(have);
  EXPECT_GE(ms, 128);  // 30 + 100
  EXPECT_LT(ms, 600);
}

TEST(SerialIo, LostFarEndFailsTheReadWithoutSpinning) {
  Pty pty;
  SerialLine line;
  std::string err;
  ASSERT_TRUE(line.OpenLine(pty.path(), 9600, SerialProfile::Modbus, &err)) << err;
  pty.CloseMaster();
  uint8_t c;
  bool have = true;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(line.ReadByte(&c, &have));
  EXPECT_FALSE(have);
  EXPECT_GE(MsSince(t0), 40);
}

TEST(SerialIo, ClosedLineRefusesIo) {
  SerialLine line;
  uint8_t c = 0;
  bool have = true;
  EXPECT_FALSE(line.WriteBlock(&c, 1));
  EXPECT_FALSE(line.ReadByte(&c, &have));
  EXPECT_EQ(line.InputQueued(), 0);
  line.PurgeInput();
  line.DrainOutput();
}

}  // namespace
}  // namespace liron
