// The plant of the whole-program tests: the demo plan in the private database, jumo-sim and
// v120-sim on their own pseudo-terminals, and a home folder whose INI points at all three.
#pragma once

#include <string>

#include "image/settings.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace liron::test {

struct TestPlant {
  TempDir home;
  SimProcess jumo, v120;
  std::string jumo_log, v120_log;
  TSettings settings;

  // Starts both simulators (density 1.5, level 60 %, a totaliser that steps by 250 per read)
  // and loads the demo plan with a one-to-one scale for the totaliser.
  bool Start(std::string* error);
  // Writes liron36.INI: the sixteen settings plus ServiceName empty and StartTime 0.
  bool WriteIni(std::string* error);
  std::string Ini() const { return home.File("liron36.INI"); }
  // Every event written to the daily log files so far, as UTF-8 lines.
  std::string EventLog() const;
};

// Counts the lines of a file that contain text.
int CountLines(const std::string& path, const std::string& text);

}  // namespace liron::test
