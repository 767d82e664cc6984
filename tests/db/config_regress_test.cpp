// Inputs the fuzzing of the INI reading found faults with, kept so that they stay fixed. Each
// is also in fuzz/corpus/ini_config_fuzz.
#include <gtest/gtest.h>

#include <string>

#include "db/config_file.h"
#include "db/ini_file.h"
#include "support/temp_dir.h"

namespace liron {
namespace {

using test::TempDir;
using test::WriteFileBytes;

// A Windows-1251 file whose first key is named "п»ї" (bytes EF BB BF) after a blank line.
// Written back without the blank line, it began with the UTF-8 mark and read back as UTF-8:
// the login "С" (byte D1) came back as "?".
const std::string kNameLikeUtf8Mark = "\n\xEF\xBB\xBF=\n[MySQL]\nLogin=\xD1";

TEST(IniFileRegress, AFirstNameSpelledLikeTheUtf8MarkIsWrittenBackAsWindows1251) {
  IniFile ini;
  ini.LoadText(kNameLikeUtf8Mark);
  ASSERT_EQ(ini.ReadString("MySQL", "Login", ""), "С");
  ini.WriteString("main", "AverageLen", "60");
  IniFile again;
  again.LoadText(ini.Text());
  EXPECT_EQ(again.ReadString("MySQL", "Login", ""), "С");
  EXPECT_EQ(again.ReadString("main", "AverageLen", ""), "60");
}

TEST(IniFileRegress, SettingsSurviveWritingBackAFileThatBeginsLikeTheUtf8Mark) {
  TempDir dir;
  const std::string path = dir.File("liron36.INI");
  WriteFileBytes(path, kNameLikeUtf8Mark);
  TSettings first;
  std::string error;
  ASSERT_TRUE(ReadConfig(path, first, &error)) << error;
  ASSERT_EQ(first.Login, "С");
  ASSERT_TRUE(WriteConfig(path, first, &error)) << error;
  TSettings second;
  ASSERT_TRUE(ReadConfig(path, second, &error)) << error;
  EXPECT_EQ(second.Login, "С");
  EXPECT_EQ(second.Password, first.Password);
  // The second write keeps it so.
  ASSERT_TRUE(WriteConfig(path, second, &error)) << error;
  TSettings third;
  ASSERT_TRUE(ReadConfig(path, third, &error)) << error;
  EXPECT_EQ(third.Login, "С");
}

}  // namespace
}  // namespace liron
