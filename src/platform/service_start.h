// Starting the database service before anything else, the way the Windows station ran
// "sc.exe start": fire and forget.
#pragma once

#include <string>
#include <vector>

namespace liron {

// Runs "systemctl start --no-ask-password -- <name>" detached: not waited for, its outcome not examined, its
// output discarded. A service already running or unknown changes nothing. An empty name skips
// it. The "--" keeps a name beginning with "-" from being taken for an option.
void StartDatabaseService(const std::string& name);

// Runs argv[0] (looked up in PATH when it has no '/') with the given arguments in a process of
// its own session, through a double fork so that no zombie is left behind, with stdin, stdout
// and stderr on /dev/null. Returns once the program has been handed over (the intermediate
// child has been reaped), without waiting for it. False when the program is not found or a
// fork fails; a failure of the program itself is not seen.
bool RunDetached(const std::vector<std::string>& argv);

}  // namespace liron
