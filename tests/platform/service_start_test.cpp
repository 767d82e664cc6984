#include "platform/service_start.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace liron {
namespace {

using Clock = std::chrono::steady_clock;

// Waits up to five seconds for a file to appear with content; returns it.
std::string AwaitFile(const std::string& path) {
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    std::string text = test::ReadFileBytes(path);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

// Field n (1-based) of /proc/<pid>/stat, after the command name.
long StatField(pid_t pid, int n) {
  std::string stat = test::ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream rest(stat.substr(stat.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= n; ++i) rest >> field;
  return std::atol(field.c_str());
}

TEST(RunDetached, ProgramRunsInItsOwnSessionAndLeavesNoChild) {
  test::TempDir dir;
  const std::string pid_file = dir.File("pid");
  auto start = Clock::now();
  ASSERT_TRUE(RunDetached({"sh", "-c", "echo $$ > " + pid_file + ".tmp && mv " + pid_file +
                                           ".tmp " + pid_file + " && exec sleep 60"}));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << "it waited for the program";
  std::string text = AwaitFile(pid_file);
  ASSERT_FALSE(text.empty());
  pid_t pid = std::atoi(text.c_str());
  ASSERT_GT(pid, 1);
  EXPECT_EQ(StatField(pid, 6), pid) << "not the leader of a session of its own";
  EXPECT_NE(StatField(pid, 4), ::getpid()) << "still a child of the service";
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "a child was left behind";
  ::kill(pid, SIGKILL);
}

TEST(RunDetached, MissingProgramIsReported) {
  EXPECT_FALSE(RunDetached({"liron-no-such-program-here"}));
  EXPECT_FALSE(RunDetached({"/no/such/program"}));
  EXPECT_FALSE(RunDetached({}));
}

// A stand-in systemctl first in PATH records what it was asked to do.
class DatabaseService : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    old_path_ = path ? path : "";
    std::ofstream(dir_.File("systemctl"))
        << "#!/bin/sh\necho \"$@\" > " << dir_.File("args.tmp") << " && mv "
        << dir_.File("args.tmp") << " " << dir_.File("args") << "\n";
    ::chmod(dir_.File("systemctl").c_str(), 0700);
    ::setenv("PATH", (dir_.path() + ":" + old_path_).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", old_path_.c_str(), 1); }
  test::TempDir dir_;
  std::string old_path_;
};

TEST_F(DatabaseService, StartsTheNamedService) {
  StartDatabaseService("mariadb");
  EXPECT_EQ(AwaitFile(dir_.File("args")), "start --no-ask-password -- mariadb\n");
}

TEST_F(DatabaseService, NameThatLooksLikeAnOptionStaysAName) {
  StartDatabaseService("--force");
  EXPECT_EQ(AwaitFile(dir_.File("args")), "start --no-ask-password -- --force\n");
}

TEST_F(DatabaseService, EmptyNameSkipsIt) {
  StartDatabaseService("");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(std::ifstream(dir_.File("args")).good());
}

}  // namespace
}  // namespace liron
