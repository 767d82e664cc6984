// The daemon: the service without a window. The same start-up sequence and timers run on a
// QCoreApplication event loop; SIGINT is the operator's orderly end (no question asked),
// SIGTERM and SIGHUP are the end of the session.
#pragma once

#include <string>

namespace liron {

// Runs until a signal ends it; returns the exit code (0).
int RunHeadless(int argc, char** argv, const std::string& home);

}  // namespace liron
