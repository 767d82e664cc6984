// A jumo-sim process on its own pseudo-terminal for one test, with its config, control file
// and log in a private folder.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace liron::test {

class JumoSim {
 public:
  // Starts the simulator with config text; fails the test when it does not come up.
  explicit JumoSim(const std::string& config) {
    WriteFileBytes(dir_.File("sim.conf"), config);
    std::string err;
    started_ = sim_.Start(LIRON_JUMO_SIM,
                          {"--config", dir_.File("sim.conf"), "--pty", dir_.File("jumo"),
                           "--log", dir_.File("sim.log"), "--control", dir_.File("faults")},
                          dir_.File("jumo"), dir_.File("sim.out"), 5000, &err);
    EXPECT_TRUE(started_) << err << "\n" << ReadFileBytes(dir_.File("sim.out"));
    // Its first look at the control file: a fault written before it would be taken for it.
    for (int i = 0; started_ && i < 1000 && CountLines("faults ") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  bool started() const { return started_; }
  std::string port() const { return dir_.File("jumo"); }
  // Replaces the fault lines; waits until the simulator has taken them.
  void SetFaults(const std::string& lines) {
    const size_t before = CountLines("faults ");
    WriteFileBytes(dir_.File("faults.tmp"), lines);
    std::rename(dir_.File("faults.tmp").c_str(), dir_.File("faults").c_str());
    for (int i = 0; i < 200 && CountLines("faults ") == before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(CountLines("faults "), before) << "the simulator did not take the faults";
  }
  std::string Log() const { return ReadFileBytes(dir_.File("sim.log")); }
  std::vector<std::string> LogLines(const std::string& prefix) const {
    std::vector<std::string> out;
    std::string all = Log();
    size_t pos = 0;
    while (pos < all.size()) {
      size_t nl = all.find('\n', pos);
      if (nl == std::string::npos) nl = all.size();
      std::string line = all.substr(pos, nl - pos);
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
      pos = nl + 1;
    }
    return out;
  }
  size_t CountLines(const std::string& prefix) const { return LogLines(prefix).size(); }
  bool Stop(int sig) { return sim_.Stop(sig); }

 private:
  TempDir dir_;
  SimProcess sim_;
  bool started_ = false;
};

}  // namespace liron::test
