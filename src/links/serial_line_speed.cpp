// termios2 only: this file must not include <termios.h>.
#include "links/serial_line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace liron {

bool SetLineSpeed(int fd, int32_t speed) {
  if (speed <= 0) return false;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = static_cast<speed_t>(speed);
  tio.c_ospeed = static_cast<speed_t>(speed);
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace liron

namespace liron {

int32_t GetLineSpeed(int fd) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
  return static_cast<int32_t>(tio.c_ospeed);
}

}  // namespace liron
