#include "sim_line.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jumo_sim {

bool OpenOwnPty(int* master, int* slave_keep, std::string* path, std::string* error) {
  const int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0) {
    *error = std::string("posix_openpt: ") + std::strerror(errno);
    if (m >= 0) close(m);
    return false;
  }
  char name[128];
  if (ptsname_r(m, name, sizeof name) != 0) {
    *error = "ptsname failed";
    close(m);
    return false;
  }
  const int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0 || !SetRaw(s, -1)) {
    *error = std::string("cannot open ") + name;
    if (s >= 0) close(s);
    close(m);
    return false;
  }
  *master = m;
  *slave_keep = s;
  *path = name;
  return true;
}

bool OpenDevice(const std::string& path, int32_t speed, int* fd, std::string* error) {
  const int f = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (f < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!SetRaw(f, speed)) {
    *error = "cannot configure " + path;
    close(f);
    return false;
  }
  *fd = f;
  return true;
}

}  // namespace jumo_sim
