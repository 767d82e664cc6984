// Telling systemd how the program is doing, when systemd runs it (a unit of Type=notify sets
// NOTIFY_SOCKET): readiness, the status line of "systemctl status" and the watchdog's ping.
// Outside systemd every call does nothing.
#pragma once

#include <string>

namespace liron {

// NOTIFY_SOCKET is set: somebody listens for the notifications.
bool SystemdListening();
// Sends one notification ("READY=1", "STATUS=...", "WATCHDOG=1"); false when it could not be
// sent or nobody listens.
bool SystemdNotify(const std::string& state);

}  // namespace liron
