// The simulator's end of the line: its own pseudo-terminal (published as a symlink) or a
// real device, raw 8N1.
#pragma once

#include <cstdint>
#include <string>

namespace jumo_sim {

// Creates a pty pair; *master is the simulator's end, *slave_keep an fd of the other end
// held open so that the line does not hang up between the master's opens. The path of the
// other end goes to *path.
bool OpenOwnPty(int* master, int* slave_keep, std::string* path, std::string* error);
// Opens a device raw at speed.
bool OpenDevice(const std::string& path, int32_t speed, int* fd, std::string* error);

// The speed the line is set to (on a pty: whatever the master side set); -1 if unknown.
int32_t LineSpeed(int fd);
// Sets raw 8N1 and, when speed > 0, the speed (any rate, through termios2).
bool SetRaw(int fd, int32_t speed);

}  // namespace jumo_sim
