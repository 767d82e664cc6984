// liron36: the receiving service of the plant monitoring station.
//
//   liron36 [--home DIR] [--headless] [--version] [--help]
//
// Built twice: liron36 with the window, liron36d without (see program_files.h); headless,
// liron36 hands over to liron36d. A second copy ends at once and silently. Then the database
// service is started by name and the program waits StartTime seconds (both from liron36.INI),
// and runs with its window and tray icon, or headless as a daemon.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "app/headless_runner.h"
#include "app/options.h"
#include "app/program_files.h"
#include "db/config_file.h"
#include "platform/home_dir.h"
#include "platform/process_list.h"
#include "platform/service_start.h"

#ifdef LIRON_WITH_GUI
#include "app/window_runner.h"
#endif

int main(int argc, char** argv) {
  using namespace liron;
  Options options;
  if (auto code = HandleCommandLine(argc, argv, &options, std::cout, std::cerr, std::cin)) return *code;

  const std::string exe = OwnExecutablePath();
#ifdef LIRON_WITH_GUI
  if (options.Headless) HandOverToDaemon(exe, argv);  // returns only when liron36d is missing
#endif
  if (!exe.empty() && CountProgramCopies(exe) > 1) return 0;

  HomeDir home;
  std::string error;
  if (!SetUpHome(options.Home, &home, &error)) {
    std::fprintf(stderr, "liron36: %s\n", error.c_str());
    return 1;
  }
  const StartupKeys keys = ReadStartupKeys(home.IniPath);
  StartDatabaseService(keys.ServiceName);
  std::this_thread::sleep_for(std::chrono::seconds(keys.StartTime));

  try {
#ifdef LIRON_WITH_GUI
    if (!options.Headless) return RunWindow(argc, argv, home.Dir, keys.AutoHide);
#elif !defined(LIRON_DAEMON)
    if (!options.Headless) std::fprintf(stderr, "liron36: built without the window; running headless\n");
#endif
    return RunHeadless(argc, argv, home.Dir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "liron36: %s\n", e.what());
    return 1;
  }
}
