// The program comes as two executables side by side: liron36, with the window, and liron36d,
// the same service built without it. Headless, liron36 hands itself over to liron36d, which
// does not map Qt's GUI libraries and so keeps the resident daemon about a third smaller.
// For the single-instance rule the two are one program.
#pragma once

#include <string>

namespace liron {

constexpr char kWindowProgramName[] = "liron36";
constexpr char kDaemonProgramName[] = "liron36d";

// The other executable of the pair in exe's folder: liron36d beside liron36 and the reverse
// (file names compared in upper case, as the single-instance rule does). Empty when exe is
// neither, e.g. a copy renamed by hand, which stays a program of its own.
std::string PartnerProgram(const std::string& exe);

// Running copies of the program whose executable is exe: copies of exe itself (by path or file
// name, see CountRunningCopies) and of its partner.
int CountProgramCopies(const std::string& exe);

// Replaces this process (same pid, same arguments) with liron36d from exe's folder. Returns only
// when that cannot be done: no liron36d there, or exec failed; the caller then runs headless
// itself.
void HandOverToDaemon(const std::string& exe, char** argv);

}  // namespace liron
