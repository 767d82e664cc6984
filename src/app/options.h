// The command line of the program:
//   liron36 [--home DIR] [--headless] [--encipher-password] [--version] [--help]
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace liron {

constexpr char kProgramVersion[] = "1.20";

struct Options {
  std::string Home;       // --home DIR (also --home=DIR); empty: the executable's folder
  bool Headless = false;  // no window: the daemon
  bool Version = false;
  bool Help = false;
  bool EncipherPassword = false;  // a password on stdin becomes the INI's Password value
};

// Parses the arguments after the program name. False with the reason in *error for an unknown
// option, a stray argument, or --home without a folder.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string UsageText();

// Parses argv and answers --help, --version and --encipher-password (one line from in, its
// enciphered form for liron36.INI on out: the password never appears on a command line).
// Returns the exit code when the program is to end now: 0 after the usage text, the version
// line or the enciphered password (stdout), 2 after an error and the usage text, 1 when in
// gave no line (stderr). Returns nothing when the program is to run with *options.
std::optional<int> HandleCommandLine(int argc, const char* const* argv, Options* options,
                                     std::ostream& out, std::ostream& err, std::istream& in);

}  // namespace liron
