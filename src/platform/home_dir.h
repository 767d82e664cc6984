// The service's home folder: where the INI file, the log folder and the time-out files of the
// serial ports live. It is the folder given with --home, else the executable's folder, and it
// is made the current directory, so relative names used later resolve there.
#pragma once

#include <string>

namespace liron {

struct HomeDir {
  std::string Dir;      // absolute path of the home folder
  std::string IniPath;  // Dir/liron36.INI
  std::string LogDir;   // Dir/LOG
};

// Sets up the home: requested_dir, or the executable's folder when it is empty. The folder and
// its LOG folder are created with their parents when missing, and the folder becomes the
// current directory. False with the reason in *error.
bool SetUpHome(const std::string& requested_dir, HomeDir* home, std::string* error);

}  // namespace liron
