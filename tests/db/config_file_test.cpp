#include "db/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "db/ini_file.h"
#include "db/password_cipher.h"
#include "platform/codec.h"
#include "platform/recording_operator.h"
#include "support/temp_dir.h"

namespace liron {

// All sixteen settings, for whole comparisons.
static auto AsTuple(const TSettings& s) {
  return std::tie(s.MaxWriteCount, s.ModBUS_PortName, s.ModBUS_PortSpeed, s.V120_PortName,
                  s.V120_PortSpeed, s.AverageLen, s.AutoStart, s.AutoHide, s.ShowEmulTab,
                  s.SaveLogFlag, s.AutoCleanFlag, s.DatabaseSize, s.Version, s.Comp, s.Login,
                  s.Password);
}

namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

class ConfigFile : public ::testing::Test {
 protected:
  std::string Ini(const std::string& bytes) {
    WriteFileBytes(path_, bytes);
    return path_;
  }
  TSettings Read(const std::string& bytes, TSettings s = {}) {
    std::string error;
    EXPECT_TRUE(ReadConfig(Ini(bytes), s, &error)) << error;
    return s;
  }
  TempDir dir_;
  std::string path_ = dir_.File("liron36.INI");
};

TEST_F(ConfigFile, FileWithoutMySQLSectionGivesTheDefaults) {
  TSettings s = Read("[main]\r\nModBUS_PortName=/dev/ttyUSB0\r\nAverageLen=30\r\n");
  EXPECT_EQ(s.Comp, "127.0.0.1");
  EXPECT_EQ(s.Login, "root");  // no Login: the built-in account
  EXPECT_EQ(s.Password, "46271");
  EXPECT_EQ(s.DatabaseSize, 240);
  EXPECT_TRUE(s.AutoCleanFlag);
  EXPECT_EQ(s.ModBUS_PortName, "/dev/ttyUSB0");
  EXPECT_EQ(s.AverageLen, 30);
}

TEST_F(ConfigFile, MissingOrInvalidKeysKeepTheCurrentValuesButNotThePassword) {
  TSettings current;
  current.ModBUS_PortSpeed = 115200;
  current.AutoStart = true;
  current.Version = 5;
  current.Password = "old";
  TSettings s = Read("[main]\nAutoStart=yes\nV120_PortSpeed=fast\n", current);
  EXPECT_EQ(s.ModBUS_PortSpeed, 115200);
  EXPECT_TRUE(s.AutoStart);
  EXPECT_EQ(s.V120_PortSpeed, 9600);
  EXPECT_EQ(s.Version, 5);
  EXPECT_EQ(s.Password, "46271");
  // A Login with an empty or absent Password connects without one.
  EXPECT_EQ(Read("[MySQL]\nLogin=liron\n", current).Password, "");
  EXPECT_EQ(Read("[MySQL]\nLogin=liron\nPassword=\n", current).Password, "");
  current.AutoStart = false;
  EXPECT_FALSE(Read("[main]\nAutoStart=yes\n", current).AutoStart);
}

TEST_F(ConfigFile, ValuesAreReadAsTheStationWroteThem) {
  TSettings s = Read(
      "[MAIN]\r\nmaxwritecount=3\r\nV120_PortName=COM2\r\nV120_PortSpeed=0x2580\r\n"
      "ModBUS_PortSpeed=38400\r\nAutoStart=1\r\nShowEmulTab=1\r\nAutoHide=2\r\nSaveLogFlag=0\r\n"
      "[mysql]\r\nAutoCleanFlag=0\r\nDatabaseSize=365\r\nLogin=liron\r\nComp=db:3307\r\n"
      "Version=5\r\nSpoolDays=30\r\nSSL_Mode=verify\r\nSSL_CA=/etc/liron36/ca.pem\r\n"
      "SSL_Cert=c.pem\r\nSSL_Key=k.pem\r\n");
  EXPECT_EQ(s.MaxWriteCount, 3);
  EXPECT_EQ(s.V120_PortName, "COM2");
  EXPECT_EQ(s.V120_PortSpeed, 9600);
  EXPECT_EQ(s.ModBUS_PortSpeed, 38400);
  EXPECT_TRUE(s.AutoStart);
  EXPECT_TRUE(s.ShowEmulTab);
  EXPECT_TRUE(s.AutoHide);
  EXPECT_FALSE(s.SaveLogFlag);
  EXPECT_FALSE(s.AutoCleanFlag);
  EXPECT_EQ(s.DatabaseSize, 365);
  EXPECT_EQ(s.Login, "liron");
  EXPECT_EQ(s.Comp, "db:3307");
  EXPECT_EQ(s.Version, 5);
  EXPECT_EQ(s.SpoolDays, 30);
  EXPECT_EQ(s.SslMode + " " + s.SslCa + " " + s.SslCert + " " + s.SslKey,
            "verify /etc/liron36/ca.pem c.pem k.pem");
  // The settings tab shows the mode; for a socket path, that it is not used.
  SettingsForm form;
  SettingsToWindow(s, form);
  EXPECT_EQ(form.LabelSslMode, "Шифрование (SSL_Mode): verify");
  s.Comp = "/run/mysqld/mysqld.sock";
  SettingsToWindow(s, form);
  EXPECT_EQ(form.LabelSslMode,
            "Шифрование (SSL_Mode): не используется, сервер на сокете этой машины");
}

TEST_F(ConfigFile, DatabaseSizeIsAtLeastSixtyAndAverageLenFromOneToAnHour) {
  EXPECT_EQ(Read("[MySQL]\nSpoolDays=0\n").SpoolDays, 1);
  EXPECT_EQ(Read("[MySQL]\nDatabaseSize=10\n").DatabaseSize, 60);
  EXPECT_EQ(Read("[MySQL]\nDatabaseSize=-5\n").DatabaseSize, 60);
  TSettings current;
  current.AverageLen = 20;
  EXPECT_EQ(Read("[main]\nAverageLen=0\n", current).AverageLen, 20);
  EXPECT_EQ(Read("[main]\nAverageLen=-3\n", current).AverageLen, 20);
  EXPECT_EQ(Read("[main]\nAverageLen=1\n", current).AverageLen, 1);
  EXPECT_EQ(Read("[main]\nAverageLen=3600\n", current).AverageLen, 3600);
  EXPECT_EQ(Read("[main]\nAverageLen=3601\n", current).AverageLen, 20);
  EXPECT_EQ(Read("[main]\nAverageLen=2000000000\n", current).AverageLen, 20);
}

TEST_F(ConfigFile, EncipheredPasswordIsDeciphered) {
  TSettings s = Read("[MySQL]\nPassword=" + EncipherPassword("Секрет") + "\n");
  EXPECT_EQ(s.Password, "Секрет");
}

TEST_F(ConfigFile, PasswordTooShortToDecipherFailsAfterReadingTheRest) {
  TSettings s;
  std::string error;
  EXPECT_FALSE(ReadConfig(Ini("[main]\nAutoStart=1\n[MySQL]\nPassword=secret\nVersion=5\n"), s,
                          &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(s.AutoStart);
  EXPECT_EQ(s.Version, 5);
  EXPECT_EQ(s.Password, "secret");  // kept, so the end of the program saves it enciphered
}

TEST_F(ConfigFile, UnreadableFileFailsAndChangesNothing) {
  TSettings s;
  s.Login = "kept";
  std::string error;
  EXPECT_FALSE(ReadConfig(dir_.path(), s, &error));
  EXPECT_EQ(s.Login, "kept");
  EXPECT_FALSE(error.empty());
}

TEST_F(ConfigFile, WriteConfigStoresAllSixteenKeysPrivately) {
  Ini("; station\r\n[MySQL]\r\nServiceName=mariadb\r\nStartTime=3\r\nLogin=old\r\n");
  TSettings s;
  s.Login = "liron";
  s.Password = "Пароль";
  s.AverageLen = 45;
  s.AutoStart = true;
  ASSERT_TRUE(WriteConfig(path_, s));

  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  IniFile ini;
  ASSERT_TRUE(ini.Load(path_, nullptr));
  for (const char* key : {"MaxWriteCount", "ModBUS_PortName", "ModBUS_PortSpeed", "V120_PortName",
                          "V120_PortSpeed", "AverageLen", "AutoStart", "ShowEmulTab", "AutoHide",
                          "SaveLogFlag"})
    EXPECT_TRUE(ini.HasKey("main", key)) << key;
  for (const char* key :
       {"AutoCleanFlag", "DatabaseSize", "Login", "Comp", "Password", "Version"})
    EXPECT_TRUE(ini.HasKey("MySQL", key)) << key;
  EXPECT_EQ(ini.ReadString("MySQL", "ServiceName", ""), "mariadb");
  EXPECT_EQ(ini.ReadInteger("MySQL", "StartTime", 0), 3);
  EXPECT_EQ(ini.ReadString("main", "AutoStart", ""), "1");
  EXPECT_EQ(ini.ReadString("MySQL", "Password", "").size(), 50u + 4 * 6);

  TSettings back;
  back.Login = "other";
  std::string error;
  ASSERT_TRUE(ReadConfig(path_, back, &error)) << error;
  EXPECT_EQ(AsTuple(back), AsTuple(s));
}

TEST_F(ConfigFile, NewFileHasTheKeysInTheirFixedOrder) {
  ASSERT_TRUE(WriteConfig(path_, TSettings{}));
  std::string text = ReadFileBytes(path_);
  size_t at = 0;
  for (const char* key : {"[main]", "V120_PortName=COM1", "V120_PortSpeed=9600",
                          "ModBUS_PortName=COM1", "ModBUS_PortSpeed=19200", "MaxWriteCount=5",
                          "AverageLen=60", "AutoStart=0", "ShowEmulTab=0", "AutoHide=0",
                          "SaveLogFlag=1", "[MySQL]", "AutoCleanFlag=1", "DatabaseSize=240",
                          "Login=root", "Comp=127.0.0.1", "Password=", "Version=4"}) {
    size_t found = text.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " in\n" << text;
    at = found;
  }
  IniFile ini;
  ini.LoadText(text);
  std::string enciphered = ini.ReadString("MySQL", "Password", "");
  EXPECT_EQ(enciphered.size(), 50u);  // the empty password is enciphered too
}

TEST_F(ConfigFile, WriteConfigFailureLeavesTheFileAlone) {
  EXPECT_FALSE(WriteConfig(dir_.File("no/such/liron36.INI"), TSettings{}));
  std::string error;
  EXPECT_FALSE(WriteConfig(dir_.path(), TSettings{}, &error));  // a folder in place of the file
  EXPECT_FALSE(error.empty());
}

TEST_F(ConfigFile, StartupKeys) {
  StartupKeys none = ReadStartupKeys(dir_.File("missing.INI"));
  EXPECT_EQ(none.ServiceName, "mysql");
  EXPECT_EQ(none.StartTime, 10);
  EXPECT_FALSE(none.AutoHide);

  StartupKeys k = ReadStartupKeys(
      Ini("[mysql]\r\nservicename=mariadb\r\nStartTime=0x3\r\n[MAIN]\r\nAutoHide=7\r\n"));
  EXPECT_EQ(k.ServiceName, "mariadb");
  EXPECT_EQ(k.StartTime, 3);
  EXPECT_TRUE(k.AutoHide);

  StartupKeys odd = ReadStartupKeys(Ini("[MySQL]\nServiceName=" + std::string(150, 's') +
                                        "\nStartTime=-20\n[main]\nAutoHide=yes\n"));
  EXPECT_EQ(odd.ServiceName, std::string(99, 's'));
  EXPECT_EQ(odd.StartTime, 0);  // a negative wait would be a wait for ever
  EXPECT_FALSE(odd.AutoHide);

  std::string cyrillic(120, 'x');
  cyrillic = "служба" + cyrillic;
  EXPECT_EQ(ReadStartupKeys(Ini("[MySQL]\nServiceName=" + Utf8ToCp1251(cyrillic) + "\n"))
                .ServiceName,
            "служба" + std::string(93, 'x'));
}

class SettingsTab : public ::testing::Test {
 protected:
  RecordingOperator op_;
};

TEST_F(SettingsTab, InvalidNumberShowsTheMessageAndChangesNothing) {
  TSettings s;
  s.Password = "pw";
  const TSettings before = s;
  SettingsForm form;
  SettingsToWindow(s, form);
  form.EditMySQL_server_name = "db2";
  form.EditMySQL_password = "new";
  form.EditAvLen = "30";
  form.CheckBoxAutoStart = true;
  form.ComboBoxV120_Speed = "38400x";
  EXPECT_FALSE(ApplySettings(form, s, op_));
  EXPECT_EQ(AsTuple(s), AsTuple(before));
  auto messages = op_.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Правильно вводите числа.");
  EXPECT_EQ(messages[0].caption, "Ошибка");
  EXPECT_EQ(messages[0].icon, MsgIcon::Error);

  for (const char* bad : {"", " ", "0x10", "1e3", "99999999999", "--1", "1,55"}) {
    SettingsForm f = form;
    f.ComboBoxV120_Speed = "9600";
    f.EditDatabaseSize = bad;
    EXPECT_FALSE(ApplySettings(f, s, op_)) << bad;
  }
  EXPECT_EQ(AsTuple(s), AsTuple(before));
}

TEST_F(SettingsTab, AverageShorterThanOneSampleOrLongerThanAnHourIsRefusedTheSameWay) {
  TSettings s;
  SettingsForm form;
  for (const char* len : {"0", "3601"}) {
    form.EditAvLen = len;
    EXPECT_FALSE(ApplySettings(form, s, op_)) << len;
  }
  EXPECT_EQ(s.AverageLen, 60);
  EXPECT_EQ(s.DatabaseSize, 240);
  ASSERT_EQ(op_.Messages().size(), 2u);
  EXPECT_EQ(op_.Messages()[1].text, "Правильно вводите числа.");
}

TEST_F(SettingsTab, TenDaysBecomeSixtyAndTheFormShowsIt) {
  TSettings s;
  SettingsForm form;
  SettingsToWindow(s, form);
  form.EditDatabaseSize = "10";
  EXPECT_TRUE(ApplySettings(form, s, op_));
  EXPECT_EQ(s.DatabaseSize, 60);
  EXPECT_EQ(form.EditDatabaseSize, "60");
  EXPECT_TRUE(op_.Messages().empty());
}

TEST_F(SettingsTab, ValidFormIsTakenWhole) {
  TSettings s;
  s.Password = "keep";
  s.MaxWriteCount = 7;
  SettingsForm form;
  form.EditMySQL_server_name = "/run/mysqld/mysqld.sock";
  form.EditMySQL_login = "liron";
  form.CheckBoxAutoClean = true;
  form.EditDatabaseSize = " 365 ";
  form.EditModBUS_PortName = "ttyUSB0";
  form.ComboBoxModBUS_Speed = "115200";
  form.EditV120_PortName = "/dev/ttyS1";
  form.ComboBoxV120_Speed = "9600";
  form.EditAvLen = "+15";
  form.CheckBoxAutoStart = true;
  form.CheckBoxAutoHide = true;
  ASSERT_TRUE(ApplySettings(form, s, op_));
  EXPECT_EQ(s.Comp, "/run/mysqld/mysqld.sock");
  EXPECT_EQ(s.Login, "liron");
  EXPECT_TRUE(s.AutoCleanFlag);
  EXPECT_EQ(s.DatabaseSize, 365);
  EXPECT_EQ(s.ModBUS_PortName, "ttyUSB0");
  EXPECT_EQ(s.ModBUS_PortSpeed, 115200);
  EXPECT_EQ(s.V120_PortName, "/dev/ttyS1");
  EXPECT_EQ(s.V120_PortSpeed, 9600);
  EXPECT_EQ(s.AverageLen, 15);
  EXPECT_TRUE(s.AutoStart);
  EXPECT_TRUE(s.AutoHide);
  EXPECT_EQ(s.Password, "keep");  // the empty password control keeps it
  EXPECT_EQ(s.MaxWriteCount, 7);  // no control

  form.EditMySQL_password = "новый";
  ASSERT_TRUE(ApplySettings(form, s, op_));
  EXPECT_EQ(s.Password, "новый");
}

TEST_F(SettingsTab, UntouchedDesignTimeFormGivesItsOwnValues) {
  // Without a database the tab is never filled; applying it takes the design-time values.
  TSettings s;
  SettingsForm form;
  ASSERT_TRUE(ApplySettings(form, s, op_));
  EXPECT_EQ(s.DatabaseSize, 200);
  EXPECT_EQ(s.ModBUS_PortSpeed, 38400);
  EXPECT_EQ(s.V120_PortSpeed, 38400);
  EXPECT_EQ(s.Login, "");
  EXPECT_FALSE(s.AutoCleanFlag);
}

TEST_F(SettingsTab, SettingsShownAndTakenBackAreUnchanged) {
  TSettings s;
  s.Comp = "db";
  s.Login = "liron";
  s.Password = "secret";
  s.DatabaseSize = 90;
  s.ModBUS_PortSpeed = 57600;
  s.V120_PortName = "COM4";
  s.AverageLen = 5;
  s.AutoHide = true;
  s.AutoCleanFlag = false;
  SettingsForm form;
  form.EditMySQL_password = "typed";
  SettingsToWindow(s, form);
  EXPECT_EQ(form.EditDatabaseSize, "90");
  EXPECT_EQ(form.ComboBoxModBUS_Speed, "57600");
  EXPECT_EQ(form.EditMySQL_password, "typed");  // the password control is never filled
  form.EditMySQL_password.clear();
  TSettings back = s;
  ASSERT_TRUE(ApplySettings(form, back, op_));
  EXPECT_EQ(AsTuple(back), AsTuple(s));
}

}  // namespace
}  // namespace liron
