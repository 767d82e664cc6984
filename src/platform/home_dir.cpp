#include "platform/home_dir.h"

#include <filesystem>
#include <system_error>

#include "platform/process_list.h"

namespace liron {

namespace fs = std::filesystem;

bool SetUpHome(const std::string& requested_dir, HomeDir* home, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::string dir = requested_dir;
  if (dir.empty()) {
    std::string exe = OwnExecutablePath();
    if (exe.empty()) return fail("cannot find the folder of the executable");
    dir = fs::path(exe).parent_path().string();
  }
  std::error_code ec;
  fs::path abs = fs::absolute(dir, ec);
  if (ec) return fail("cannot resolve the home folder " + dir + ": " + ec.message());
  abs = abs.lexically_normal();
  if (!abs.has_filename() && abs.has_relative_path()) abs = abs.parent_path();  // "dir/"
  fs::create_directories(abs, ec);
  if (ec) return fail("cannot create the home folder " + abs.string() + ": " + ec.message());
  if (!fs::is_directory(abs, ec)) return fail("the home " + abs.string() + " is not a folder");
  fs::path log = abs / "LOG";
  fs::create_directories(log, ec);
  if (ec) return fail("cannot create the log folder " + log.string() + ": " + ec.message());
  fs::current_path(abs, ec);
  if (ec) return fail("cannot enter the home folder " + abs.string() + ": " + ec.message());
  home->Dir = abs.string();
  home->IniPath = (abs / "liron36.INI").string();
  home->LogDir = log.string();
  return true;
}

}  // namespace liron
