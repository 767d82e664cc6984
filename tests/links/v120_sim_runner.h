// v120-sim on a pseudo-terminal for one test: its config, control file and log in a
// temporary folder, the fault mode switched through the control file, the log read back.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace liron::test {

class V120SimRunner {
 public:
  // Starts the simulator with the given config lines; false (with a test failure) if it
  // could not start.
  bool Start(const std::string& config, int turnaround_ms = 10) {
    WriteFileBytes(dir_.File("sim.cfg"), config);
    std::string error;
    const bool ok = sim_.Start(LIRON_V120_SIM,
                               {"--link", Port(), "--config", dir_.File("sim.cfg"), "--control",
                                dir_.File("sim.ctl"), "--log", LogPath(), "--turnaround",
                                std::to_string(turnaround_ms)},
                               Port(), dir_.File("sim.out"), 5000, &error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }

  // The path to open as the link's port name.
  std::string Port() const { return dir_.File("v120"); }
  std::string LogPath() const { return dir_.File("sim.log"); }

  // Replaces the control file in one step; the simulator applies it before the next request.
  void Control(const std::string& lines) {
    const std::string tmp = dir_.File("sim.ctl.tmp");
    WriteFileBytes(tmp, lines);
    ASSERT_EQ(::rename(tmp.c_str(), dir_.File("sim.ctl").c_str()), 0);
  }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> out;
    std::istringstream in(ReadFileBytes(LogPath()));
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
  // Log lines that begin with prefix.
  std::vector<std::string> LogLines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : LogLines())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }

  bool Stop() { return sim_.Stop(); }
  SimProcess& process() { return sim_; }

 private:
  TempDir dir_;
  SimProcess sim_;
};

}  // namespace liron::test
