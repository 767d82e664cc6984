// The settings of the service with their defaults; the INI file overwrites them at start-up
// and receives them back when the program ends.
#pragma once

#include <cstdint>
#include <string>

namespace liron {

struct TSettings {
  int32_t MaxWriteCount = 5;            // write passes per new setpoint
  std::string ModBUS_PortName = "COM1";  // serial port of the JUMO line
  int32_t ModBUS_PortSpeed = 19200;
  std::string V120_PortName = "COM1";    // serial port of the V-120 line
  int32_t V120_PortSpeed = 9600;
  int32_t AverageLen = 60;              // length of every moving average
  bool AutoStart = false;
  bool AutoHide = false;
  bool ShowEmulTab = false;
  bool SaveLogFlag = true;
  bool AutoCleanFlag = true;
  int32_t DatabaseSize = 240;           // days of data to keep, never below 60
  int32_t Version = 4;                  // MySQL client generation; read and saved only
  std::string Comp = "127.0.0.1";        // MySQL server: host, host:port or a socket path
  std::string Login = "root";
  std::string Password;                 // plain text in memory, enciphered in the file
  // TLS to the server over TCP (ignored for a socket path): "off", "required" (TLS or no
  // connection) or "verify" (TLS with the server's certificate and host name checked), the CA
  // file, and the client's certificate and key when the server asks for one. Read only.
  std::string SslMode = "off";
  std::string SslCa, SslCert, SslKey;
  // Days of records the local spool (spool.db) keeps while the server is away; never below 1.
  // Read only: the file keeps what the engineer wrote.
  int32_t SpoolDays = 7;
};

constexpr int32_t kMinDatabaseSize = 60;
// Longest moving average: an hour of cycles. Longer ones are refused like those below 1.
constexpr int32_t kMaxAverageLen = 3600;

}  // namespace liron
