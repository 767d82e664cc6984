// The plant of the whole-program tests: the demo plan in the private database, jumo-sim and
// v120-sim on their own pseudo-terminals, and a home folder whose INI points at all three.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "image/settings.h"
#include "support/child_process.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace liron::test {

struct TestPlant {
  TempDir home;
  SimProcess jumo, v120;
  std::string jumo_log, v120_log;
  TSettings settings;
  // With control_files set before Start, the simulators re-read their faults from these
  // files (jumo-sim fault lines, v120-sim lines of its config grammar); empty at the start.
  bool control_files = false;
  std::string jumo_control, v120_control;

  // Starts both simulators (density 1.5, level 60 %, a totaliser that steps by 250 per read)
  // and loads the demo plan with a one-to-one scale for the totaliser.
  bool Start(std::string* error);
  // Only the database part of Start: the demo plan and the one-to-one totaliser scale.
  bool LoadPlan(std::string* error);
  // Writes liron36.INI: the sixteen settings plus ServiceName empty and StartTime 0.
  bool WriteIni(std::string* error);
  std::string Ini() const { return home.File("liron36.INI"); }
  // Starts the program headless in this home, its output to the home's file output_name.
  bool StartDaemon(ChildProcess* daemon, const std::string& output_name = "daemon.out") const;
  // Every event written to the daily log files so far, as UTF-8 lines.
  std::string EventLog() const;
  // The texts of the logged events (what follows the third " | "), oldest first.
  std::vector<std::string> EventTexts() const;
};

// Counts the lines of a file that contain text.
int CountLines(const std::string& path, const std::string& text);
// Readings of the totaliser (unit 1, operand 52) that v120-sim handed out, in order.
std::vector<long long> Totals(const std::string& v120_log);

// Counts the events whose text is exactly text.
int CountEvents(const std::vector<std::string>& texts, const std::string& text);

// Polls pred every 200 ms until it holds or seconds have passed; the last answer.
template <typename Pred>
bool PollUntil(Pred pred, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  while (std::chrono::steady_clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return pred();
}

// User and system CPU time a process has used so far, in seconds; negative when unknown.
double CpuSeconds(pid_t pid);

// Seconds between last_state.RecMoment and the server's clock; a large number when there is
// no row.
double StateRecordAge();

// The liron36 processes running on this machine, one "pid command line" a line, for the
// message of a failed start: a second copy of the program ends at once, silently.
std::string RunningCopies();

// Puts the current directory back when it goes: a Service makes its home the current
// directory, and the home of a test is removed at its end.
class CwdGuard {
 public:
  CwdGuard();
  ~CwdGuard();
  CwdGuard(const CwdGuard&) = delete;
  CwdGuard& operator=(const CwdGuard&) = delete;

 private:
  std::string dir_;
};

// The pid of the private database server (checked against its data folder); -1 with *error.
pid_t DbServerPid(std::string* error);

// Kills the private database server with SIGKILL, as a crash would, and waits until it is
// gone. TestDb::StartServer() brings it back on the same data, socket and port.
bool KillDbServer(std::string* error);

}  // namespace liron::test
