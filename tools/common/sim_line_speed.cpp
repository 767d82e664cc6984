// termios2 only (any speed); must not include <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "sim_port.h"

namespace liron::simtools {

int32_t LineSpeed(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return -1;
  return static_cast<int32_t>(t.c_ospeed);
}

bool SetRaw(int fd, int32_t speed) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (speed > 0) {
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(speed);
    t.c_ospeed = static_cast<speed_t>(speed);
  }
  return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace liron::simtools
