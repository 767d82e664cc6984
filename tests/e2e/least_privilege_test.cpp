// The daemon as its systemd unit runs it: a system user of its own, no root. The sandbox of the
// unit needs systemd as PID 1; what can be shown here is that the program needs nothing of
// root: it reads its INI, opens its serial lines, records, writes its log, leaves no file
// outside its home, and says once that real-time priority was not permitted.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "image/worker_priority.h"
#include "plant_setup.h"
#include "support/child_process.h"
#include "support/test_db.h"

namespace liron::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kUid = 64936;  // nobody on a test machine has it

class LeastPrivilege : public DbTest {};

bool Chown(const std::string& path) { return ::chown(path.c_str(), kUid, kUid) == 0; }

// The uid's processes: none may be left of an earlier run.
bool UidRunsAnything() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    struct stat st{};
    if (e.path().filename().string().find_first_not_of("0123456789") == std::string::npos &&
        ::stat(e.path().c_str(), &st) == 0 && st.st_uid == kUid)
      return true;
  }
  return false;
}

// Files owned by the uid anywhere on this machine's own filesystems but under home. Both sides
// are compared in their canonical form: a TMPDIR spelt with a trailing slash or through a link
// names the home otherwise than find does.
std::string FilesOutside(const std::string& home) {
  const std::string cmd = "find / /tmp /var/tmp /dev/shm /run -xdev -uid " + std::to_string(kUid) +
                          " 2>/dev/null | sort -u";
  std::error_code ec;
  const std::string root = fs::weakly_canonical(home, ec).string();
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, p)) {
      std::string path(line);
      if (!path.empty() && path.back() == '\n') path.pop_back();
      const std::string found = fs::weakly_canonical(path, ec).string();
      if (found != root && found.rfind(root + "/", 0) != 0) out += path + " (home " + root + ")\n";
    }
    ::pclose(p);
  }
  return out;
}

TEST_F(LeastPrivilege, DaemonRunsAsAnUnprivilegedUserInsideItsHome) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the test a uid of its own";
  ASSERT_FALSE(UidRunsAnything()) << "uid " << kUid << " is in use";
  TestPlant plant;
  std::string error;
  ASSERT_TRUE(plant.Start(&error)) << error;
  plant.settings.Comp = db().CompTcp();  // the test server's socket lies in a root-only folder
  ASSERT_TRUE(plant.WriteIni(&error)) << error;

  // The programs where the uid can run them (a build folder may be root's alone), the home
  // and its INI the uid's own, the simulators' pseudo-terminals handed to it.
  TempDir bin;
  ASSERT_EQ(::chmod(bin.path().c_str(), 0755), 0);
  for (const char* exe : {LIRON_PROGRAM, LIRON_DAEMON_PROGRAM}) {
    std::error_code ec;
    fs::copy_file(exe, bin.File(fs::path(exe).filename().string()), ec);
    ASSERT_FALSE(ec) << exe << ": " << ec.message();
  }
  ASSERT_TRUE(Chown(plant.home.path()) && Chown(plant.Ini()));
  ASSERT_EQ(::chmod(plant.Ini().c_str(), 0600), 0);
  ASSERT_TRUE(Chown(plant.jumo.Device()) && Chown(plant.v120.Device()));

  ChildProcess daemon;
  const std::string id = std::to_string(kUid);
  ASSERT_TRUE(daemon.Start({"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--",
                            bin.File("liron36"), "--headless", "--home", plant.home.path()},
                           bin.File("daemon.out")));
  ASSERT_TRUE(PollUntil([&] { return db().Count("pu_data") >= 1 && StateRecordAge() < 3; }, 40))
      << plant.EventLog() << ReadFileBytes(bin.File("daemon.out"));

  ASSERT_TRUE(daemon.Signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon.Wait(5000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // It wrote its log and its INI back (still its own, still 0600), and nothing elsewhere.
  EXPECT_EQ(CountEvents(plant.EventTexts(), kRealtimeRefusedEvent), 1) << plant.EventLog();
  struct stat st{};
  ASSERT_EQ(::stat(plant.Ini().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kUid);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(ReadFileBytes(plant.Ini()).find("AutoStart=1"), std::string::npos);
  EXPECT_EQ(FilesOutside(plant.home.path()), "");
}

}  // namespace
}  // namespace liron::test
