#include "links/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

// Keys and values of the time-out file are ASCII: no character conversion is needed.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // the template bodies, so no library is linked
#include <SimpleIni.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>

#include "links/serial_line_speed.h"

namespace liron {

const char kSerialSpeedError[] = "Попытка соединения с неправильной скоростью!";
const char kSerialOpenError[] =
    "Не могу открыть COM-порт.\n\rВозможно, он используется\n\rдругой программой.";
const char kSerialGetStateError[] = "Не могу узнать состояние порта.";
const char kSerialSetStateError[] = "Не могу установить параметры порта.";

namespace {

struct SpeedEntry {
  int32_t bps;
  speed_t code;  // 0: no termios constant, set through termios2
};

constexpr SpeedEntry kSpeeds[] = {
    {110, B110},       {300, B300},     {600, B600},       {1200, B1200},   {2400, B2400},
    {4800, B4800},     {9600, B9600},   {14400, 0},        {19200, B19200}, {38400, B38400},
    {56000, 0},        {57600, B57600}, {115200, B115200}, {128000, 0},     {256000, 0},
};

const SpeedEntry* FindSpeed(int32_t speed) {
  for (const auto& e : kSpeeds)
    if (e.bps == speed) return &e;
  return nullptr;
}

// Milliseconds left until deadline, never negative.
int MsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline - std::chrono::steady_clock::now())
                  .count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// "COMn" with n >= 1, any letter case.
bool ParseComNumber(const std::string& name, int* n) {
  if (name.size() < 4 || name.size() > 8) return false;
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M')
    return false;
  int v = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    v = v * 10 + (name[i] - '0');
  }
  if (v < 1) return false;
  *n = v;
  return true;
}

// The Windows device prefix "\\.\" that the PCOM link puts before its port name.
std::string StripDevicePrefix(const std::string& name) {
  static const std::string kPrefix = "\\\\.\\";
  if (name.compare(0, kPrefix.size(), kPrefix) == 0) return name.substr(kPrefix.size());
  return name;
}

// One time-out value: a missing key, a non-number or a negative number gives the default.
uint32_t TimeoutValue(const CSimpleIniA& ini, const char* key, uint32_t def) {
  const long v = ini.GetLongValue("timeouts", key, -1);
  if (v < 0) return def;
  return static_cast<uint32_t>(v);
}

}  // namespace

bool IsAcceptedSpeed(int32_t speed) { return FindSpeed(speed) != nullptr; }

std::string PortDevicePath(const std::string& port_name) {
  const std::string name = StripDevicePrefix(port_name);
  if (!name.empty() && name[0] == '/') return name;
  int n = 0;
  if (ParseComNumber(name, &n)) return "/dev/ttyS" + std::to_string(n - 1);
  return "/dev/" + name;
}

std::string TimeoutFileName(const std::string& port_name) {
  std::string name = StripDevicePrefix(port_name);
  const size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return name + "SET.INI";
}

SerialTimeouts ReadModbusTimeouts(const std::string& dir, const std::string& port_name) {
  SerialTimeouts t = kModbusDefaultTimeouts;
  CSimpleIniA ini;
  const std::string path = dir + "/" + TimeoutFileName(port_name);
  if (ini.LoadFile(path.c_str()) < 0) return t;
  t.ReadInterval = TimeoutValue(ini, "RInterval", t.ReadInterval);
  t.ReadTotalMultiplier = TimeoutValue(ini, "RMult", t.ReadTotalMultiplier);
  t.ReadTotalConstant = TimeoutValue(ini, "RConst", t.ReadTotalConstant);
  t.WriteTotalMultiplier = TimeoutValue(ini, "WMult", t.WriteTotalMultiplier);
  t.WriteTotalConstant = TimeoutValue(ini, "WConst", t.WriteTotalConstant);
  return t;
}

SerialLine::~SerialLine() { CloseLine(); }

bool SerialLine::OpenLine(const std::string& port_name, int32_t speed, SerialProfile profile,
                          std::string* error) {
  auto fail = [&](const char* text, int err) {
    if (error) *error = text;
    open_errno_ = err;
    return false;
  };
  // Step 1: the speed, before the device is touched.
  const SpeedEntry* sp = FindSpeed(speed);
  if (!sp) return fail(kSerialSpeedError, EINVAL);
  CloseLine();

  // Step 2: read-write, existing device only, exclusive. O_NONBLOCK keeps the open from
  // waiting for carrier; every read and write below waits through poll() instead.
  const std::string path = PortDevicePath(port_name);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(kSerialOpenError, errno);
  // TIOCEXCL turns away later opens by other programs, but not by a privileged one, and on a
  // pseudo-terminal it outlives a holder that died; the advisory lock covers every process
  // of ours, privileged or not, and dies with its holder.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return fail(kSerialOpenError, EBUSY);
  }
  (void)ioctl(fd, TIOCEXCL);  // a device that is no terminal fails at step 5

  // Step 3: the time-outs of the profile.
  if (profile == SerialProfile::Modbus) {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    timeouts_ = ReadModbusTimeouts(ec ? std::string(".") : cwd.string(), port_name);
  } else {
    timeouts_ = kPcomTimeouts;
  }
  // Step 4 (applying the time-outs) is the poll() of every read and write below.

  // Step 5: the current settings. A device that fails configuration is released at once.
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    ::close(fd);
    return fail(kSerialGetStateError, EINVAL);
  }
  // Step 6: raw 8N1, no flow control of either kind on both profiles.
  cfmakeraw(&tio);
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_cflag &= ~(CSTOPB | CRTSCTS);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (sp->code != 0) {
    cfsetispeed(&tio, sp->code);
    cfsetospeed(&tio, sp->code);
  }
  // Step 7: write them back; the rates without a termios constant go through termios2.
  if (tcsetattr(fd, TCSANOW, &tio) != 0 || (sp->code == 0 && !SetLineSpeed(fd, speed))) {
    ::close(fd);
    return fail(kSerialSetStateError, EINVAL);
  }
  if (profile == SerialProfile::Pcom) {
    // RTS inactive. A pseudo-terminal has no modem lines and refuses: harmless.
    int rts = TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &rts);
  }
  struct stat st {};
  rdev_ = fstat(fd, &st) == 0 ? st.st_rdev : 0;
  path_ = path;
  speed_ = speed;
  gone_ = false;
  open_errno_ = 0;
  fd_ = fd;
  // Step 8.
  PurgeInput();
  return true;
}

void SerialLine::CloseLine() {
  if (fd_ < 0) return;
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

bool SerialLine::DeviceGone() const {
  if (fd_ < 0) return false;
  if (gone_) return true;
  // A USB adapter pulled out takes its node along; a pseudo-terminal behind a symlink may have
  // been replaced by a new one at the same path.
  struct stat st {};
  return stat(path_.c_str(), &st) != 0 || st.st_rdev != rdev_;
}

uint32_t SerialLine::ReadWaitMs() const {
  const uint32_t total = timeouts_.ReadTotalMultiplier + timeouts_.ReadTotalConstant;
  return total > 0 ? total : kSerialNoTotalReadMs;
}

uint32_t SerialLine::SilenceMs() const {
  // 3.5 characters of 10 bits: 35000 ms·bit/s, rounded up.
  const uint32_t chars = speed_ > 0 ? static_cast<uint32_t>((35000 + speed_ - 1) / speed_) : 0;
  return std::max({timeouts_.ReadInterval, chars, uint32_t{2}});
}

bool SerialLine::WriteBlock(const uint8_t* data, size_t n) {
  if (fd_ < 0) return false;
  // No write total time-out in the profile: the default one, so a stuck line cannot hang us.
  const SerialTimeouts& t = timeouts_.WriteTotalMultiplier + timeouts_.WriteTotalConstant > 0
                                ? timeouts_
                                : kModbusDefaultTimeouts;
  const uint64_t budget = static_cast<uint64_t>(t.WriteTotalMultiplier) * n + t.WriteTotalConstant;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budget);
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd_, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      MarkGone();  // EIO, ENODEV, EBADF: the device is no more
      return false;
    }
    const int left = MsLeft(deadline);
    if (left == 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    const int r = ::poll(&p, 1, left);
    if (r < 0 && errno != EINTR) return false;
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      MarkGone();
      return false;
    }
  }
  return true;
}

void SerialLine::DrainOutput() {
  if (fd_ < 0) return;
  while (tcdrain(fd_) != 0 && errno == EINTR) {
  }
}

bool SerialLine::ReadByte(uint8_t* byte, bool* got) {
  return ReadByteWithin(byte, got, ReadWaitMs());
}

bool SerialLine::ReadByteWithin(uint8_t* byte, bool* got, uint32_t wait_ms) {
  *got = false;
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  // The device is gone (a pseudo-terminal whose far end closed, a USB adapter pulled): the
  // read fails, but only after its time-out, so that a caller retrying in a loop cannot spin.
  auto gone = [&] {
    MarkGone();
    const int left = MsLeft(deadline);
    if (left > 0) ::poll(nullptr, 0, left);
    return false;
  };
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int pr = ::poll(&p, 1, MsLeft(deadline));
    if (pr < 0) {
      if (errno == EINTR) continue;
      return gone();
    }
    if (pr == 0) return true;  // nothing within the read total time-out
    if (p.revents & POLLIN) {
      // A raw line with VMIN = VTIME = 0 answers 0 when empty, so 0 alone is no hang-up.
      const ssize_t r = ::read(fd_, byte, 1);
      if (r == 1) {
        *got = true;
        return true;
      }
      if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return gone();
      if (r == 0 && (p.revents & POLLHUP)) return gone();
      if (MsLeft(deadline) == 0) return true;
      continue;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return gone();
  }
}

void SerialLine::PurgeInput() {
  if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

int32_t SerialLine::ActualSpeed() const { return fd_ < 0 ? -1 : GetLineSpeed(fd_); }

int SerialLine::InputQueued() {
  if (fd_ < 0) return 0;
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) != 0) return 0;
  return n;
}

}  // namespace liron
