// The program with its window and tray icon.
#pragma once

#include <string>

namespace liron {

// Runs until the operator closes the program or the session ends; returns the exit code.
int RunWindow(int argc, char** argv, const std::string& home, bool start_hidden);

}  // namespace liron
