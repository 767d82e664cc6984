// v120-sim itself, as the tests and the demo rely on it: a clean end on SIGTERM and SIGINT
// that takes its symlink along, its command line, a totaliser counting with time and
// wrapping, and the fault mode stepped by SIGUSR1.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "links/vision_link.h"
#include "links/vision_link_texts.h"
#include "v120_sim_runner.h"

namespace liron {
namespace {

using test::V120SimRunner;

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// Runs the simulator with args to its end; its exit code and its standard output.
int RunSim(const std::string& args, std::string* out) {
  const std::string cmd = std::string(LIRON_V120_SIM) + " " + args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The signal goes out the moment the link appears, as when a test ends at once: several
// rounds, since a signal lost that early is lost only now and then.
TEST(V120Sim, EndsCleanlyOnTermAndIntAndRemovesItsLink) {
  for (int round = 0; round < 5; ++round) {
    for (int sig : {SIGTERM, SIGINT}) {
      V120SimRunner sim;
      ASSERT_TRUE(sim.Start("unit 1\n"));
      ASSERT_TRUE(Exists(sim.Port()));
      EXPECT_TRUE(sim.process().Stop(sig)) << "signal " << sig;
      EXPECT_FALSE(Exists(sim.Port())) << "signal " << sig;
      EXPECT_EQ(sim.LogLines("end").size(), 1u);
    }
  }
}

TEST(V120Sim, CommandLine) {
  std::string out;
  EXPECT_EQ(RunSim("--help", &out), 0);
  EXPECT_NE(out.find("--control FILE"), std::string::npos);
  EXPECT_NE(out.find("totaliser"), std::string::npos);
  out.clear();
  EXPECT_EQ(RunSim("--bogus 1", &out), 2);
  EXPECT_EQ(RunSim("", &out), 2);  // neither --link nor --device
  test::TempDir dir;
  test::WriteFileBytes(dir.File("bad.cfg"), "1 word 16 70000\n");
  EXPECT_EQ(RunSim("--link " + dir.File("p") + " --config " + dir.File("bad.cfg"), &out), 2);
  EXPECT_FALSE(Exists(dir.File("p")));
}

class V120SimLink : public ::testing::Test {
 protected:
  void Open(const std::string& config) {
    ASSERT_TRUE(sim.Start(config));
    link.SetPortName(sim.Port());
    link.SetActive(true);
    ASSERT_TRUE(link.Active()) << link.Status();
  }
  V120SimRunner sim;
  TVisionLink link;
};

TEST_F(V120SimLink, TotaliserCountsWithTimeAndWrapsAtItsLimit) {
  Open("1 totaliser 52 999999000 rate=2000\n");  // wraps at 999999900 after about 0.45 s
  int32_t first = 0, second = 0;
  ASSERT_TRUE(link.GetIntArray(52, {&first, 1}, true)) << link.Status();
  EXPECT_GE(first, 999999000);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ASSERT_TRUE(link.GetIntArray(52, {&second, 1}, true)) << link.Status();
  // About 1400 counts later, past the wrap: read back as a small number.
  const int64_t advanced = int64_t{second} + 999999900 - first;
  EXPECT_GT(second, 0);
  EXPECT_LT(second, 999999000);
  EXPECT_GT(advanced, 1000);
  EXPECT_LT(advanced, 4000);  // generous: a loaded machine replies late
  const auto totals = sim.LogLines("total ");
  ASSERT_EQ(totals.size(), 2u);
  EXPECT_EQ(totals[1], "total 1 52 " + std::to_string(second));
}

TEST_F(V120SimLink, Usr1StepsTheFaultModeAndUsr2ClearsIt) {
  Open("1 word 16 1234\n");
  ASSERT_EQ(kill(sim.process().pid(), SIGUSR1), 0);  // none -> silence
  for (int i = 0; i < 200 && sim.LogLines("mode ").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  int32_t v = 0;
  EXPECT_FALSE(link.GetIntArray(16, {&v, 1}, false));
  EXPECT_EQ(link.Status(), kVisionNoReply);
  ASSERT_EQ(kill(sim.process().pid(), SIGUSR2), 0);
  for (int i = 0; i < 200 && sim.LogLines("mode none").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(link.GetIntArray(16, {&v, 1}, false)) << link.Status();
  EXPECT_EQ(v, 1234);
}

}  // namespace
}  // namespace liron
