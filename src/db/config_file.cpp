#include "db/config_file.h"

#include <algorithm>

#include "db/ini_file.h"
#include "db/mysql_connection.h"
#include "db/password_cipher.h"

namespace liron {
namespace {

constexpr char kMain[] = "main";
constexpr char kMySQL[] = "MySQL";
constexpr size_t kMaxServiceName = 99;

// The first n characters of a UTF-8 text.
std::string FirstChars(const std::string& utf8, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
    if (count++ == n) return utf8.substr(0, i);
  }
  return utf8;
}

// What the settings tab says of TLS: a socket of this machine takes none.
std::string TlsCaption(const TSettings& s) {
  if (!s.Comp.empty() && s.Comp[0] == '/')
    return "Шифрование (SSL_Mode): не используется, сервер на сокете этой машины";
  return "Шифрование (SSL_Mode): " + s.SslMode;
}

}  // namespace

bool ReadConfig(const std::string& path, TSettings& s, std::string* error) {
  IniFile ini;
  if (!ini.Load(path, error)) return false;

  s.MaxWriteCount = ini.ReadInteger(kMain, "MaxWriteCount", s.MaxWriteCount);
  s.ModBUS_PortName = ini.ReadString(kMain, "ModBUS_PortName", s.ModBUS_PortName);
  s.ModBUS_PortSpeed = ini.ReadInteger(kMain, "ModBUS_PortSpeed", s.ModBUS_PortSpeed);
  s.V120_PortName = ini.ReadString(kMain, "V120_PortName", s.V120_PortName);
  s.V120_PortSpeed = ini.ReadInteger(kMain, "V120_PortSpeed", s.V120_PortSpeed);
  int32_t average_len = ini.ReadInteger(kMain, "AverageLen", s.AverageLen);
  if (average_len >= 1 && average_len <= kMaxAverageLen) s.AverageLen = average_len;
  s.AutoStart = ini.ReadBool(kMain, "AutoStart", s.AutoStart);
  s.ShowEmulTab = ini.ReadBool(kMain, "ShowEmulTab", s.ShowEmulTab);
  s.AutoHide = ini.ReadBool(kMain, "AutoHide", s.AutoHide);
  s.SaveLogFlag = ini.ReadBool(kMain, "SaveLogFlag", s.SaveLogFlag);

  s.AutoCleanFlag = ini.ReadBool(kMySQL, "AutoCleanFlag", s.AutoCleanFlag);
  s.DatabaseSize = ini.ReadInteger(kMySQL, "DatabaseSize", s.DatabaseSize);
  if (s.DatabaseSize < kMinDatabaseSize) s.DatabaseSize = kMinDatabaseSize;
  s.Login = ini.ReadString(kMySQL, "Login", s.Login);
  s.Comp = ini.ReadString(kMySQL, "Comp", s.Comp);
  s.Password = ini.ReadString(kMySQL, "Password", "");
  s.Version = ini.ReadInteger(kMySQL, "Version", s.Version);
  s.SpoolDays = std::max<int32_t>(1, ini.ReadInteger(kMySQL, "SpoolDays", s.SpoolDays));
  s.SslMode = ini.ReadString(kMySQL, "SSL_Mode", s.SslMode);
  s.SslCa = ini.ReadString(kMySQL, "SSL_CA", s.SslCa);
  s.SslCert = ini.ReadString(kMySQL, "SSL_Cert", s.SslCert);
  s.SslKey = ini.ReadString(kMySQL, "SSL_Key", s.SslKey);

  if (!s.Password.empty()) {
    std::string plain;
    if (!DecipherPassword(s.Password, &plain, error)) return false;
    s.Password = plain;
  }
  // An INI that names no account (a first start) gets the built-in one; a Login without a
  // Password connects without one.
  if (!ini.HasKey(kMySQL, "Login")) {
    s.Login = kBuiltInLogin;
    if (!ini.HasKey(kMySQL, "Password")) s.Password = kBuiltInPassword;
  }
  return true;
}

bool WriteConfig(const std::string& path, const TSettings& s, std::string* error) {
  IniFile ini;
  if (!ini.Load(path, error)) return false;
  ini.WriteString(kMain, "V120_PortName", s.V120_PortName);
  ini.WriteInteger(kMain, "V120_PortSpeed", s.V120_PortSpeed);
  ini.WriteString(kMain, "ModBUS_PortName", s.ModBUS_PortName);
  ini.WriteInteger(kMain, "ModBUS_PortSpeed", s.ModBUS_PortSpeed);
  ini.WriteInteger(kMain, "MaxWriteCount", s.MaxWriteCount);
  ini.WriteInteger(kMain, "AverageLen", s.AverageLen);
  ini.WriteBool(kMain, "AutoStart", s.AutoStart);
  ini.WriteBool(kMain, "ShowEmulTab", s.ShowEmulTab);
  ini.WriteBool(kMain, "AutoHide", s.AutoHide);
  ini.WriteBool(kMain, "SaveLogFlag", s.SaveLogFlag);
  ini.WriteBool(kMySQL, "AutoCleanFlag", s.AutoCleanFlag);
  ini.WriteInteger(kMySQL, "DatabaseSize", s.DatabaseSize);
  ini.WriteString(kMySQL, "Login", s.Login);
  ini.WriteString(kMySQL, "Comp", s.Comp);
  ini.WriteString(kMySQL, "Password", EncipherPassword(s.Password));
  ini.WriteInteger(kMySQL, "Version", s.Version);
  return ini.Save(path, error);
}

StartupKeys ReadStartupKeys(const std::string& path) {
  StartupKeys k;
  IniFile ini;
  if (!ini.Load(path, nullptr)) return k;
  k.ServiceName = FirstChars(ini.ReadString(kMySQL, "ServiceName", k.ServiceName), kMaxServiceName);
  k.StartTime = ini.ReadInteger(kMySQL, "StartTime", k.StartTime);
  if (k.StartTime < 0) k.StartTime = 0;
  k.AutoHide = ini.ReadInteger(kMain, "AutoHide", 0) != 0;
  return k;
}

bool ApplySettings(SettingsForm& form, TSettings& s, Operator& op) {
  int32_t average_len, modbus_speed, v120_speed, database_size;
  if (!ParseDecimal(form.EditAvLen, &average_len) ||
      !ParseDecimal(form.ComboBoxModBUS_Speed, &modbus_speed) ||
      !ParseDecimal(form.ComboBoxV120_Speed, &v120_speed) ||
      !ParseDecimal(form.EditDatabaseSize, &database_size) || average_len < 1 ||
      average_len > kMaxAverageLen) {
    op.ShowMessage("Правильно вводите числа.", "Ошибка", MsgIcon::Error);
    return false;
  }
  s.AutoCleanFlag = form.CheckBoxAutoClean;
  s.DatabaseSize = database_size;
  if (s.DatabaseSize < kMinDatabaseSize) {
    s.DatabaseSize = kMinDatabaseSize;
    form.EditDatabaseSize = std::to_string(kMinDatabaseSize);
  }
  s.Comp = form.EditMySQL_server_name;
  s.Login = form.EditMySQL_login;
  s.V120_PortName = form.EditV120_PortName;
  s.ModBUS_PortName = form.EditModBUS_PortName;
  s.AverageLen = average_len;
  s.ModBUS_PortSpeed = modbus_speed;
  s.V120_PortSpeed = v120_speed;
  s.AutoStart = form.CheckBoxAutoStart;
  s.AutoHide = form.CheckBoxAutoHide;
  if (!form.EditMySQL_password.empty()) s.Password = form.EditMySQL_password;
  return true;
}

void SettingsToWindow(const TSettings& s, SettingsForm& form) {
  form.LabelSslMode = TlsCaption(s);
  form.EditMySQL_server_name = s.Comp;
  form.EditMySQL_login = s.Login;
  form.CheckBoxAutoClean = s.AutoCleanFlag;
  form.EditDatabaseSize = std::to_string(s.DatabaseSize);
  form.EditV120_PortName = s.V120_PortName;
  form.ComboBoxV120_Speed = std::to_string(s.V120_PortSpeed);
  form.EditModBUS_PortName = s.ModBUS_PortName;
  form.ComboBoxModBUS_Speed = std::to_string(s.ModBUS_PortSpeed);
  form.EditAvLen = std::to_string(s.AverageLen);
  form.CheckBoxAutoStart = s.AutoStart;
  form.CheckBoxAutoHide = s.AutoHide;
}

}  // namespace liron
