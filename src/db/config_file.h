// The service's INI file: the sixteen settings read at start-up and written back at the end,
// the three start-up keys of the program entry, and the settings tab's controls as plain data
// with the two routines that move settings between them and memory.
#pragma once

#include "platform/decimal_text.h"

#include <cstdint>
#include <string>

#include "image/settings.h"
#include "platform/operator.h"

namespace liron {

// Reads the sixteen keys of sections "main" and "MySQL" into s, and the read-only SpoolDays
// (below 1 counts as 1), SSL_Mode, SSL_CA, SSL_Cert and SSL_Key. A missing key or an invalid
// number keeps the value s holds; a missing Password gives the empty password. DatabaseSize
// below 60 becomes 60; AverageLen below 1 or above kMaxAverageLen is refused and the current
// value kept. False with the reason in *error when the file exists but cannot be read (s
// unchanged), or when Password cannot be deciphered; then every other key has been read and
// s.Password holds the file's text as it stands, so that the end of the program writes it back
// enciphered instead of losing it. The caller reports a false result as "Ошибка в LoadConfig".
bool ReadConfig(const std::string& path, TSettings& s, std::string* error);

// Writes the sixteen keys in their fixed order, the password enciphered (also when empty).
// Other keys of the file (ServiceName, StartTime, comments) stay. False with the reason in
// *error; the file is then left as it was. The caller reports "Ошибка в SaveConfig".
bool WriteConfig(const std::string& path, const TSettings& s, std::string* error = nullptr);

// The keys the program entry reads before anything else; never written.
struct StartupKeys {
  std::string ServiceName = "mysql";  // database service to start; at most 99 characters
  int32_t StartTime = 10;             // seconds to wait after starting it; never negative
  bool AutoHide = false;              // start without showing the window
};
StartupKeys ReadStartupKeys(const std::string& path);

// The controls of the settings tab "Настройки", with their design-time values.
struct SettingsForm {
  std::string EditMySQL_server_name = "127.0.0.1";
  std::string EditMySQL_login;
  std::string EditMySQL_password;
  bool CheckBoxAutoClean = false;
  std::string EditDatabaseSize = "200";
  std::string EditModBUS_PortName = "COM1";
  std::string ComboBoxModBUS_Speed = "38400";
  std::string EditV120_PortName = "COM1";
  std::string ComboBoxV120_Speed = "38400";
  std::string EditAvLen = "60";
  bool CheckBoxAutoStart = false;
  bool CheckBoxAutoHide = false;
  std::string LabelSslMode;  // shown only: the TLS mode of liron36.INI
};

// Takes the tab's values into s. When a number is not a valid decimal integer, or the moving
// average would be shorter than one sample or longer than kMaxAverageLen, shows
// "Правильно вводите числа." and changes nothing (false). DatabaseSize below 60 becomes 60,
// and the form then shows "60". An empty password control keeps the current password.
bool ApplySettings(SettingsForm& form, TSettings& s, Operator& op);

// Shows the settings in the tab; the password control is left as it is.
void SettingsToWindow(const TSettings& s, SettingsForm& form);


}  // namespace liron
