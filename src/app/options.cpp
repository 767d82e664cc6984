#include "app/options.h"

#include <istream>
#include <ostream>

#include "db/password_cipher.h"

namespace liron {

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--headless") {
      o.Headless = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "--help") {
      o.Help = true;
    } else if (a == "--encipher-password") {
      o.EncipherPassword = true;
    } else if (a == "--home") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "--home needs a folder";
        return false;
      }
      o.Home = args[++i];
    } else if (a.rfind("--home=", 0) == 0) {
      o.Home = a.substr(7);
      if (o.Home.empty()) {
        *error = "--home needs a folder";
        return false;
      }
    } else if (a.rfind("-", 0) == 0) {
      *error = "unknown option " + a;
      return false;
    } else {
      *error = "unexpected argument " + a;
      return false;
    }
  }
  *options = o;
  return true;
}

std::string UsageText() {
  return "Usage: liron36 [--home DIR] [--headless] [--encipher-password] [--version] [--help]\n"
         "  --home DIR           folder of liron36.INI and LOG/ (default: the executable's folder)\n"
         "  --headless           run without a window, as a daemon\n"
         "  --encipher-password  read a password from standard input, print its Password= value\n"
         "                       for liron36.INI and exit\n"
         "  --version            print the version and exit\n"
         "  --help               print this text and exit\n";
}

std::optional<int> HandleCommandLine(int argc, const char* const* argv, Options* options,
                                     std::ostream& out, std::ostream& err, std::istream& in) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  std::string error;
  if (!ParseOptions(args, options, &error)) {
    err << "liron36: " << error << "\n" << UsageText();
    return 2;
  }
  if (options->Help) {
    out << UsageText();
    return 0;
  }
  if (options->Version) {
    out << "liron36 " << kProgramVersion << "\n";
    return 0;
  }
  if (options->EncipherPassword) {
    std::string password;
    if (!std::getline(in, password)) {
      err << "liron36: --encipher-password reads the password from standard input\n";
      return 1;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    out << EncipherPassword(password) << "\n";
    return 0;
  }
  return std::nullopt;
}

}  // namespace liron
