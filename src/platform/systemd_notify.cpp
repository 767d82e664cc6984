#include "platform/systemd_notify.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace liron {

bool SystemdListening() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket != nullptr && *socket != '\0';
}

bool SystemdNotify(const std::string& state) { return sd_notify(0, state.c_str()) > 0; }

}  // namespace liron
