#include "platform/home_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/process_list.h"
#include "support/temp_dir.h"

namespace liron {
namespace {

namespace fs = std::filesystem;

// Each test changes the current directory; it is put back afterwards.
class Home : public ::testing::Test {
 protected:
  ~Home() override { fs::current_path(cwd_); }
  fs::path cwd_ = fs::current_path();
  test::TempDir dir_;
};

TEST_F(Home, GivenFolderIsCreatedWithItsLogFolderAndEntered) {
  HomeDir home;
  std::string error;
  const std::string wanted = dir_.path() + "/var/lib/liron36";
  ASSERT_TRUE(SetUpHome(wanted + "/", &home, &error)) << error;
  EXPECT_EQ(home.Dir, wanted);
  EXPECT_EQ(home.IniPath, wanted + "/liron36.INI");
  EXPECT_EQ(home.LogDir, wanted + "/LOG");
  EXPECT_TRUE(fs::is_directory(home.LogDir));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), wanted));
}

TEST_F(Home, RelativeFolderBecomesAbsolute) {
  fs::current_path(dir_.path());
  HomeDir home;
  std::string error;
  ASSERT_TRUE(SetUpHome("station/../home", &home, &error)) << error;
  EXPECT_EQ(home.Dir, dir_.path() + "/home");
  EXPECT_TRUE(fs::is_directory(dir_.path() + "/home/LOG"));
}

TEST_F(Home, DefaultIsTheExecutablesFolder) {
  const fs::path exe_dir = fs::path(OwnExecutablePath()).parent_path();
  const bool had_log = fs::exists(exe_dir / "LOG");
  HomeDir home;
  std::string error;
  ASSERT_TRUE(SetUpHome("", &home, &error)) << error;
  EXPECT_EQ(home.Dir, exe_dir.string());
  EXPECT_EQ(home.IniPath, (exe_dir / "liron36.INI").string());
  EXPECT_TRUE(fs::equivalent(fs::current_path(), exe_dir));
  if (!had_log) fs::remove(exe_dir / "LOG");
}

TEST_F(Home, FileInTheWayIsAnError) {
  test::WriteFileBytes(dir_.File("home"), "not a folder");
  HomeDir home;
  std::string error;
  EXPECT_FALSE(SetUpHome(dir_.File("home"), &home, &error));
  EXPECT_NE(error.find(dir_.File("home")), std::string::npos) << error;
  EXPECT_TRUE(home.Dir.empty());

  fs::create_directories(dir_.File("other"));
  test::WriteFileBytes(dir_.File("other/LOG"), "not a folder");
  EXPECT_FALSE(SetUpHome(dir_.File("other"), &home, &error));
  EXPECT_NE(error.find("LOG"), std::string::npos) << error;
}

}  // namespace
}  // namespace liron
