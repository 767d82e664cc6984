#include "db/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace liron {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(IniFile, NamesAreMatchedWithoutRegardToLetterCase) {
  IniFile ini;
  ini.LoadText("[mysql]\r\nLOGIN=operator\r\n[Main]\r\nmodbus_portname=COM3\r\n");
  EXPECT_EQ(ini.ReadString("MySQL", "Login", "root"), "operator");
  EXPECT_EQ(ini.ReadString("main", "ModBUS_PortName", "COM1"), "COM3");
  EXPECT_TRUE(ini.HasKey("MYSQL", "login"));
  EXPECT_FALSE(ini.HasKey("main", "Login"));
  ini.WriteString("MYSQL", "login", "other");
  EXPECT_EQ(ini.Text(), "[mysql]\r\nLOGIN=other\r\n\r\n[Main]\r\nmodbus_portname=COM3\r\n");
}

TEST(IniFile, IntegersAreDecimalOrHexadecimalElseTheDefault) {
  IniFile ini;
  ini.LoadText(
      "[main]\nA=19200\nB=0x4B00\nC=0XFF\nD=-7\nE= 42 \nF=yes\nG=12abc\nH=\nI=0x\n"
      "J=2147483647\nK=2147483648\nL=-2147483648\nM=0x80000000\nN=1.5\n");
  EXPECT_EQ(ini.ReadInteger("main", "A", 1), 19200);
  EXPECT_EQ(ini.ReadInteger("main", "B", 1), 19200);
  EXPECT_EQ(ini.ReadInteger("main", "C", 1), 255);
  EXPECT_EQ(ini.ReadInteger("main", "D", 1), -7);
  EXPECT_EQ(ini.ReadInteger("main", "E", 1), 42);
  for (const char* key : {"F", "G", "H", "I", "K", "M", "N", "missing"})
    EXPECT_EQ(ini.ReadInteger("main", key, 99), 99) << key;
  EXPECT_EQ(ini.ReadInteger("main", "J", 1), 2147483647);
  EXPECT_EQ(ini.ReadInteger("main", "L", 1), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("nosection", "A", 5), 5);
}

TEST(IniFile, TheFirstOfTwoEqualKeysCountsAndWritingReplacesBoth) {
  IniFile ini;
  ini.LoadText("[main]\nAverageLen=30\nOther=1\naveragelen=90\n");
  EXPECT_EQ(ini.ReadInteger("main", "AverageLen", 0), 30);
  ini.WriteInteger("main", "AverageLen", 45);
  EXPECT_EQ(ini.Text(), "[main]\r\nAverageLen=45\r\nOther=1\r\n");
}

TEST(IniFile, WindowsFileKeepsItsCharacterSetAndLineEnds) {
  TempDir dir;
  const std::string path = dir.File("liron36.INI");
  // "Логин" and "Пароль" in Windows-1251, CRLF lines, a comment of the station.
  WriteFileBytes(path,
                 "; \xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe8\r\n[MySQL]\r\n"
                 "Login=\xcb\xee\xe3\xe8\xed\r\nComp=db1\r\n");
  IniFile ini;
  std::string error;
  ASSERT_TRUE(ini.Load(path, &error)) << error;
  EXPECT_EQ(ini.ReadString("MySQL", "Login", ""), "Логин");
  ini.WriteString("MySQL", "Comp", "Пароль");
  ASSERT_TRUE(ini.Save(path, &error)) << error;
  EXPECT_EQ(ReadFileBytes(path),
            "; \xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe8\r\n\r\n[MySQL]\r\n"
            "Login=\xcb\xee\xe3\xe8\xed\r\nComp=\xcf\xe0\xf0\xee\xeb\xfc\r\n");
}

TEST(IniFile, FileWithUtf8MarkIsReadAsUtf8) {
  IniFile ini;
  ini.LoadText("\xEF\xBB\xBF[main]\nPort=Порт\n");
  EXPECT_EQ(ini.ReadString("main", "Port", ""), "Порт");
  EXPECT_EQ(ini.Text(), "[main]\r\nPort=\xcf\xee\xf0\xf2\r\n");
}

TEST(IniFile, LineBreakInAValueCannotStartAnotherKey) {
  IniFile ini;
  ini.WriteString("MySQL", "Login", "x\r\n[main]\nAutoStart=1");
  IniFile again;
  again.LoadText(ini.Text());
  EXPECT_FALSE(again.HasKey("main", "AutoStart"));
  EXPECT_EQ(again.ReadString("MySQL", "Login", ""), "x  [main] AutoStart=1");
}

TEST(IniFile, SaveIsPrivateAndReplacesTheFileWhole) {
  TempDir dir;
  const std::string path = dir.File("liron36.INI");
  WriteFileBytes(path, "[MySQL]\r\nServiceName=mariadb\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  IniFile ini;
  std::string error;
  ASSERT_TRUE(ini.Load(path, &error)) << error;
  ini.WriteString("MySQL", "Password", "enciphered");
  ASSERT_TRUE(ini.Save(path, &error)) << error;

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(path), "[MySQL]\r\nServiceName=mariadb\r\nPassword=enciphered\r\n");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1) << "a temporary file was left behind";
}

TEST(IniFile, MissingFileIsEmptyUnreadableFileIsAnError) {
  TempDir dir;
  IniFile ini;
  std::string error;
  EXPECT_TRUE(ini.Load(dir.File("none.INI"), &error));
  EXPECT_EQ(ini.ReadInteger("main", "AverageLen", 60), 60);
  EXPECT_FALSE(ini.Load(dir.path(), &error));  // a folder in place of the file
  EXPECT_NE(error.find(dir.path()), std::string::npos) << error;
}

TEST(IniFile, SaveIntoAMissingFolderFails) {
  TempDir dir;
  IniFile ini;
  ini.WriteInteger("main", "AverageLen", 60);
  std::string error;
  EXPECT_FALSE(ini.Save(dir.File("no/such/liron36.INI"), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace liron
