// Line speed on Linux: the standard rates through termios constants, the four rates the
// Windows driver offers without one (14400, 56000, 128000, 256000) through termios2/BOTHER.
// Kept apart because <asm/termbits.h> and <termios.h> cannot share a translation unit.
#pragma once

#include <cstdint>

namespace liron {

// Sets the input and output speed of the open terminal fd to speed bit/s, keeping every other
// setting. Any positive speed is tried; false when the driver refuses it.
bool SetLineSpeed(int fd, int32_t speed);

}  // namespace liron

namespace liron {

// The output speed of the open terminal fd in bit/s, or -1 when it cannot be read.
int32_t GetLineSpeed(int fd);

}  // namespace liron
