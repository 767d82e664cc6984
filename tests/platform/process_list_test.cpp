#include "platform/process_list.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace liron {
namespace {

namespace fs = std::filesystem;

// Copies of a small program (sleep) under chosen names, run as real processes; stopped by pid.
class RunningCopies : public ::testing::Test {
 protected:
  ~RunningCopies() override {
    for (pid_t pid : pids_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // A name of its own for every test, so that parallel test runs do not count each other.
  std::string Unique() const { return fs::path(dir_.path()).filename().string().substr(6); }

  std::string Copy(const std::string& folder, const std::string& name) {
    fs::path dir = fs::path(dir_.path()) / folder;
    fs::create_directories(dir);
    fs::path target = dir / name;
    fs::copy_file(SleepProgram(), target);
    fs::permissions(target, fs::perms::owner_all);
    return target.string();
  }

  pid_t Run(const std::string& program) {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::execl(program.c_str(), program.c_str(), "60", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    pids_.push_back(pid);
    // The count sees the new program only once exec has replaced the forked test.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code ec;
      if (fs::read_symlink(link, ec).string() == program) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
  }

  void Stop(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    std::erase(pids_, pid);
  }

  static std::string SleepProgram() {
    for (const char* p : {"/usr/bin/sleep", "/bin/sleep"})
      if (fs::exists(p)) return p;
    return "sleep";
  }

  test::TempDir dir_;
  std::vector<pid_t> pids_;
};

TEST_F(RunningCopies, SameNameInOtherLettersFromAnotherFolderCounts) {
  const std::string name = "liron-probe-" + Unique();
  std::string first = Copy("a", name);
  std::string second = Copy("b", UpperFileName(name));
  std::string other = Copy("c", "other-" + Unique());
  EXPECT_EQ(CountRunningCopies(first), 0);
  Run(first);
  EXPECT_EQ(CountRunningCopies(first), 1);
  pid_t p2 = Run(second);
  Run(other);
  EXPECT_EQ(CountRunningCopies(first), 2);
  EXPECT_EQ(CountRunningCopies(second), 2);
  EXPECT_EQ(CountRunningCopies(other), 1);
  Stop(p2);
  EXPECT_EQ(CountRunningCopies(first), 1);
}

TEST_F(RunningCopies, CyrillicNamesAreComparedInUpperCase) {
  std::string lower = Copy("a", "служба-ё-" + Unique());
  std::string upper = Copy("b", UpperFileName("служба-ё-" + Unique()));
  Run(lower);
  Run(upper);
  EXPECT_EQ(CountRunningCopies(lower), 2);
}

TEST_F(RunningCopies, ProgramWhoseFileWasReplacedStillCounts) {
  std::string program = Copy("a", "liron-old-" + Unique());
  Run(program);
  fs::remove(program);
  EXPECT_EQ(CountRunningCopies(program), 1);
}

TEST(ProcessList, OwnExecutableIsThisTestProgram) {
  std::string own = OwnExecutablePath();
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.front(), '/');
  EXPECT_GE(CountRunningCopies(own), 1);
}

TEST(ProcessList, UpperFileName) {
  EXPECT_EQ(UpperFileName("liron36.exe"), "LIRON36.EXE");
  EXPECT_EQ(UpperFileName("Служба приёма їґєў"), "СЛУЖБА ПРИЁМА ЇҐЄЎ");
  EXPECT_EQ(UpperFileName("ђѓљњќћџјѕі"), "ЂЃЉЊЌЋЏЈЅІ");
  EXPECT_EQ(UpperFileName("Ab1_-."), "AB1_-.");
}

}  // namespace
}  // namespace liron
